// Note item delegate: draws a list entry with a note beside it.
//
// Principles of operation
//   A combo box's entries keep their own text, which is what the field shows
//   and what the window uses once an entry is picked ("COM2", a device
//   path). What an entry stands for ("/dev/ttyUSB0, present", a device's
//   maker and model) is a note kept in the entry's kNoteRole and drawn after
//   its text in the dropped list only, in the placeholder colour.
//
// Threads: user-interface thread only.
#pragma once

#include <QStyledItemDelegate>

class CNoteItemDelegate : public QStyledItemDelegate {
public:
    static constexpr int kNoteRole = Qt::UserRole + 40;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The text and the note as one line, the way the list shows them.
    static QString ShownText(const QModelIndex& index);
};
