#include "diagnostics/FileDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>

namespace {

// The double a test installed; null means Qt's own dialogs.
IFileDialogs* g_installed = nullptr;

}  // namespace

QString CQtFileDialogs::AskOpenFile(QWidget* owner, const QString& caption,
                                    const QString& directory, const QStringList& filters) {
    QString selected = filters.value(0);
    // The open dialog offers existing files only.
    return QFileDialog::getOpenFileName(owner, caption, directory, filters.join(";;"), &selected);
}

QString CQtFileDialogs::AskSaveFile(QWidget* owner, const QString& title, const QString& directory,
                                    const QString& defaultName) {
    // No filter and no default suffix: a typed name stands as typed. Qt's save
    // dialog asks before an existing file is replaced.
    return QFileDialog::getSaveFileName(owner, title, QDir(directory).filePath(defaultName));
}

QString CQtFileDialogs::AskText(QWidget* owner, const QString& title, const QString& prompt,
                                const QString& proposed) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(owner, title, prompt, QLineEdit::Normal, proposed, &ok);
    return ok ? text.trimmed() : QString();
}

IFileDialogs& FileDialogs() {
    static CQtFileDialogs qtDialogs;
    return g_installed != nullptr ? *g_installed : qtDialogs;
}

CFileDialogsOverride::CFileDialogsOverride(IFileDialogs& dialogs) : m_previous(g_installed) {
    g_installed = &dialogs;
}

CFileDialogsOverride::~CFileDialogsOverride() {
    g_installed = m_previous;
}
