#include "app/MainDialog.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>

#include "app/AboutDialog.h"
#include "app/AppIcon.h"
#include "app/MainDialogView.h"
#include "app/PortComboBox.h"
#include "app/StringTable.h"
#include "app/WindowTools.h"
#include "bench/CommandRecord.h"
#include "diagnostics/CrcCheckDialog.h"
#include "diagnostics/DialogUnits.h"
#include "diagnostics/ImageExport.h"
#include "diagnostics/InputGuard.h"
#include "diagnostics/MonitorDialog.h"
#include "diagnostics/TrendsDialog.h"
#include "platform/DebugOutput.h"
#include "protocol/Identification.h"
#include "protocol/UpgradeSequence.h"
#include "serial/PortName.h"

namespace {

constexpr unsigned kCommandMask = 0xFFF0;
constexpr const char* kSettingsMaker = "Veltra";
constexpr const char* kSettingsProgram = "Corvane";
constexpr const char* kPortSetting = "Port";
constexpr const char* kDefaultPort = "COM1";
const char* const kPortNames[] = {"COM1", "COM2", "COM3", "COM4"};
constexpr const char* kTitle = "Corvane";
constexpr const char* kSimulatedTitle = "Corvane - simulated charger";
// The records name the built-in simulated charger as the command line does.
constexpr const char* kSimulatedPortName = "simulated";

// The window's client area in dialog units.
constexpr int kClientWidth = 198;
constexpr int kClientHeight = 199;

}  // namespace

CMainDialog::CMainDialog(QWidget* parent) : QDialog(parent), m_hIcon(AppIcon()) {
    BuildTemplate();
}

CMainDialog::~CMainDialog() {
    // A window that goes away without its modal run ending still saves its port.
    if (m_initialised && !m_destroyed) {
        DestroyWindow();
    }
}

void CMainDialog::BuildTemplate() {
    setWindowTitle(QString::fromLatin1(kTitle));
    // A window of its own (not a transient dialog) gets its own task-bar entry.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(CDialogUnits::DialogFont());
    // The panel's texts are drawn on its background colour; the face of the
    // window is the same colour.
    QPalette face = palette();
    face.setColor(QPalette::Window, QColor(m_panel.m_crBackground));
    setPalette(face);

    m_menuBar = new QMenuBar(this);
    m_menuSystem = m_menuBar->addMenu(QStringLiteral("&Corvane"));
    const int menuHeight = m_menuBar->sizeHint().height();
    const CDialogUnits units(font());
    const QSize client = units.Size(kClientWidth, kClientHeight);
    m_menuBar->setGeometry(0, 0, client.width(), menuHeight);
    // The menu bar lies outside the client area, where the panel draws.
    setContentsMargins(0, menuHeight, 0, 0);
    setFixedSize(client.width(), client.height() + menuHeight);
    const auto place = [&](QWidget* control, int x, int y, int width, int height) {
        control->setGeometry(units.Rect(x, y, width, height).translated(0, menuHeight));
    };

    // Created in the template's tab order.
    m_btnExit = new QPushButton(QStringLiteral("Exit"), this);
    place(m_btnExit, 141, 142, 50, 14);
    m_btnExit->setDefault(true);
    m_btnUpgrade = new QPushButton(QStringLiteral("Upgrade"), this);
    place(m_btnUpgrade, 74, 142, 50, 14);
    m_btnRead = new QPushButton(QStringLiteral("Read"), this);
    place(m_btnRead, 7, 142, 50, 14);

    m_comboPort = new CPortComboBox(this);
    // The template's height includes the dropped list; the field keeps its own.
    place(m_comboPort, 101, 92, 48, 62);
    m_comboPort->resize(m_comboPort->width(), m_comboPort->sizeHint().height());

    auto* portLabel = new QLabel(QStringLiteral("Comm Port"), this);
    place(portLabel, 49, 92, 41, 12);
    portLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    // A bitmap picture takes the size of its bitmap.
    auto* logo = new QLabel(this);
    const QPixmap picture = LogoPicture();
    logo->setPixmap(picture);
    place(logo, 51, 164, 95, 22);
    logo->resize(picture.size());

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QLatin1String(CVersionPanel::kProgressName));
    place(m_progress, 7, 126, 184, 6);
    m_progress->setTextVisible(false);
    m_progress->setValue(0);
    m_progress->hide();

    connect(m_btnExit, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_btnRead, &QPushButton::clicked, this, [this] { OnRead(); });
    connect(m_btnUpgrade, &QPushButton::clicked, this, [this] { OnUpgrade(); });
    // Edits by the user only: rewriting the field from here raises none.
    connect(m_comboPort->lineEdit(), &QLineEdit::textEdited, this, [this] { OnPortChange(); });
    // Every change of the selected entry, however made (arrow keys, mouse
    // wheel, the dropped list, code): the port shown is the port used.
    connect(m_comboPort, &QComboBox::currentIndexChanged, this, [this] { OnPortChange(); });
    m_comboPort->onCloseUp = [this] { OnPortChange(); };
}

void CMainDialog::SetSimulatedDevice(const std::string& path) {
    m_strSimulatedDevice = path;
    setWindowTitle(QString::fromLatin1(path.empty() ? kTitle : kSimulatedTitle));
}

void CMainDialog::setVisible(bool visible) {
    if (visible && !m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    QDialog::setVisible(visible);
}

bool CMainDialog::OnInitDialog() {
    ExtendSystemMenu(*m_menuSystem, LoadString, [this](unsigned value) { OnSysCommand(value); });
    EnableCarriedImageItem();
    setWindowIcon(m_hIcon);
    m_panel.AttachWindow(this);
    m_panel.m_strUpgradeVersion = m_image.Image().Label();
    m_settings.OpenKey(kSettingsMaker, kSettingsProgram);

    QStringList entries;
    for (const char* name : kPortNames) {
        entries.append(QString::fromLatin1(name));
    }
    m_comboPort->addItems(entries);
    m_comboPort->model()->sort(0);  // the list is sorted; these names keep their order
    const QString stored = QString::fromStdString(m_settings.ReadValue(kPortSetting, kDefaultPort));
    const int found = FindPrefix(entries, stored, 0);
    m_comboPort->setCurrentIndex(found);
    m_comboPort->setEditText(found >= 0 ? entries.at(found) : QString());

    m_pPort = std::make_unique<CSerialPort>();
    m_pPort->SetPortName(m_comboPort->currentText().toStdString());
    m_pPort->SetDeviceOverride(m_strSimulatedDevice);
    CWindowTools::Install(*this);
    m_btnExit->setFocus();  // the first control in tab order
    return true;
}

int CMainDialog::FindPrefix(const QStringList& entries, const QString& text, int startAfter) {
    const int count = static_cast<int>(entries.size());
    for (int step = 1; step <= count; ++step) {
        const int index = (startAfter + step) % count;
        if (entries.at(index).startsWith(text, Qt::CaseInsensitive)) {
            return index;
        }
    }
    return -1;
}

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
            CTrendsDialog trends(this);
            if (m_pPort->IsOpen()) {
                m_pPort->Close();  // the trends window opens it itself
            }
            trends.m_pPort = m_pPort.get();
            trends.m_strDevicePath = m_strSimulatedDevice.empty()
                                         ? ResolvePortName(m_pPort->GetPortName())
                                         : m_strSimulatedDevice;
            RunModal(trends);
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
    ::WriteImage(this);
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

void CMainDialog::OnPaint() {
    // A minimised window is drawn by the desktop, from the window's icon.
    if (isMinimized()) {
        return;
    }
    m_panel.PaintVersions();
}

void CMainDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Showing the window erased what the panel had drawn; paint it afresh.
    OnPaint();
}

void CMainDialog::OnPortChange() {
    // Selecting the selection again rewrites the field: typed text never stands.
    const int index = m_comboPort->currentIndex();
    m_comboPort->setCurrentIndex(index);
    m_comboPort->setEditText(index >= 0 ? m_comboPort->itemText(index) : QString());
    if (!m_pPort) {
        return;
    }
    m_pPort->SetPortName(m_comboPort->currentText().toStdString());
    if (m_pPort->IsOpen() && m_pPort->GetPortName() != m_pPort->GetOpenedName()) {
        m_pPort->Close();  // the next command opens it under the new name
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
        bench::CCommandRecord record(*m_pPort, clock, "window");
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
        bench::CCommandRecord record(*m_pPort, clock, "window");
        RunUpgrade(*m_pPort, view, clock, m_image.Image());
        if (view.LastStatus() != "Unable to Open Comm Port") {
            // The upgrade ended with a read of the charger's versions.
            m_strVersionReadOn = m_pPort->GetPortName();
        }
        WriteRecord(record, view, before, true);
    });
}

// The service record of a Read or an Upgrade; one that cannot be written
// never changes the command's verdict.
void CMainDialog::WriteRecord(bench::CCommandRecord& record, const CMainDialogView& view,
                              const std::string& before, bool upgrade) const {
    bench::ServiceRecord r;
    const bool simulated = !m_strSimulatedDevice.empty();
    r.port = simulated ? kSimulatedPortName : m_pPort->GetPortName();
    r.device = simulated ? m_strSimulatedDevice : ResolvePortName(m_pPort->GetPortName());
    r.bootCode = m_panel.m_strBootCode;
    r.before = before;
    r.after = m_panel.m_strChargerCode;
    r.image = bench::ImageInfoOf(m_image.Image());
    r.blocks = view.HighestBlock();
    r.resends = view.Resends();
    const std::string& last = view.LastStatus();
    if (upgrade) {
        r.outcome =
            last == "Upgrade Successful" ? bench::Outcome::Upgraded : bench::Outcome::Failed;
    } else {
        const bool read = last == "Read Version Complete" || last == "No Software Detected";
        r.outcome = read ? bench::Outcome::Read : bench::Outcome::Failed;
    }
    r.reason = last;
    r.simulated = simulated;
    std::string problem;
    if (!record.Write(std::move(r), problem)) {
        platform::OutputDebugString(problem + "\n");
    }
}

void CMainDialog::closeEvent(QCloseEvent* event) {
    if (IsCommandRunning()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CMainDialog::done(int result) {
    if (IsCommandRunning()) {
        return;  // the window ends only between commands
    }
    QDialog::done(result);
    if (m_initialised && !m_destroyed) {
        DestroyWindow();
    }
}

bool CMainDialog::DestroyWindow() {
    m_destroyed = true;
    m_panel.DetachWindow();
    // Written also when empty; the result is not looked at.
    if (m_bSaveSettings) {
        m_settings.WriteValue(kPortSetting, m_pPort ? m_pPort->GetPortName() : std::string());
    }
    m_pPort.reset();
    return true;
}
