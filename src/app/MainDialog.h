// Main dialog: the utility's one window, with Read, Upgrade and Exit, the
// port list, the progress bar, the version panel and the system commands.
//
// Principles of operation
//   The constructor builds the controls from the window's template (dialog
//   units of the 8-point dialog font, fixed size, title "Corvane", no
//   minimise or maximise box). OnInitDialog runs once, just before the window
//   is first shown: it adds the system commands to the window's menu, sets the
//   icon, attaches the panel, opens the settings, lists "COM1".."COM4",
//   selects the stored "Port" with the list's prefix search and creates the
//   serial port object under the selected name. The desktop gives a program
//   no system menu, so the commands sit on a menu of the window's own menu
//   bar, dispatched through OnSysCommand with their command values.
//
//   The port is open only while a command runs. Read and Upgrade run
//   synchronously: the window's clock lets the window repaint while they
//   wait, the user's input to the window meanwhile is dropped (never carried
//   out afterwards), and the window refuses to end until the command is
//   over. Each Read and Upgrade leaves a service record, as the command
//   line's do; when one cannot be written, the command's verdict stands and
//   the status line then says "Could not write the service record." (the
//   log has the path and the cause). Every change of the port list's entry
//   runs OnPortChange. However the window ends (Exit, Enter, Esc, the close
//   box), DestroyWindow runs once: panel detached, "Port" written, port
//   object deleted. "Port" is written then and never before.
//
//   Upgrade sends the image of m_image: the carried one, or a file chosen
//   with "Upgrade from File..." until "Use Carried Image" or the end of the
//   program. The panel's upgrade version is always that image's label, so
//   Read offers the upgrade against it too.
//
//   A port that does not open shows the communications box with the port
//   and its cause as its last line. A written image is reported in the
//   status line, not in a box.
//
//   The controls, the panel and the port object are public because the
//   commands that run in the window use them directly. The window's
//   template, start and end are in MainDialog.cpp; its commands (system
//   menu, image choice, Read, Upgrade) in MainDialogCommands.cpp.
//
// Threads: user-interface thread only. The port's reader and writer threads
// exist while a command has the port open.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>

#include <functional>
#include <memory>

#include <QPointer>

#include "app/ImageChoice.h"
#include "app/WindowClock.h"
#include "diagnostics/VersionPanel.h"
#include "serial/SerialPort.h"
#include "support/SettingsKey.h"

class CMainDialogView;
namespace records {
class CCommandRecord;
}  // namespace records
class CPortComboBox;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;

class CMainDialog : public QDialog {
public:
    // System command values; the low four bits are ignored.
    static constexpr unsigned kIdmAboutBox = 0x10;
    static constexpr unsigned kIdmMonitorCharger = 0x20;
    static constexpr unsigned kIdmCrcCheck = 0x30;
    static constexpr unsigned kIdmWriteImage = 0x40;
    static constexpr unsigned kIdmChargerTrends = 0x50;
    static constexpr unsigned kIdmUpgradeFromFile = 0x80;
    static constexpr unsigned kIdmUseCarriedImage = 0x90;
    static constexpr unsigned kScClose = 0xF060;

    using StringLoader = std::function<QString(int id)>;
    using CommandDispatch = std::function<void(unsigned value)>;
    using Command = std::function<void(platform::IClock& clock)>;

    explicit CMainDialog(QWidget* parent = nullptr);
    ~CMainDialog() override;

    bool OnInitDialog();
    // Every command of this run talks to this device (the built-in simulated
    // charger) whatever port is chosen; nothing of it is stored, and the
    // title says that the charger is simulated. Set before the window is shown.
    void SetSimulatedDevice(const std::string& path);
    // Off: the window ends without storing the port (a screenshot run).
    void SetSaveSettings(bool save) { m_bSaveSettings = save; }
    void OnSysCommand(unsigned nID, long lParam = 0);
    void OnPaint();
    void OnRead();
    void OnUpgrade();
    void OnPortChange();
    bool DestroyWindow();
    // The image export, owned by this window.
    virtual void WriteImage();
    // Chooses the image Upgrade sends: a checked file, or the carried one.
    void OnUpgradeFromFile();
    void OnUseCarriedImage();

    // Runs a command synchronously on the window's clock; the window cannot
    // end while it runs.
    void RunCommand(const Command& command);
    bool IsCommandRunning() const { return m_commandDepth > 0; }

    // Appends the system commands whose texts the loader has to the menu.
    static void ExtendSystemMenu(QMenu& menu, const StringLoader& loadString,
                                 const CommandDispatch& dispatch);
    // The entry that a prefix search starting after entry startAfter finds
    // (wrapping to the first), -1 when no entry begins with the text.
    static int FindPrefix(const QStringList& entries, const QString& text, int startAfter);

    void setVisible(bool visible) override;
    void done(int result) override;

    QProgressBar* m_progress = nullptr;    // 1014
    QPushButton* m_btnUpgrade = nullptr;   // 1002
    QPushButton* m_btnRead = nullptr;      // 1003
    CPortComboBox* m_comboPort = nullptr;  // 1004
    QIcon m_hIcon;
    CVersionPanel m_panel;
    std::unique_ptr<CSerialPort> m_pPort;
    CSettingsKey m_settings;
    std::string m_strSimulatedDevice;
    // The trends window while it is open (it is not modal, so Read stays usable).
    QPointer<QDialog> m_trends;
    CImageChoice m_image;  // what Upgrade sends

    QPushButton* m_btnExit = nullptr;  // 1, the OK command
    QMenuBar* m_menuBar = nullptr;
    QMenu* m_menuSystem = nullptr;

protected:
    friend class CWindowTools;  // runs its windows as the system commands do
    // Runs one of the system commands' dialogs modally.
    virtual int RunModal(QDialog& dialog);

    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildTemplate();
    // The panel, the menu and the Upgrade button follow the image choice.
    void ShowImageChoice();
    // "Use Carried Image" means something only while a file is chosen.
    void EnableCarriedImageItem();
    // Appends the service record of the Read or Upgrade just run; the
    // status line says when it could not be written.
    void WriteRecord(records::CCommandRecord& record, const CMainDialogView& view,
                     const std::string& before, bool upgrade);

    CWindowClock m_clock;
    int m_commandDepth = 0;
    bool m_initialised = false;
    bool m_destroyed = false;
    bool m_bSaveSettings = true;
    // The port whose versions the panel shows (empty: none read yet).
    std::string m_strVersionReadOn;
};
