#include "app/BenchWindowRows.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QProgressBar>
#include <QStyledItemDelegate>
#include <QTimer>

#include <algorithm>
#include <memory>

#include "records/JsonLine.h"

using bench::EventKind;
using bench::SlotState;
using records::Outcome;

namespace {

constexpr int kTickMs = 200;
constexpr int kPortWidth = 240;  // about 30 characters; the header can be dragged
const QColor kFailedColour(176, 0, 0);
const QColor kDoneColour(0, 112, 0);
const QColor kNoFirmwareColour(176, 96, 0);

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The same figure as the records and the command line, whatever the locale.
QString Seconds(double seconds) {
    return Q(records::Fixed1(seconds) + " s");
}

// Draws its column's text cut at the start: "...UART_A10K3C2B-if00-port0".
class CStartElidingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = Qt::ElideLeft;
    }
};

bool NoFirmware(const bench::RunResult& result) {
    return result.outcome == Outcome::Read && result.before.empty();
}

}  // namespace

CBenchWindowRows::CBenchWindowRows(QWidget* parent, std::function<qint64()> nowMs)
    : QTableWidget(0, kColumns, parent), m_nowMs(std::move(nowMs)) {
    if (!m_nowMs) {
        auto clock = std::make_shared<QElapsedTimer>();
        clock->start();
        m_nowMs = [clock] { return clock->elapsed(); };
    }
    m_timer = new QTimer(this);
    m_timer->setInterval(kTickMs);
    connect(m_timer, &QTimer::timeout, this, [this] { Tick(); });
    SetUpColumns();
}

void CBenchWindowRows::SetUpColumns() {
    setHorizontalHeaderLabels({QStringLiteral("Slot"), QStringLiteral("Port"),
                               QStringLiteral("Device ID"), QStringLiteral("State"),
                               QStringLiteral("Progress"), QStringLiteral("Before"),
                               QStringLiteral("After"), QStringLiteral("Resends"),
                               QStringLiteral("Result"), QStringLiteral("Time")});
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    setWordWrap(false);
    verticalHeader()->hide();
    setColumnHidden(kSlot, true);  // until a slot has a label
    setItemDelegateForColumn(kPort, new CStartElidingDelegate(this));
    QHeaderView& header = *horizontalHeader();
    header.setSectionResizeMode(QHeaderView::ResizeToContents);
    header.setSectionResizeMode(kPort, QHeaderView::Interactive);
    header.resizeSection(kPort, kPortWidth);
    header.setSectionResizeMode(kResult, QHeaderView::Stretch);
}

void CBenchWindowRows::Clear() {
    setRowCount(0);
    m_rows.clear();
    m_rowOfSlot.clear();
    m_tally = {};
    m_timer->stop();
    setColumnHidden(kSlot, true);
}

int CBenchWindowRows::RowFor(const bench::SlotInfo& slot) {
    if (const auto found = m_rowOfSlot.find(slot.slot); found != m_rowOfSlot.end()) {
        return found->second;
    }
    const int row = rowCount();
    insertRow(row);
    for (int column = 0; column < kColumns; ++column) {
        if (column != kProgress) {
            setItem(row, column, new QTableWidgetItem);
        }
    }
    Item(row, kResends).setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Item(row, kTime).setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setCellWidget(row, kProgress, new QProgressBar(this));
    m_rows.emplace_back();
    m_rowOfSlot[slot.slot] = row;
    return row;
}

QTableWidgetItem& CBenchWindowRows::Item(int row, Column column) const {
    return *item(row, column);
}

void CBenchWindowRows::Show(const bench::BenchEvent& event) {
    const int index = RowFor(event.slot);
    Keep(m_rows[static_cast<std::size_t>(index)], event);
    if (event.kind == EventKind::Finished && event.slot.result) {
        CountResult(*event.slot.result);
    }
    Draw(index);
    if (m_rows[static_cast<std::size_t>(index)].running && !m_timer->isActive()) {
        m_timer->start();
    }
}

// What the row keeps of an event besides the slot: how far the upload came
// (a job that checks the versions again reports block 0), and when its time
// was last told.
void CBenchWindowRows::Keep(Row& row, const bench::BenchEvent& event) {
    const bench::SlotInfo& slot = event.slot;
    if (event.kind == EventKind::Started) {
        row.block = row.total = 0;
    }
    row.total = slot.totalBlocks > 0 ? slot.totalBlocks : row.total;
    row.block = slot.result ? slot.result->blocks : std::max(row.block, slot.block);
    row.running =
        !slot.result && (slot.state == SlotState::Reading || slot.state == SlotState::Upgrading ||
                         slot.state == SlotState::Checking);
    row.seconds = slot.result ? slot.result->seconds : slot.seconds;
    row.atMs = m_nowMs();
    row.slot = slot;
    if (event.kind == EventKind::Gone) {
        row.slot.state = SlotState::Empty;
        row.running = false;
    }
}

void CBenchWindowRows::Draw(int index) {
    const Row& row = m_rows[static_cast<std::size_t>(index)];
    const bench::SlotInfo& slot = row.slot;
    Item(index, kSlot).setText(Q(slot.label));
    if (!slot.label.empty()) {
        setColumnHidden(kSlot, false);
    }
    QTableWidgetItem& port = Item(index, kPort);
    port.setText(Q(slot.port));
    QString where = Q(slot.port);
    if (!slot.device.empty() && slot.device != slot.port) {
        where += QLatin1Char('\n') + Q(slot.device);
    }
    if (!slot.byIdName.empty() && slot.port.find(slot.byIdName) == std::string::npos) {
        where += QLatin1Char('\n') + Q(slot.byIdName);
    }
    port.setToolTip(where);
    Item(index, kDeviceId).setText(Q(slot.deviceId));
    Item(index, kDeviceId).setToolTip(Q(slot.deviceId));
    QString state = slot.state == SlotState::Empty
                        ? QStringLiteral("Unplugged")
                        : QString::fromLatin1(bench::SlotStateName(slot.state));
    state[0] = state[0].toUpper();
    Item(index, kState).setText(state);
    Item(index, kState).setToolTip(Q(slot.status));
    Item(index, kBefore).setText(Q(slot.before));
    Item(index, kAfter).setText(Q(slot.after));
    const int resends = slot.result ? slot.result->resends : slot.resends;
    Item(index, kResends).setText(row.total > 0 ? QString::number(resends) : QString());
    DrawProgress(index);
    DrawResult(index);
    DrawTime(index);
}

void CBenchWindowRows::DrawProgress(int index) {
    const Row& row = m_rows[static_cast<std::size_t>(index)];
    auto& bar = *static_cast<QProgressBar*>(cellWidget(index, kProgress));
    if (row.total <= 0) {
        bar.setRange(0, 1);
        bar.setValue(0);
        bar.setFormat(QString());
        return;
    }
    bar.setFormat(QStringLiteral("%v/%m"));
    bar.setRange(0, row.total);
    bar.setValue(std::clamp(row.block, 0, row.total));
}

void CBenchWindowRows::DrawResult(int index) {
    const bench::SlotInfo& slot = m_rows[static_cast<std::size_t>(index)].slot;
    QTableWidgetItem& item = Item(index, kResult);
    QFont font = this->font();
    if (!slot.result) {
        if (slot.state != SlotState::Empty) {  // an unplugged row keeps its last result
            item.setText(QString());
            item.setToolTip(QString());
        }
        return;
    }
    const bench::RunResult& result = *slot.result;
    QColor colour = kDoneColour;
    QString tip;
    switch (result.outcome) {
        case Outcome::Upgraded:
            item.setText(QStringLiteral("Upgraded"));
            break;
        case Outcome::Current:
            item.setText(QStringLiteral("Already current, nothing sent"));
            break;
        case Outcome::Read:
            if (NoFirmware(result)) {
                item.setText(QStringLiteral("No firmware"));
                tip = QStringLiteral("The charger answered, but holds no firmware: upgrade it.");
                colour = kNoFirmwareColour;
                font.setBold(true);
            } else {
                item.setText(QStringLiteral("Read"));
            }
            break;
        case Outcome::Failed:
            item.setText(QStringLiteral("Failed: ") + Q(result.reason));
            colour = kFailedColour;
            break;
    }
    item.setToolTip(tip.isEmpty() ? item.text() : tip);
    item.setForeground(colour);
    item.setFont(font);
}

void CBenchWindowRows::DrawTime(int index) {
    const Row& row = m_rows[static_cast<std::size_t>(index)];
    if (row.slot.state == SlotState::Empty && !row.slot.result) {
        Item(index, kTime).setText(QString());
        return;
    }
    const double seconds = row.running
                               ? row.seconds + static_cast<double>(m_nowMs() - row.atMs) / 1000.0
                               : row.seconds;
    Item(index, kTime).setText(Seconds(seconds));
}

void CBenchWindowRows::Tick() {
    bool anyRunning = false;
    for (int index = 0; index < static_cast<int>(m_rows.size()); ++index) {
        if (m_rows[static_cast<std::size_t>(index)].running) {
            DrawTime(index);
            anyRunning = true;
        }
    }
    if (!anyRunning) {
        m_timer->stop();
    }
}

QString CBenchWindowRows::CellText(int row, Column column) const {
    if (row < 0 || row >= rowCount()) {
        return {};
    }
    if (column == kProgress) {
        return static_cast<const QProgressBar*>(cellWidget(row, kProgress))->text();
    }
    return Item(row, column).text();
}

QString CBenchWindowRows::CellToolTip(int row, Column column) const {
    if (row < 0 || row >= rowCount() || column == kProgress) {
        return {};
    }
    return Item(row, column).toolTip();
}

// The bench records a job that heard a byte from its charger, and only such
// a job (Bench.h).
void CBenchWindowRows::CountResult(const bench::RunResult& result) {
    if (!result.answered) {
        ++m_tally.unanswered;
        return;
    }
    switch (result.outcome) {
        case Outcome::Upgraded:
            ++m_tally.upgraded;
            break;
        case Outcome::Current:
            ++m_tally.current;
            break;
        case Outcome::Read:
            ++m_tally.read;
            m_tally.noFirmware += NoFirmware(result) ? 1 : 0;
            break;
        case Outcome::Failed:
            ++m_tally.failed;
            break;
    }
}

QString CBenchWindowRows::TallyLine() const {
    QString read = QString::number(m_tally.read);
    if (m_tally.noFirmware > 0) {
        read += QStringLiteral(" (%1 with no firmware)").arg(m_tally.noFirmware);
    }
    QString line = QStringLiteral("Upgraded %1, already current %2, read %3, failed %4")
                       .arg(m_tally.upgraded)
                       .arg(m_tally.current)
                       .arg(read)
                       .arg(m_tally.failed);
    if (m_tally.unanswered > 0) {
        line += QStringLiteral("; %1 without an answer, not recorded").arg(m_tally.unanswered);
    }
    return line + QLatin1Char('.');
}

QStringList CBenchWindowRows::FailureLines() const {
    QStringList lines;
    for (const Row& row : m_rows) {
        if (row.slot.result && row.slot.result->outcome == Outcome::Failed) {
            const QString name = row.slot.label.empty()
                                     ? Q(row.slot.port).section(QLatin1Char('/'), -1)
                                     : Q(row.slot.label);
            lines << name + QStringLiteral(": ") + Q(row.slot.result->reason);
        }
    }
    return lines;
}
