// The main window's commands: the system commands of its menu, the image
// choice they make, and Read and Upgrade, which run on the window's clock.
//
// Principles of operation
//   These are members of CMainDialog, kept apart from the window's template,
//   start and end (MainDialog.cpp) because they change for different
//   reasons: a new tool or command touches this file, a new control the
//   other. Each command runs to its end before the next input is read.
//
// Threads: user-interface thread only.
#include "app/MainDialog.h"

#include <QMenu>
#include <QPushButton>

#include "app/AboutDialog.h"
#include "app/MainDialogView.h"
#include "app/StringTable.h"
#include "diagnostics/CrcCheckDialog.h"
#include "diagnostics/ImageExport.h"
#include "diagnostics/InputGuard.h"
#include "diagnostics/MonitorDialog.h"
#include "diagnostics/TrendsDialog.h"
#include "platform/DebugOutput.h"
#include "protocol/Identification.h"
#include "protocol/UpgradeSequence.h"
#include "records/CommandRecord.h"
#include "serial/PortName.h"

namespace {

constexpr unsigned kCommandMask = 0xFFF0;
// The records name the built-in simulated charger as the command line does.
constexpr const char* kSimulatedPortName = "simulated";

}  // namespace

void CMainDialog::ExtendSystemMenu(QMenu& menu, const StringLoader& loadString,
                                   const CommandDispatch& dispatch) {
    const auto addCommand = [&](const QString& text, unsigned value) {
        QAction* action = menu.addAction(text);
        action->setData(value);
        QObject::connect(action, &QAction::triggered, &menu,
                         [dispatch, value] { dispatch(value); });
    };
    const QString about = loadString(IDS_ABOUTBOX);
    if (!about.isEmpty()) {
        menu.addSeparator();
        addCommand(about, kIdmAboutBox);
    }
    menu.addSeparator();
    const struct {
        int id;
        unsigned value;
    } tools[] = {{IDS_MONITOR_CHARGER, kIdmMonitorCharger},
                 {IDS_CRC_CHECK, kIdmCrcCheck},
                 {IDS_WRITE_IMAGE, kIdmWriteImage},
                 {IDS_CHARGER_TRENDS, kIdmChargerTrends}};
    for (const auto& tool : tools) {
        const QString text = loadString(tool.id);
        if (!text.isEmpty()) {
            addCommand(text, tool.value);
        }
    }
    // Where Upgrade's image comes from.
    const QString fromFile = loadString(IDS_UPGRADE_FROM_FILE);
    const QString carried = loadString(IDS_USE_CARRIED_IMAGE);
    if (!fromFile.isEmpty() || !carried.isEmpty()) {
        menu.addSeparator();
    }
    if (!fromFile.isEmpty()) {
        addCommand(fromFile, kIdmUpgradeFromFile);
    }
    if (!carried.isEmpty()) {
        addCommand(carried, kIdmUseCarriedImage);
    }
}

void CMainDialog::OnSysCommand(unsigned nID, long /*lParam*/) {
    switch (nID & kCommandMask) {
        case kIdmAboutBox: {
            CAboutDialog about(this);
            RunModal(about);
            break;
        }
        case kIdmMonitorCharger: {
            if (!m_pPort) {
                break;
            }
            CMonitorDialog monitor(this);
            if (m_pPort->IsOpen()) {
                m_pPort->Close();  // the monitor opens it itself
            }
            monitor.m_pPort = m_pPort.get();
            monitor.m_strDevicePath = m_strSimulatedDevice;
            RunModal(monitor);
            break;
        }
        case kIdmCrcCheck: {
            CCrcCheckDialog check(this);
            RunModal(check);
            break;
        }
        case kIdmWriteImage:
            WriteImage();
            break;
        case kIdmUpgradeFromFile:
            OnUpgradeFromFile();
            break;
        case kIdmUseCarriedImage:
            OnUseCarriedImage();
            break;
        case kIdmChargerTrends: {
            if (!m_pPort) {
                break;
            }
            if (m_trends) {
                m_trends->raise();
                m_trends->activateWindow();
                break;
            }
            if (m_pPort->IsOpen()) {
                m_pPort->Close();  // the trends window opens the device itself
            }
            // A port object of its own: the main window's stays free for Read.
            auto port = std::make_unique<CSerialPort>();
            port->SetPortName(m_pPort->GetPortName());
            port->SetDeviceOverride(m_strSimulatedDevice);
            auto* trends = new CTrendsDialog(this);
            trends->setAttribute(Qt::WA_DeleteOnClose);
            trends->OwnPort(std::move(port));
            trends->m_strDevicePath = m_strSimulatedDevice.empty()
                                          ? ResolvePortName(m_pPort->GetPortName())
                                          : m_strSimulatedDevice;
            m_trends = trends;
            trends->show();
            break;
        }
        case kScClose:
            close();
            break;
        default:
            break;
    }
}

int CMainDialog::RunModal(QDialog& dialog) {
    return dialog.exec();
}

void CMainDialog::WriteImage() {
    const std::string written = ::WriteImage(this);
    if (written.empty()) {
        return;  // cancelled, or reported in its own box
    }
    // No box for a success: the status line says where the image went, its
    // middle elided to the width the panel clears, and the log has it whole.
    const std::string text = "Image written to " + written;
    platform::OutputDebugString(text);
    m_panel.ShowStatus(m_panel.FitStatus(QString::fromStdString(text)).toStdString());
}

void CMainDialog::OnUpgradeFromFile() {
    if (m_image.ChooseFile(this)) {
        ShowImageChoice();
    }
}

void CMainDialog::OnUseCarriedImage() {
    m_image.UseCarried();
    ShowImageChoice();
}

void CMainDialog::ShowImageChoice() {
    m_panel.m_strUpgradeVersion = m_image.Image().Label();
    OnPaint();
    EnableCarriedImageItem();
    // Upgrade is offered unless the charger last reported this very label.
    m_btnUpgrade->setVisible(m_panel.m_strChargerCode != m_panel.m_strUpgradeVersion);
}

void CMainDialog::EnableCarriedImageItem() {
    for (QAction* action : m_menuSystem->actions()) {
        if (action->data().toUInt() == kIdmUseCarriedImage) {
            action->setEnabled(!m_image.IsCarried());
        }
    }
}

void CMainDialog::RunCommand(const Command& command) {
    if (!m_pPort) {
        return;
    }
    // Input that reaches the window while the command runs is dropped, also
    // what arrived after its last wait.
    CInputGuard guard(*this);
    struct Running {
        int& depth;
        explicit Running(int& d) : depth(d) { ++depth; }
        ~Running() { --depth; }
    } running(m_commandDepth);
    command(m_clock);
    guard.Discard();
}

void CMainDialog::OnRead() {
    RunCommand([this](platform::IClock& clock) {
        CMainDialogView view(*this);
        records::CCommandRecord record(*m_pPort, clock, "window");
        ReadChargerVersions(*m_pPort, view, clock);
        m_strVersionReadOn = m_pPort->GetPortName();
        WriteRecord(record, view, m_panel.m_strChargerCode, false);
    });
}

void CMainDialog::OnUpgrade() {
    RunCommand([this](platform::IClock& clock) {
        // The version a read of this port showed before, if one came first.
        const std::string before =
            m_strVersionReadOn == m_pPort->GetPortName() ? m_panel.m_strChargerCode : "";
        CMainDialogView view(*this);
        records::CCommandRecord record(*m_pPort, clock, "window");
        // From here on the panel holds only what the check after the upload
        // reads: an upload that lost its charger leaves the version unknown,
        // not the one read before it.
        view.ChargerCode().clear();
        RunUpgrade(*m_pPort, view, clock, m_image.Image());
        if (view.LastStatus() != "Unable to Open Comm Port") {
            // The upgrade ended with a read of the charger's versions.
            m_strVersionReadOn = m_pPort->GetPortName();
        }
        WriteRecord(record, view, before, true);
    });
}

// The service record of a Read or an Upgrade; one that cannot be written
// never changes the command's verdict, but is not lost without a word.
void CMainDialog::WriteRecord(records::CCommandRecord& record, const CMainDialogView& view,
                              const std::string& before, bool upgrade) {
    records::ServiceRecord r;
    const bool simulated = !m_strSimulatedDevice.empty();
    r.port = simulated ? kSimulatedPortName : m_pPort->GetPortName();
    r.device = simulated ? m_strSimulatedDevice : ResolvePortName(m_pPort->GetPortName());
    r.bootCode = m_panel.m_strBootCode;
    r.before = before;
    r.after = m_panel.m_strChargerCode;
    r.image = records::ImageInfoOf(m_image.Image());
    r.blocks = view.HighestBlock();
    r.resends = view.Resends();
    const std::string& last = view.LastStatus();
    if (upgrade) {
        r.outcome =
            last == "Upgrade Successful" ? records::Outcome::Upgraded : records::Outcome::Failed;
    } else {
        const bool read = last == "Read Version Complete" || last == "No Software Detected";
        r.outcome = read ? records::Outcome::Read : records::Outcome::Failed;
    }
    r.reason = last;
    r.simulated = simulated;
    std::string problem;
    if (!record.Write(std::move(r), problem)) {
        // The bench window's words; the panel's narrow status line holds no
        // path or cause, the log has them.
        platform::OutputDebugString(problem + "\n");
        m_panel.ShowStatus(
            m_panel.FitStatus(QStringLiteral("Could not write the service record.")).toStdString());
    }
}
