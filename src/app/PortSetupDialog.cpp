#include "app/PortSetupDialog.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QVBoxLayout>

#include "app/NoteItemDelegate.h"
#include "platform/MessageBox.h"
#include "platform/PathWatch.h"

namespace {

const char* const kTitle = "Port Setup";

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The path a row stores for a device: its stable name when it has one.
std::string StoredPathOf(const platform::SerialDeviceInfo& device) {
    return device.byIdNames.empty() ? device.path : device.byIdNames.front();
}

}  // namespace

CPortSetupDialog::Sources CPortSetupDialog::SystemSources() {
    return {[] { return platform::ListSerialDevices(); },
            {"/dev/ttyUSB*", "/dev/ttyACM*", "/dev/serial/by-id/*"}};
}

CPortSetupDialog::CPortSetupDialog(QWidget* parent, Sources sources)
    : QDialog(parent), m_sources(std::move(sources)) {
    setWindowTitle(QString::fromLatin1(kTitle));
    BuildRows();
    StartWatches(m_sources.watchPatterns);
    RefreshDevices();
}

CPortSetupDialog::~CPortSetupDialog() = default;

void CPortSetupDialog::BuildRows() {
    auto* layout = new QVBoxLayout(this);
    auto* hint =
        new QLabel(QStringLiteral("Choose the device each port stands for, or type its path.\n"
                                  "An empty field stands for the port's standard device."),
                   this);
    layout->addWidget(hint);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    int line = 0;
    for (const std::string& name : CPortMappings::Names()) {
        Row row;
        row.name = name;
        row.device = new QComboBox(this);
        row.device->setEditable(true);
        row.device->setInsertPolicy(QComboBox::NoInsert);
        row.device->setMinimumContentsLength(60);
        row.device->view()->setItemDelegate(new CNoteItemDelegate(row.device->view()));
        row.device->lineEdit()->setPlaceholderText(Q(CPortMappings::StandardDevice(name)) +
                                                   QStringLiteral(" (standard)"));
        row.device->setEditText(Q(m_mappings.Stored(name)));
        row.state = new QLabel(this);
        row.state->setMinimumWidth(
            row.state->fontMetrics().horizontalAdvance(QStringLiteral("not a serial device__")));
        grid->addWidget(new QLabel(Q(name), this), line, 0);
        grid->addWidget(row.device, line, 1);
        grid->addWidget(row.state, line, 2);
        ++line;
        m_rows.push_back(row);
    }
    for (Row& row : m_rows) {
        connect(row.device, &QComboBox::editTextChanged, this, [this, &row] { UpdateState(row); });
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CPortSetupDialog::StartWatches(const std::vector<std::string>& patterns) {
    for (const std::string& pattern : patterns) {
        auto watch = std::make_unique<platform::CPathWatch>(pattern);
        std::string error;
        if (!watch->Start(error)) {
            continue;  // the lists are then only as fresh as the dialog's opening
        }
        auto* notifier = new QSocketNotifier(watch->Fd(), QSocketNotifier::Read, this);
        platform::CPathWatch* watched = watch.get();
        connect(notifier, &QSocketNotifier::activated, this, [this, watched] {
            if (!watched->Drain().empty()) {
                RefreshDevices();
            }
        });
        m_watches.push_back(std::move(watch));
    }
}

QString CPortSetupDialog::DeviceNote(const platform::SerialDeviceInfo& device) {
    QString maker = Q(device.vendor);
    if (!device.model.empty()) {
        maker += (maker.isEmpty() ? QString() : QStringLiteral(" ")) + Q(device.model);
    }
    if (maker.isEmpty()) {
        maker = Q(device.description);
    }
    if (device.byIdNames.empty()) {
        return maker;
    }
    return maker.isEmpty() ? Q(device.path) : maker + QStringLiteral(", ") + Q(device.path);
}

void CPortSetupDialog::RefreshDevices() {
    m_devices = m_sources.devices ? m_sources.devices() : std::vector<platform::SerialDeviceInfo>{};
    for (Row& row : m_rows) {
        FillList(row, row.device->currentText());
    }
}

void CPortSetupDialog::FillList(Row& row, const QString& keep) {
    const QSignalBlocker quiet(row.device);
    row.device->clear();
    for (const auto& device : m_devices) {
        row.device->addItem(Q(StoredPathOf(device)));
        row.device->setItemData(row.device->count() - 1, DeviceNote(device),
                                CNoteItemDelegate::kNoteRole);
    }
    // The device the row is mapped to stays listed while it is unplugged.
    const std::string stored = m_mappings.Stored(row.name);
    if (!stored.empty() && row.device->findText(Q(stored)) < 0) {
        row.device->addItem(Q(stored));
        row.device->setItemData(row.device->count() - 1, QStringLiteral("absent"),
                                CNoteItemDelegate::kNoteRole);
    }
    row.device->setCurrentIndex(row.device->findText(keep));
    row.device->setEditText(keep);
    UpdateState(row);
}

void CPortSetupDialog::UpdateState(Row& row) {
    const std::string typed = row.device->currentText().toStdString();
    const std::string device = typed.empty() ? CPortMappings::StandardDevice(row.name) : typed;
    row.state->setText(Q(CPortMappings::State(device)));
}

void CPortSetupDialog::accept() {
    for (const Row& row : m_rows) {
        const std::string path = row.device->currentText().trimmed().toStdString();
        const std::string reason = path.empty() ? std::string() : CPortMappings::CheckPath(path);
        if (!reason.empty()) {
            platform::ShowMessageBox(row.name + ": " + reason, kTitle);
            row.device->setFocus();
            return;
        }
    }
    for (const Row& row : m_rows) {
        std::string error;
        if (!m_mappings.Store(row.name, row.device->currentText().trimmed().toStdString(), error)) {
            platform::ShowMessageBox(row.name + ": " + error, kTitle);
            return;
        }
    }
    QDialog::accept();
}
