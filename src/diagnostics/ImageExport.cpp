#include "diagnostics/ImageExport.h"

#include <QFile>
#include <QString>

#include <string>

#include "diagnostics/FileDialogs.h"
#include "diagnostics/FileDirSetting.h"
#include "diagnostics/ImageWriter.h"
#include "serial/ErrorReport.h"

void WriteImage(QWidget* owner) {
    CFileDirSetting setting;
    const QString directory = QString::fromStdString(setting.Read());
    const QString path =
        FileDialogs().AskSaveFile(owner, QStringLiteral("Write Image File"), directory,
                                  QString::fromStdString(DefaultImageFileName()));
    if (path.isEmpty()) {
        return;  // cancelled: no file, no setting
    }
    const bool written = ExportImageTo(QFile::encodeName(path).toStdString());
    if (!written) {
        ReportError("Unable To Create the File");
    }
    // Stored whether the file was written or not: the folder of a written
    // file, else the folder read before (the chosen one may not exist).
    setting.RememberFolderOf(written ? path.toStdString() : std::string());
}
