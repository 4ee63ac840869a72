#include "app/PortEntryNotes.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>

#include "app/NoteItemDelegate.h"
#include "platform/SerialDevices.h"
#include "serial/PortName.h"

CPortEntryNotes::CPortEntryNotes(QComboBox& list) : QObject(&list), m_list(list) {
    m_list.view()->setItemDelegate(new CNoteItemDelegate(m_list.view()));
    m_list.view()->installEventFilter(this);
    connect(&m_list, &QComboBox::currentIndexChanged, this, [this] { UpdateToolTip(); });
}

void CPortEntryNotes::SetSimulated(bool simulated) {
    m_simulated = simulated;
    Refresh();
}

QString CPortEntryNotes::NoteFor(const QString& entry) const {
    if (m_simulated) {
        return QStringLiteral("simulated charger");
    }
    const std::string device = ResolvePortName(entry.toStdString());
    if (device.empty()) {
        return QStringLiteral("no device");
    }
    return QString::fromStdString(device) + (platform::DevicePresent(device)
                                                 ? QStringLiteral(", present")
                                                 : QStringLiteral(", absent"));
}

void CPortEntryNotes::Refresh() {
    for (int i = 0; i < m_list.count(); ++i) {
        m_list.setItemData(i, NoteFor(m_list.itemText(i)), CNoteItemDelegate::kNoteRole);
    }
    // The dropped list is as wide as its widest entry with its note.
    m_list.view()->setMinimumWidth(m_list.view()->sizeHintForColumn(0) + 8);
    UpdateToolTip();
}

void CPortEntryNotes::UpdateToolTip() {
    const int index = m_list.currentIndex();
    m_list.setToolTip(index >= 0 ? CNoteItemDelegate::ShownText(m_list.model()->index(index, 0))
                                 : QString());
}

bool CPortEntryNotes::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list.view() && event->type() == QEvent::Show) {
        Refresh();
    }
    return QObject::eventFilter(watched, event);
}
