#include "app/NoteItemDelegate.h"

#include <QApplication>
#include <QPainter>

namespace {

constexpr int kGap = 16;  // pixels between an entry's text and its note

QString NoteOf(const QModelIndex& index) {
    return index.data(CNoteItemDelegate::kNoteRole).toString();
}

}  // namespace

QString CNoteItemDelegate::ShownText(const QModelIndex& index) {
    const QString text = index.data(Qt::DisplayRole).toString();
    const QString note = NoteOf(index);
    return note.isEmpty() ? text : text + QStringLiteral("  (") + note + QLatin1Char(')');
}

void CNoteItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    const QString note = NoteOf(index);
    if (note.isEmpty()) {
        return;
    }
    const QString text = index.data(Qt::DisplayRole).toString();
    const int textWidth = option.fontMetrics.horizontalAdvance(text);
    QRect area = option.rect.adjusted(textWidth + kGap, 0, 0, 0);
    area.setLeft(area.left() + option.fontMetrics.horizontalAdvance(QLatin1Char(' ')));
    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    painter->setPen(
        option.palette.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
    painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                      QLatin1Char('(') + note + QLatin1Char(')'));
    painter->restore();
}

QSize CNoteItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QString note = NoteOf(index);
    if (!note.isEmpty()) {
        size.rwidth() += kGap + option.fontMetrics.horizontalAdvance(QStringLiteral(" (") + note +
                                                                     QLatin1Char(')'));
    }
    return size;
}
