// File dialogs: the seam between the file tools and the system's file dialogs.
//
// Principles of operation
//   The CRC check and the image export ask for file names only through
//   IFileDialogs. The default implementation shows Qt's dialogs; tests install
//   a double with CFileDialogsOverride, which restores the previous one when
//   it goes out of scope. An empty result means the user cancelled.
//
//   AskOpenFile offers only existing files, with the first filter in effect.
//   AskSaveFile proposes the default name in the folder and asks before an
//   existing file is replaced; no filter, no extension added. AskText asks
//   for a line of text about the chosen file (an image's label), offering
//   the proposed text for editing.
//
// Threads: user-interface thread only; the installed pointer is swapped and
// read there.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

class IFileDialogs {
public:
    virtual ~IFileDialogs() = default;
    // The full path of the chosen existing file; empty when cancelled.
    virtual QString AskOpenFile(QWidget* owner, const QString& caption, const QString& directory,
                                const QStringList& filters) = 0;
    // The full path of the confirmed name; empty when cancelled (also when the
    // user declined to replace an existing file).
    virtual QString AskSaveFile(QWidget* owner, const QString& title, const QString& directory,
                                const QString& defaultName) = 0;
    // The text entered, starting from `proposed`; empty when cancelled.
    virtual QString AskText(QWidget* owner, const QString& title, const QString& prompt,
                            const QString& proposed) = 0;
};

// Qt's own dialogs.
class CQtFileDialogs : public IFileDialogs {
public:
    QString AskOpenFile(QWidget* owner, const QString& caption, const QString& directory,
                        const QStringList& filters) override;
    QString AskSaveFile(QWidget* owner, const QString& title, const QString& directory,
                        const QString& defaultName) override;
    QString AskText(QWidget* owner, const QString& title, const QString& prompt,
                    const QString& proposed) override;
};

// The dialogs in effect: the installed double, or Qt's.
IFileDialogs& FileDialogs();

// Installs a double for its lifetime (tests).
class CFileDialogsOverride {
public:
    explicit CFileDialogsOverride(IFileDialogs& dialogs);
    ~CFileDialogsOverride();
    CFileDialogsOverride(const CFileDialogsOverride&) = delete;
    CFileDialogsOverride& operator=(const CFileDialogsOverride&) = delete;

private:
    IFileDialogs* m_previous;
};
