// A file-dialog double for the window's tests: the open and save dialogs
// answer with the next path of the list, or cancel when the list is empty. The
// text question keeps what it was offered and answers with the next of its own
// list ("" cancels), or takes what it was offered when the list is empty.
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
    QStringList texts;
    QStringList offered;
    QString AskText(QWidget*, const QString&, const QString&, const QString& proposed) override {
        offered << proposed;
        return texts.isEmpty() ? proposed : texts.takeFirst();
    }
};
