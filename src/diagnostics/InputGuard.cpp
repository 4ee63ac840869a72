#include "diagnostics/InputGuard.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

namespace {

// Whether an event of this type is the user's input (a close request included).
bool IsUserInput(int type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::NonClientAreaMouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TouchCancel:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
        case QEvent::Close:
            return true;
        default:
            return false;
    }
}

}  // namespace

CInputGuard::CInputGuard(QWidget& window) : m_window(window) {
    QCoreApplication::instance()->installEventFilter(this);
}

CInputGuard::~CInputGuard() {
    QCoreApplication::instance()->removeEventFilter(this);
}

void CInputGuard::Discard() {
    QCoreApplication::processEvents();
}

bool CInputGuard::TargetsWindow(QObject* receiver, int type) const {
    if (receiver->isWidgetType()) {
        return static_cast<QWidget*>(receiver)->window() == &m_window;
    }
    if (receiver->isWindowType()) {
        return receiver == m_window.windowHandle();
    }
    // A shortcut goes to the action or shortcut that owns it; the key that
    // raised it went to the window that has the focus.
    if (type == QEvent::Shortcut) {
        const QWindow* focus = QGuiApplication::focusWindow();
        return focus == nullptr || focus == m_window.windowHandle();
    }
    return false;
}

bool CInputGuard::eventFilter(QObject* watched, QEvent* event) {
    if (!IsUserInput(event->type()) || !TargetsWindow(watched, event->type())) {
        return false;
    }
    // A close request that is dropped must read as refused, not as done.
    event->ignore();
    return true;
}
