// Panel canvas: the window-sized surface the version panel draws into.
//
// Principles of operation
//   The canvas is a child widget that covers its owner's client area
//   (contentsRect) beneath every other control and ignores the mouse. It keeps
//   an image of the client area; the panel draws into that image and then
//   calls Present, which repaints the changed part at once, so the drawing is
//   on the screen before the panel's call returns. Because the image keeps
//   what was drawn, repaints of the owner show it again unchanged.
//
//   A drawing made while the owner (or the canvas) is inside its own paint
//   event is shown by that paint pass, which paints the canvas after its
//   owner; asking for another repaint there would make owners that draw from
//   their paint event repaint for ever.
//
//   The canvas follows its owner's size, and erases the image when the owner
//   is shown afresh, as a window that is uncovered loses what was drawn into
//   it outside its painting.
//
// Threads: user-interface thread only.
#pragma once

#include <QImage>
#include <QWidget>

class CPanelCanvas : public QWidget {
public:
    explicit CPanelCanvas(QWidget* owner);

    // The image of the owner's client area, in client coordinates.
    QImage& Surface() { return m_surface; }
    const QImage& Surface() const { return m_surface; }
    // Makes the given part of the image reach the screen.
    void Present(const QRect& rect);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void FitToOwner();
    bool InPaintPass() const;

    QWidget* m_owner;
    QImage m_surface;
};
