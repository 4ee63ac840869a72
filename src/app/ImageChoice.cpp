#include "app/ImageChoice.h"

#include <QFile>
#include <QString>

#include "diagnostics/FileDialogs.h"
#include "diagnostics/FileDirSetting.h"
#include "platform/LastError.h"
#include "protocol/FirmwareImageFile.h"
#include "serial/ErrorReport.h"

const CFirmwareImage& CImageChoice::Image() const {
    return m_file ? *m_file : CFirmwareImage::Carried();
}

bool CImageChoice::ChooseFile(QWidget* owner) {
    CFileDirSetting folder;  // read only: the choice leaves nothing stored
    const QString path = FileDialogs().AskOpenFile(
        owner, QStringLiteral("Upgrade from File"), QString::fromStdString(folder.Read()),
        {QStringLiteral("Uploadable files (*.bin)"), QStringLiteral("All files (*)")});
    if (path.isEmpty()) {
        return false;  // cancelled: the current choice stands
    }
    const std::string file = QFile::encodeName(path).toStdString();
    // The label is what the charger must report afterwards; a name is only a
    // guess at it, so the technician sees it and can correct it.
    const QString label =
        FileDialogs().AskText(owner, QStringLiteral("Upgrade from File"),
                              QStringLiteral("Version the charger reports with this image:"),
                              QString::fromStdString(LabelFromFileName(file)));
    if (label.isEmpty()) {
        return false;
    }
    return TakeFile(file, label.toStdString());
}

bool CImageChoice::TakeFile(const std::string& path, const std::string& label) {
    std::string reason;
    std::optional<CFirmwareImage> image = LoadFirmwareImage(path, label, reason);
    if (!image) {
        platform::SetLastError(0);  // the reason says it all
        ReportError(ImageFileRefusal(path, reason).c_str());
        return false;
    }
    m_file = std::move(image);
    return true;
}
