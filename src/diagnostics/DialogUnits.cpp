#include "diagnostics/DialogUnits.h"

#include <QFontMetrics>
#include <QString>

#include <algorithm>

QFont CDialogUnits::DialogFont() {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

CDialogUnits::CDialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The width averaged over the alphabet in both cases, rounded, as dialog
    // templates are measured.
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_baseX = std::max(1, (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2);
    m_baseY = std::max(1, metrics.height());
}

int CDialogUnits::X(int units) const {
    return (units * m_baseX + 2) / 4;
}

int CDialogUnits::Y(int units) const {
    return (units * m_baseY + 4) / 8;
}

QRect CDialogUnits::Rect(int x, int y, int width, int height) const {
    return {X(x), Y(y), X(width), Y(height)};
}

QSize CDialogUnits::Size(int width, int height) const {
    return {X(width), Y(height)};
}
