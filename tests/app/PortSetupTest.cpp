// The port setup and the notes beside the main window's port list, against
// devices played by files and by-id links in a scratch folder: plugging and
// unplugging while the dialog is open, an unplugged mapped device, storing
// into the settings the command line reads, and a refused path.
#include <QComboBox>
#include <QLabel>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <memory>

#include "TestKit.h"
#include "app/MainDialog.h"
#include "app/NoteItemDelegate.h"
#include "app/PortComboBox.h"
#include "app/PortMappings.h"
#include "app/PortSetupDialog.h"
#include "serial/PortName.h"

namespace {

namespace fs = std::filesystem;

// Device n is ttyUSBn (a character device: a link to /dev/zero) with the
// link by-id/usb-Veltra_Charger_n.
class CScratchDevices {
public:
    CScratchDevices() { fs::create_directories(ById()); }
    std::string ById() const { return m_dir.Path() + "/by-id"; }
    std::string Node(int n) const { return m_dir.Path() + "/ttyUSB" + std::to_string(n); }
    std::string Link(int n) const { return ById() + "/usb-Veltra_Charger_" + std::to_string(n); }
    void Plug(int n) const {
        fs::create_symlink("/dev/zero", Node(n));
        fs::create_symlink(Node(n), Link(n));
    }
    void Unplug(int n) const {
        fs::remove(Link(n));
        fs::remove(Node(n));
    }
    CPortSetupDialog::Sources Sources() const {
        const std::string dir = ById();
        return {[dir] {
                    std::vector<platform::SerialDeviceInfo> devices;
                    for (const auto& link : fs::directory_iterator(dir)) {
                        devices.push_back({fs::read_symlink(link).string(),
                                           {link.path().string()},
                                           "",
                                           "Veltra",
                                           "Charger Link"});
                    }
                    std::sort(devices.begin(), devices.end(),
                              [](const auto& a, const auto& b) { return a.path < b.path; });
                    return devices;
                },
                {dir + "/*"}};
    }

private:
    testkit::CScratchDir m_dir;
};

QStringList Listed(const QComboBox& list) {
    QStringList shown;
    for (int i = 0; i < list.count(); ++i) {
        shown << CNoteItemDelegate::ShownText(list.model()->index(i, 0));
    }
    return shown;
}

QString State(const CPortSetupDialog& dialog, int row) {
    return dialog.Rows().at(row).state->text();
}

}  // namespace

class PortSetupTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_config = std::make_unique<testkit::CScratchConfig>(); }
    void cleanup() { m_config.reset(); }

    void followsPluggingAndMarksAnUnpluggedMapping() {
        CScratchDevices devices;
        devices.Plug(1);
        std::string error;
        QVERIFY(CPortMappings().Store("COM2", devices.Link(2), error));
        CPortSetupDialog dialog(nullptr, devices.Sources());
        dialog.show();

        const QString one = QString::fromStdString(devices.Link(1));
        const QString two = QString::fromStdString(devices.Link(2));
        const QString note1 =
            "  (Veltra Charger Link, " + QString::fromStdString(devices.Node(1)) + ")";
        const QString note2 =
            "  (Veltra Charger Link, " + QString::fromStdString(devices.Node(2)) + ")";
        QCOMPARE(Listed(*dialog.Rows()[0].device), QStringList{one + note1});
        QCOMPARE(Listed(*dialog.Rows()[1].device), (QStringList{one + note1, two + "  (absent)"}));
        QCOMPARE(dialog.Rows()[1].device->currentText(), two);
        QCOMPARE(State(dialog, 1), QStringLiteral("absent"));

        devices.Plug(2);
        QTRY_COMPARE(Listed(*dialog.Rows()[0].device), (QStringList{one + note1, two + note2}));
        QCOMPARE(Listed(*dialog.Rows()[1].device), (QStringList{one + note1, two + note2}));
        QCOMPARE(State(dialog, 1), QStringLiteral("present"));

        devices.Unplug(1);
        QTRY_COMPARE(Listed(*dialog.Rows()[2].device), QStringList{two + note2});
        QCOMPARE(dialog.Rows()[1].device->currentText(), two);  // the rows keep their choice
    }

    void storesWhatTheCommandLineReadsAndRefusesARelativePath() {
        CScratchDevices devices;
        devices.Plug(3);
        std::string error;
        QVERIFY(CPortMappings().Store("COM4", "/dev/ttyACM0", error));
        CPortSetupDialog dialog(nullptr, devices.Sources());
        dialog.Rows()[0].device->setCurrentIndex(0);
        dialog.Rows()[2].device->setEditText(QStringLiteral("ttyUSB7"));
        dialog.Rows()[3].device->setEditText(QString());
        {
            testkit::CBoxRecorder boxes;
            dialog.accept();
            QCOMPARE(boxes.Count(), 1u);
            QCOMPARE(boxes.Boxes()[0].text,
                     std::string("COM3: A device path begins with / (for example /dev/ttyUSB0)."));
        }
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(ResolvePortName("COM1"), std::string("/dev/ttyS0"));  // nothing stored yet

        dialog.Rows()[2].device->setEditText(QStringLiteral("/dev/ttyUSB7"));
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(ResolvePortName("COM1"), devices.Link(3));
        QCOMPARE(ResolvePortName("COM2"), std::string("/dev/ttyS1"));
        QCOMPARE(ResolvePortName("COM3"), std::string("/dev/ttyUSB7"));
        QCOMPARE(ResolvePortName("COM4"), std::string("/dev/ttyS3"));
        CSettingsKey key;  // cleared: the mapping is gone, as ports --unmap leaves it
        key.OpenKey("Veltra", "Corvane");
        QCOMPARE(key.ReadValue("COM4", "none"), std::string("none"));
    }

    // A file or a folder is marked for what it is and never stored.
    void refusesWhatIsNotASerialDevice() {
        testkit::CScratchDir dir;
        const std::string file = dir.Path() + "/passwd";
        std::ofstream(file) << "root:x:0:0\n";
        CPortSetupDialog dialog(nullptr, CScratchDevices().Sources());
        for (const std::string& path : {file, dir.Path()}) {
            dialog.Rows()[1].device->setEditText(QString::fromStdString(path));
            QCOMPARE(State(dialog, 1), QStringLiteral("not a serial device"));
            testkit::CBoxRecorder boxes;
            dialog.accept();
            QCOMPARE(boxes.Count(), 1u);
            QCOMPARE(boxes.Boxes()[0].text, "COM2: " + path + " is not a serial device.");
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        }
        QCOMPARE(ResolvePortName("COM2"), std::string("/dev/ttyS1"));
    }

    // The list keeps "COM1".."COM4" and stores the name; the dropped list
    // shows what each stands for.
    void mainWindowListShowsWhatEachEntryStandsFor() {
        CScratchDevices devices;
        devices.Plug(1);
        std::string error;
        QVERIFY(CPortMappings().Store("COM1", devices.Link(1), error));
        QVERIFY(CPortMappings().Store("COM2", devices.Link(2), error));
        CMainDialog window;
        window.show();
        QStringList entries;
        for (int i = 0; i < window.m_comboPort->count(); ++i) {
            entries << window.m_comboPort->itemText(i);
        }
        QCOMPARE(entries, (QStringList{"COM1", "COM2", "COM3", "COM4"}));
        const auto shown = Listed(*window.m_comboPort);
        QCOMPARE(shown[0], "COM1  (" + QString::fromStdString(devices.Link(1)) + ", present)");
        QCOMPARE(shown[1], "COM2  (" + QString::fromStdString(devices.Link(2)) + ", absent)");
        QCOMPARE(window.m_comboPort->toolTip(), shown[0]);
        QCOMPARE(window.m_comboPort->currentText(), QStringLiteral("COM1"));

        devices.Plug(2);
        window.m_comboPort->showPopup();  // the notes are taken afresh as the list drops down
        QCOMPARE(Listed(*window.m_comboPort)[1],
                 "COM2  (" + QString::fromStdString(devices.Link(2)) + ", present)");
        window.m_comboPort->hidePopup();
        window.m_comboPort->setCurrentIndex(1);
        window.OnPortChange();
        window.done(QDialog::Accepted);
        CSettingsKey key;
        key.OpenKey("Veltra", "Corvane");
        QCOMPARE(key.ReadValue("Port", ""), std::string("COM2"));
    }

private:
    std::unique_ptr<testkit::CScratchConfig> m_config;
};

QTEST_MAIN(PortSetupTest)
#include "PortSetupTest.moc"
