#include "app/MessageBoxPresenter.h"

#include <QMessageBox>
#include <QThread>

CMessageBoxPresenter::CMessageBoxPresenter() {
    m_previous = platform::SetMessageBoxHook(
        [this](const std::string& text, const std::string& caption) { Show(text, caption); });
}

CMessageBoxPresenter::~CMessageBoxPresenter() {
    platform::SetMessageBoxHook(std::move(m_previous));
}

std::unique_ptr<QMessageBox> CMessageBoxPresenter::BuildBox(const std::string& text,
                                                            const std::string& caption) {
    const QString title = QString::fromStdString(
        caption.empty() ? std::string(platform::ApplicationName()) : caption);
    // The reports end lines with CR LF (and sometimes LF CR); a label needs LF only.
    QString body = QString::fromStdString(text);
    body.remove(QLatin1Char('\r'));
    auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, title, body, QMessageBox::Ok);
    box->setTextFormat(Qt::PlainText);
    return box;
}

void CMessageBoxPresenter::Show(const std::string& text, const std::string& caption) {
    if (QThread::currentThread() == m_anchor.thread()) {
        BuildBox(text, caption)->exec();
        return;
    }
    QMetaObject::invokeMethod(
        &m_anchor,
        [text, caption] {
            QMessageBox* box = BuildBox(text, caption).release();
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setModal(false);
            box->show();
        },
        Qt::QueuedConnection);
}
