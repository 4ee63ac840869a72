// The History window's reading on a thread of its own: typing waits for a
// pause, a newer read ends the one under way, and a big journal's newest
// records show while the rest is still read and counted.
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

#include "HistoryFixture.h"
#include "app/HistoryDialog.h"

using namespace historytest;

namespace {

// Whether this process holds the file open: a read of it is under way.
bool IsOpen(const std::string& path) {
    const std::filesystem::path file = std::filesystem::canonical(path);
    std::error_code error;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        if (std::filesystem::read_symlink(fd.path(), error) == file) {
            return true;
        }
    }
    return false;
}

// The bytes this process has read so far, by read() and pread().
long long BytesRead() {
    std::ifstream io("/proc/self/io");
    std::string field;
    long long bytes = -1;
    io >> field >> bytes;  // "rchar: 6976"
    return bytes;
}

// A clock on which every look finds a second gone: each record found is
// handed over as a part of its own. At each look it notes the bytes read.
class CHurriedClock : public platform::IClock {
public:
    std::uint32_t NowMs() override {
        std::lock_guard lock(m_mutex);
        m_bytesRead.push_back(BytesRead());
        return m_now += 1000;
    }
    void SleepMs(std::uint32_t) override {}
    std::vector<long long> BytesAtLooks() const {
        std::lock_guard lock(m_mutex);
        return m_bytesRead;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<long long> m_bytesRead;
    std::uint32_t m_now = 0;
};

}  // namespace

class HistoryReadingTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_scratch = std::make_unique<CScratch>(); }
    void cleanup() { m_scratch.reset(); }

    // Keys only start the pause; the journals are read once it ends.
    void typingReadsOnceAfterThePause() {
        const std::string journal = m_scratch->Path("records.jsonl");
        std::ofstream(journal) << Record(0, "VC-4017-4711", "read") << Record(1, "VC-1", "read");
        CHistoryDialog dialog;
        CResults results(dialog);
        dialog.SetJournals({journal});
        QVERIFY(results.Next());
        const std::uint64_t reads = dialog.Reads();
        QTest::keyClicks(dialog.m_editDevice, "4711");
        QCOMPARE(dialog.m_editDevice->text(), QString("4711"));
        QCOMPARE(dialog.Reads(), reads);
        QVERIFY(dialog.ReloadTimer()->isActive());
        QVERIFY(results.Next());
        QCOMPARE(dialog.Reads(), reads + 1);
        QCOMPARE(Column(dialog, CHistoryDialog::kDeviceId), QStringList({"VC-4017-4711"}));
    }

    // A terabyte of zeros takes minutes to read: a newer read, or the
    // window's end, must stop it rather than wait for it.
    void aNewerReadEndsTheOneUnderWay() {
        const std::string huge = m_scratch->Path("huge.jsonl");
        std::ofstream(huge).close();
        std::filesystem::resize_file(huge, std::uintmax_t{1} << 40);
        const std::string small = m_scratch->Path("small.jsonl");
        std::ofstream(small) << Record(0, "VC-1", "read");
        {
            CHistoryDialog dialog;
            CResults results(dialog);
            dialog.SetJournals({huge});
            QVERIFY(QTest::qWaitFor([&] { return IsOpen(huge); }, kHangMs));
            dialog.SetJournals({small});
            QVERIFY(results.Next());
            QCOMPARE(results.Count(), 1);  // the stopped read showed nothing
            QCOMPARE(Column(dialog, CHistoryDialog::kDeviceId), QStringList({"VC-1"}));
            dialog.SetJournals({huge});
            QVERIFY(QTest::qWaitFor([&] { return IsOpen(huge); }, kHangMs));
        }  // the window ends during the read
        QVERIFY(!IsOpen(huge));
    }

    // A big journal takes a while to count: its newest records show before.
    void theNewestRecordsShowWhileTheRestIsRead() {
        const std::string journal = m_scratch->Path("records.jsonl");
        std::ofstream(journal) << Record(0, "VC-1", "read") << Record(1, "VC-2", "read")
                               << Record(2, "VC-3", "read");
        CHistoryDialog dialog;
        CHurriedClock clock;
        dialog.SetClock(clock);
        QStringList shown;
        dialog.onShown = [&] {
            shown << QString("%1 %2").arg(dialog.RowCount()).arg(dialog.SummaryText());
        };
        dialog.SetJournals({journal});
        QVERIFY(QTest::qWaitFor([&] { return !dialog.Reading(); }, kHangMs));
        QCOMPARE(shown.front(), QString("1 Reading the journals... 1 found so far."));
        QVERIFY(shown.back().startsWith("3 3 records: 0 upgraded, 0 current, 3 read"));
        QCOMPARE(Column(dialog, CHistoryDialog::kDeviceId), QStringList({"VC-3", "VC-2", "VC-1"}));
    }

    // The clock's first look is as the read starts, its next once a record
    // is found: a rare device's newest record shows as soon as it is read,
    // not once all the older records, none of them its, are read too.
    void aRareDeviceShowsBeforeTheOlderRecordsAreRead() {
        const std::string journal = m_scratch->Path("records.jsonl");
        {
            std::ofstream out(journal);
            for (int i = 0; i < 10000; ++i) {
                out << Record(i, "VC-" + std::to_string(i), "read");
            }
            out << Record(10000, "VC-4017-4711", "read");
        }
        CHistoryDialog dialog;
        CHurriedClock clock;
        dialog.SetClock(clock);
        dialog.m_editDevice->setText("4017-4711");
        dialog.SetJournals({journal});
        QVERIFY(QTest::qWaitFor([&] { return !dialog.Reading(); }, kHangMs));
        QCOMPARE(dialog.RowCount(), 1);
        const std::vector<long long> bytes = clock.BytesAtLooks();
        QVERIFY(bytes.size() >= 2);
        QVERIFY(bytes[1] - bytes[0] <
                static_cast<long long>(std::filesystem::file_size(journal) / 4));
    }

private:
    std::unique_ptr<historytest::CScratch> m_scratch;
};

QTEST_MAIN(HistoryReadingTest)
#include "HistoryReadingTest.moc"
