// Dialog units: turns the dialog-unit geometry of the tool windows into pixels.
//
// Principles of operation
//   A dialog laid out in units of its font scales with that font: one unit
//   across is a quarter of the font's average character width, one unit down
//   an eighth of its height. The windows take the 8-point dialog font (the
//   system's substitute when "MS Sans Serif" is missing), measure it once and
//   place every control through Rect.
//
// Threads: user-interface thread only.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

class CDialogUnits {
public:
    // The 8-point dialog font of the tool windows.
    static QFont DialogFont();

    explicit CDialogUnits(const QFont& font);

    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const;

private:
    int m_baseX;  // average character width in pixels
    int m_baseY;  // character height in pixels
};
