#include "diagnostics/PanelCanvas.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

CPanelCanvas::CPanelCanvas(QWidget* owner) : QWidget(owner), m_owner(owner) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    FitToOwner();
    lower();
    show();
    owner->installEventFilter(this);
}

void CPanelCanvas::Present(const QRect& rect) {
    if (InPaintPass() || rect.isEmpty()) {
        return;
    }
    repaint(rect);
}

bool CPanelCanvas::InPaintPass() const {
    // The flag is set by the widget kit for the time a paint event is handled.
    return m_owner->testAttribute(Qt::WA_WState_InPaintEvent) ||
           testAttribute(Qt::WA_WState_InPaintEvent);
}

bool CPanelCanvas::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_owner) {
        switch (event->type()) {
            case QEvent::Resize:
            case QEvent::ContentsRectChange:
                FitToOwner();
                break;
            case QEvent::Show:
                m_surface.fill(Qt::transparent);
                break;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CPanelCanvas::FitToOwner() {
    const QRect client = m_owner->contentsRect();
    setGeometry(client);
    const qreal ratio = m_owner->devicePixelRatioF();
    const QSize pixels = client.size() * ratio;
    if (m_surface.size() == pixels && m_surface.devicePixelRatio() == ratio) {
        return;
    }
    // Keep what was drawn where it still fits; new parts start empty.
    QImage resized(pixels, QImage::Format_ARGB32_Premultiplied);
    resized.setDevicePixelRatio(ratio);
    resized.fill(Qt::transparent);
    if (!m_surface.isNull()) {
        QPainter painter(&resized);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPoint(0, 0), m_surface);
    }
    m_surface = std::move(resized);
}

void CPanelCanvas::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setClipRect(event->rect());
    painter.drawImage(QPoint(0, 0), m_surface);
}
