// What the window's end-to-end tests share: an image file made as the
// tools make one, the texts the version panel drew, the service records
// written, and whether the menu offers the carried image again.
#pragma once

#include <QAction>
#include <QMenu>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <fstream>
#include <string>

#include "app/MainDialog.h"
#include "records/RecordJournal.h"

namespace windowtest {

// tools/make_image.py --label LABEL DIR/LABEL.bin; the file's path.
inline QString MakeImage(const std::string& dir, const QString& label) {
    const QString path = QString::fromStdString(dir) + "/" + label + ".bin";
    QProcess python;
    python.start("python3", {CORVANE_SOURCE_DIR "/tools/make_image.py", "--label", label, path});
    const bool made = python.waitForFinished(30000) && python.exitCode() == 0;
    return made ? path : QString();
}

inline bool CarriedImageItemEnabled(const CMainDialog& dialog) {
    for (QAction* action : dialog.m_menuSystem->actions()) {
        if (action->data().toUInt() == CMainDialog::kIdmUseCarriedImage) {
            return action->isEnabled();
        }
    }
    return false;
}

inline QStringList DrawnTexts(const CVersionPanel& panel) {
    QStringList texts;
    for (const auto& d : panel.Drawings()) {
        if (d.kind == CVersionPanel::Drawing::Kind::Text) {
            texts << d.text;
        }
    }
    return texts;
}

inline QStringList RecordLines() {
    QStringList lines;
    std::ifstream file(records::RecordsPath());
    for (std::string line; std::getline(file, line);) {
        lines << QString::fromStdString(line);
    }
    return lines;
}

}  // namespace windowtest
