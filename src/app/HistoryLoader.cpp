#include "app/HistoryLoader.h"

#include "records/HistoryReader.h"
#include "records/HistoryTally.h"
#include "records/SafeText.h"

namespace {

using Result = CHistoryLoader::Result;

QString Shown(const std::string& text) {
    return QString::fromStdString(records::ShownText(text));
}

// The command line's table row, cell by cell.
CHistoryModel::Row RowOf(const records::ServiceRecord& r) {
    return {Shown(records::LocalMinuteText(r.when)),
            Shown(r.deviceId),
            Shown(std::string(records::OutcomeText(r)) + (r.simulated ? "*" : "")),
            Shown(records::VersionsText(r)),
            Shown(r.port),
            Shown(r.host),
            Shown(r.tool),
            Shown(r.reason)};
}

// What cannot be read is said in the summary instead of a box, since the
// other journals still count.
std::string Problem(const std::string& error) {
    return " Cannot read " + error + ".";
}

std::string OpenAll(records::CHistoryReader& reader, const std::vector<std::string>& paths) {
    std::string problems;
    for (const std::string& path : paths) {
        std::string error;
        if (!reader.AddFile(path, error)) {
            problems += Problem(error);
        }
    }
    return problems;
}

// The reader holds back the records that pass its filter until it has a
// window of them: given the device or port, a rare one would show only at
// the end of the read. The first moment stays, as it ends the read early.
records::HistoryFilter FirstMoment(const records::HistoryFilter& filter) {
    records::HistoryFilter first;
    first.since = filter.since;  // mutate: equivalent (the read only ends later)
    return first;
}

using Post = std::function<void(Result& part)>;

// One read, its result handed over in parts, the last one complete.
class CRead {
public:
    CRead(platform::IClock& clock, Post post)
        : m_clock(clock), m_post(std::move(post)), m_handed(clock.NowMs()) {}

    void Run(const CHistoryLoader::Request& request, const std::function<bool()>& stop) {
        // Asked before each block is read: a journal whose older records do
        // not match is read a long while with no record found.
        records::CHistoryReader reader(FirstMoment(request.filter), [&] {
            HandOverWhenDue();
            return stop();
        });
        std::string problems = OpenAll(reader, request.journals);
        records::ServiceRecord record;
        while (reader.Next(record)) {
            if (request.filter.Matches(record)) {
                Found(record);
            }
        }
        for (const std::string& error : reader.Problems()) {
            problems += Problem(error);
        }
        m_tally.SetDamagedLines(reader.DamagedLines());
        m_part.summary = Shown(Summary() + problems);
        m_part.complete = true;
        m_post(m_part);
    }

private:
    void Found(const records::ServiceRecord& record) {
        m_tally.Add(record);
        if (++m_matching <= CHistoryLoader::kMaxRows) {
            m_part.rows.push_back(RowOf(record));
        }
        HandOverWhenDue();
    }

    // The rows found since the last part, once kPartMs have passed.
    void HandOverWhenDue() {
        if (m_part.rows.empty() || m_clock.NowMs() - m_handed < CHistoryLoader::kPartMs) {
            return;
        }
        m_part.summary = QStringLiteral("Reading the journals... %1 found so far.").arg(m_matching);
        m_post(m_part);
        m_part = Result{};
        m_part.first = false;
        m_handed = m_clock.NowMs();
    }

    std::string Summary() const {
        std::string summary = m_tally.Summary();
        if (m_matching > CHistoryLoader::kMaxRows) {
            summary += " The newest " + std::to_string(CHistoryLoader::kMaxRows) +
                       " are shown; narrow the filters or export them all.";
        }
        return summary;
    }

    platform::IClock& m_clock;
    Post m_post;
    std::uint32_t m_handed;
    Result m_part;
    records::CHistoryTally m_tally;
    long long m_matching = 0;
};

}  // namespace

CHistoryLoader::CHistoryLoader(Delivery deliver, QObject* parent)
    : QObject(parent), m_deliver(std::move(deliver)), m_clock(&platform::SystemClock()) {
    m_worker = new QObject;
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("history"));
    m_thread.start();
}

CHistoryLoader::~CHistoryLoader() {
    Cancel();
    m_thread.quit();
    m_thread.wait();
}

void CHistoryLoader::Load(Request request) {
    const std::uint64_t number = ++*m_newest;
    // A request superseded while it waits stops at its first block.
    auto read = [this, newest = m_newest, number, clock = m_clock, request = std::move(request)] {
        const auto post = [this, number](Result& part) {
            auto handed = std::make_shared<Result>(std::move(part));
            // Queued to the loader's thread; dropped with the loader if it is gone.
            QMetaObject::invokeMethod(
                this, [this, number, handed] { Deliver(number, handed); }, Qt::QueuedConnection);
        };
        CRead(*clock, post).Run(request, [&newest, number] { return newest->load() != number; });
    };
    QMetaObject::invokeMethod(m_worker, std::move(read), Qt::QueuedConnection);
}

void CHistoryLoader::Cancel() {
    ++*m_newest;
}

void CHistoryLoader::Deliver(std::uint64_t number, const std::shared_ptr<Result>& result) {
    // A newer request may have come while this part was on its way, or
    // stopped the read it came from.
    if (number == m_newest->load()) {
        m_deliver(*result);
    }
}
