// File CRC check: the "File CRC Check" window of the system menu.
//
// Principles of operation
//   "Select File" (OnSelectFile) asks for a file through the file-dialog seam
//   (FileDialogs.h), starting in the "CRCFileDir" folder, and shows the
//   file's path, its size, the length and CRC its image header stores (or
//   "N/A" for files that are not .bin) and the CRC computed over its code.
//   The computation is CheckFileCrc (FileCrc.h), which reads the file in
//   pieces. Below the fields a verdict line says whether the stored and
//   computed CRCs match and whether an image file's size agrees with its
//   length field, so that nobody has to compare hexadecimal by eye. A failure
//   shows its box, clears the verdict and leaves the other fields it did not
//   reach as they were; only a completed check writes "CRCFileDir" back, with
//   the text read before the dialog ran. A path too long for its field is
//   elided in the middle, with the whole path in the field's tool tip; a
//   mismatch verdict is drawn in the error colour of the bench window's
//   failed rows, so that it stands out from a sound one.
//
// Threads: user-interface thread only; the settings key lives for one check.
#pragma once

#include <QColor>
#include <QDialog>

#include <cstdint>

class QLabel;
class QPushButton;
struct CrcCheckResult;

class CCrcCheckDialog : public QDialog {
public:
    explicit CCrcCheckDialog(QWidget* parent = nullptr);

    void OnSelectFile();

    // The texts of the value fields, for the command line's twin and tests;
    // the file name whole, as its tool tip has it.
    QString FileNameText() const;
    // What the file name field shows: the path, elided when it is too long.
    QString FileNameShown() const;
    // The colour the verdict is drawn in.
    QColor VerdictColour() const;

    // Failed rows and mismatch verdicts.
    static QColor ErrorColour();
    QString FileSizeText() const;
    QString StoredCrcText() const;
    QString LengthText() const;
    QString GeneratedCrcText() const;
    QString VerdictText() const;

private:
    QLabel* AddLabel(const char* text, int x, int y, int width, int height);
    void ReportFailure(const CrcCheckResult& result);
    void ShowFileName(const QString& path);
    void ShowVerdict(const CrcCheckResult& result);

    QPushButton* m_btnExit = nullptr;
    QPushButton* m_btnSelectFile = nullptr;
    QLabel* m_fileName = nullptr;      // 1019
    QLabel* m_fileSize = nullptr;      // 1021
    QLabel* m_storedCrc = nullptr;     // 1022
    QLabel* m_lengthText = nullptr;    // 1023
    QLabel* m_generatedCrc = nullptr;  // 1028
    QLabel* m_verdict = nullptr;
    QString m_strFileName;  // whole; the field may show it elided
    std::uint16_t m_crcRegister = 0;
};
