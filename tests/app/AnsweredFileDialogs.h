// A file-dialog double for the window's tests: the open and save dialogs
// answer with the next path of the list, or cancel when the list is empty.
#pragma once

#include <QStringList>

#include "diagnostics/FileDialogs.h"

struct CAnsweredFileDialogs : IFileDialogs {
    QStringList answers;
    QString AskOpenFile(QWidget*, const QString&, const QString&, const QStringList&) override {
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    QString AskSaveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
};
