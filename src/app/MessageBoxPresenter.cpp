#include "app/MessageBoxPresenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>

CMessageBoxPresenter::CMessageBoxPresenter() {
    m_previous = platform::SetMessageBoxHook(
        [this](const std::string& text, const std::string& caption) { Show(text, caption); });
}

CMessageBoxPresenter::~CMessageBoxPresenter() {
    platform::SetMessageBoxHook(std::move(m_previous));
}

QWidget* CMessageBoxPresenter::BoxOwner() {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    if (QWidget* active = QApplication::activeWindow()) {
        return active;
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && qobject_cast<QMessageBox*>(window) == nullptr) {
            return window;
        }
    }
    return nullptr;
}

std::unique_ptr<QMessageBox> CMessageBoxPresenter::BuildBox(const std::string& text,
                                                            const std::string& caption,
                                                            QWidget* owner) {
    const QString title = QString::fromStdString(
        caption.empty() ? std::string(platform::ApplicationName()) : caption);
    // The reports end lines with CR LF (and sometimes LF CR); a label needs LF only.
    QString body = QString::fromStdString(text);
    body.remove(QLatin1Char('\r'));
    auto box =
        std::make_unique<QMessageBox>(QMessageBox::NoIcon, title, body, QMessageBox::Ok, owner);
    box->setTextFormat(Qt::PlainText);
    return box;
}

void CMessageBoxPresenter::Show(const std::string& text, const std::string& caption) {
    if (QThread::currentThread() == m_anchor.thread()) {
        // The owner may go while the box runs (and takes its children along).
        const QPointer<QMessageBox> box = BuildBox(text, caption, BoxOwner()).release();
        box->exec();
        delete box.data();
        return;
    }
    QMetaObject::invokeMethod(
        &m_anchor,
        [text, caption] {
            QMessageBox* box = BuildBox(text, caption, BoxOwner()).release();
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setWindowModality(Qt::ApplicationModal);
            box->show();
        },
        Qt::QueuedConnection);
}
