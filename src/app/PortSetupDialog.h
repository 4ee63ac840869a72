// Port setup: which device each of COM1 to COM4 stands for, chosen from the
// serial devices plugged in or typed as a path.
//
// Principles of operation
//   One row per COM name: an editable list of the devices present (each
//   entry is the path that would be stored, the stable by-id name when the
//   device has one, with its maker, model and /dev name beside it) and
//   whether the device the row stands for is there now. A mapped device that
//   is not plugged in stays in its row, marked absent. An empty field means
//   the port's standard device (/dev/ttyS0 to /dev/ttyS3).
//
//   The lists follow plugging as it happens: path watches on the device
//   nodes and by-id links wake the dialog through socket notifiers, and the
//   devices are listed afresh. OK checks every typed path first and then
//   stores the changed rows into the settings the command line's
//   "ports --map" writes; a refused path is shown in a box and the dialog
//   stays open.
//
//   Where the devices come from and which paths are watched are given at
//   construction, so that tests play devices with links in a scratch folder.
//
// Threads: user-interface thread only.
#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/PortMappings.h"
#include "platform/SerialDevices.h"

class QComboBox;
class QLabel;
class QSocketNotifier;
namespace platform {
class CPathWatch;
}

class CPortSetupDialog : public QDialog {
public:
    struct Sources {
        std::function<std::vector<platform::SerialDeviceInfo>()> devices;
        std::vector<std::string> watchPatterns;
    };
    // This machine's serial devices, watched through their nodes and links.
    static Sources SystemSources();

    explicit CPortSetupDialog(QWidget* parent = nullptr, Sources sources = SystemSources());
    ~CPortSetupDialog() override;

    struct Row {
        std::string name;  // COM1
        QComboBox* device = nullptr;
        QLabel* state = nullptr;
    };
    const std::vector<Row>& Rows() const { return m_rows; }

    // Lists the devices afresh, keeping what each row holds.
    void RefreshDevices();
    // The note shown beside a device in the lists.
    static QString DeviceNote(const platform::SerialDeviceInfo& device);

    void accept() override;

private:
    void BuildRows();
    void StartWatches(const std::vector<std::string>& patterns);
    void FillList(Row& row, const QString& keep);
    void UpdateState(Row& row);

    Sources m_sources;
    CPortMappings m_mappings;
    std::vector<Row> m_rows;
    std::vector<platform::SerialDeviceInfo> m_devices;
    std::vector<std::unique_ptr<platform::CPathWatch>> m_watches;
};
