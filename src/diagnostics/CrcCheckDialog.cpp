#include "diagnostics/CrcCheckDialog.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>

#include "diagnostics/DialogUnits.h"
#include "diagnostics/FileCrc.h"
#include "diagnostics/FileDialogs.h"
#include "diagnostics/FileDirSetting.h"
#include "diagnostics/InputGuard.h"
#include "platform/LastError.h"
#include "serial/ErrorReport.h"

namespace {

// Between pieces of a large file the window repaints, but takes no input.
constexpr std::size_t kBytesBetweenRepaints = 4U * 1024U * 1024U;

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

CCrcCheckDialog::CCrcCheckDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("File CRC Check"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(CDialogUnits::DialogFont());
    const CDialogUnits units(font());
    setFixedSize(units.Size(212, 118));

    m_btnExit = new QPushButton(QStringLiteral("Exit"), this);
    m_btnExit->setGeometry(units.Rect(128, 97, 50, 14));
    m_btnExit->setDefault(true);
    connect(m_btnExit, &QPushButton::clicked, this, &QDialog::accept);

    m_btnSelectFile = new QPushButton(QStringLiteral("Select File"), this);
    m_btnSelectFile->setGeometry(units.Rect(35, 97, 50, 14));
    connect(m_btnSelectFile, &QPushButton::clicked, this, [this] { OnSelectFile(); });

    AddLabel("File Name", 7, 7, 57, 8);
    AddLabel("File Size", 7, 19, 57, 8);
    AddLabel("CRC From File", 7, 41, 57, 8);
    AddLabel("Length From File", 7, 54, 57, 8);
    AddLabel("Generated CRC", 7, 76, 57, 8);
    m_fileName = AddLabel("", 65, 7, 140, 8);
    m_fileSize = AddLabel("", 65, 19, 140, 8);
    m_storedCrc = AddLabel("", 65, 41, 140, 8);
    m_lengthText = AddLabel("", 65, 54, 140, 8);
    m_generatedCrc = AddLabel("", 65, 76, 140, 8);
    m_verdict = AddLabel("", 7, 86, 198, 8);
}

QLabel* CCrcCheckDialog::AddLabel(const char* text, int x, int y, int width, int height) {
    const CDialogUnits units(font());
    auto* label = new QLabel(QString::fromLatin1(text), this);
    label->setGeometry(units.Rect(x, y, width, height));
    label->setTextFormat(Qt::PlainText);
    return label;
}

void CCrcCheckDialog::OnSelectFile() {
    CFileDirSetting setting;
    const QString directory = Text(setting.Read());
    const QString path =
        FileDialogs().AskOpenFile(this, QStringLiteral("Open"), directory,
                                  {QStringLiteral("Uploadable files (*.bin)"),
                                   QStringLiteral("Intel Hex format files(*.hex)")});
    if (path.isEmpty()) {
        return;  // cancelled: nothing shown, nothing stored
    }
    ShowFileName(path);

    // A long check keeps the window painted; input made meanwhile is dropped,
    // not carried out once the check ends.
    CInputGuard guard(*this);
    CrcReadOptions options;
    std::size_t sinceRepaint = 0;
    options.onPiece = [&sinceRepaint](std::size_t length) {
        sinceRepaint += length;
        if (sinceRepaint >= kBytesBetweenRepaints) {
            sinceRepaint = 0;
            QApplication::processEvents();
        }
    };
    const CrcCheckResult result = CheckFileCrc(QFile::encodeName(path).toStdString(), options);
    guard.Discard();

    if (result.sizeKnown) {
        m_fileSize->setText(Text(result.fileSizeText));
    }
    if (result.valuesKnown) {
        m_lengthText->setText(Text(result.lengthText));
        m_storedCrc->setText(Text(result.storedCrcText));
        m_crcRegister = result.generatedCrc;
        m_generatedCrc->setText(Text(result.generatedCrcText));
        setting.RememberFolderOf(path.toStdString());
    }
    ShowVerdict(result);
    if (!result.Ok()) {
        ReportFailure(result);
    }
}

void CCrcCheckDialog::ReportFailure(const CrcCheckResult& result) {
    std::string text = CrcCheckErrorText(result.error);
    if (result.error == CrcCheckError::NotRegularFile) {
        text += ": the file is " + result.fileKind;
    }
    platform::SetLastError(result.systemError);
    ReportError(text.c_str());
}

void CCrcCheckDialog::ShowFileName(const QString& path) {
    m_strFileName = path;
    m_fileName->setText(
        m_fileName->fontMetrics().elidedText(path, Qt::ElideMiddle, m_fileName->width()));
    m_fileName->setToolTip(path);
}

void CCrcCheckDialog::ShowVerdict(const CrcCheckResult& result) {
    m_verdict->setText(result.Ok() ? Text(CrcVerdictText(result)) : QString());
    const bool mismatch =
        result.Ok() && result.valuesKnown && VerdictOf(result) == CrcVerdict::Mismatch;
    QPalette colours = palette();
    if (mismatch) {
        colours.setColor(QPalette::WindowText, ErrorColour());
    }
    m_verdict->setPalette(colours);
}

QColor CCrcCheckDialog::ErrorColour() {
    return {176, 0, 0};
}

QString CCrcCheckDialog::FileNameText() const {
    return m_strFileName;
}
QString CCrcCheckDialog::FileNameShown() const {
    return m_fileName->text();
}
QColor CCrcCheckDialog::VerdictColour() const {
    return m_verdict->palette().color(QPalette::WindowText);
}
QString CCrcCheckDialog::FileSizeText() const {
    return m_fileSize->text();
}
QString CCrcCheckDialog::StoredCrcText() const {
    return m_storedCrc->text();
}
QString CCrcCheckDialog::LengthText() const {
    return m_lengthText->text();
}
QString CCrcCheckDialog::GeneratedCrcText() const {
    return m_generatedCrc->text();
}
QString CCrcCheckDialog::VerdictText() const {
    return m_verdict->text();
}
