#include "diagnostics/ImageExport.h"

#include <QFile>
#include <QString>

#include <string>

#include "diagnostics/FileDialogs.h"
#include "diagnostics/FileDirSetting.h"
#include "diagnostics/ImageWriter.h"
#include "serial/ErrorReport.h"

std::string WriteImage(QWidget* owner) {
    CFileDirSetting setting;
    const QString directory = QString::fromStdString(setting.Read());
    const QString path =
        FileDialogs().AskSaveFile(owner, QStringLiteral("Write Image File"), directory,
                                  QString::fromStdString(DefaultImageFileName()));
    if (path.isEmpty()) {
        return {};  // cancelled: no file, no setting
    }
    const std::string file = QFile::encodeName(path).toStdString();
    const bool written = ExportImageTo(file);
    if (!written) {
        // The code read by ReportError is still the failed call's own.
        ReportError(("Unable To Create the File " + file).c_str());
    }
    // Stored whether the file was written or not: the folder of a written
    // file, else the folder read before (the chosen one may not exist).
    setting.RememberFolderOf(written ? path.toStdString() : std::string());
    return written ? file : std::string();
}
