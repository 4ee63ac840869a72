#include "diagnostics/ImageExport.h"

#include <QFile>
#include <QString>

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
    if (!ExportImageTo(QFile::encodeName(path).toStdString())) {
        ReportError("Unable To Create the File");
    }
    // Stored whether the file was written or not: the folder read before the dialog.
    setting.WriteBack();
}
