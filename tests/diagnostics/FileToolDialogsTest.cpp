#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "DiagTestFiles.h"
#include "QtTestApp.h"
#include "TestKit.h"
#include "diagnostics/CrcCheckDialog.h"
#include "diagnostics/FileDialogs.h"
#include "diagnostics/ImageExport.h"
#include "diagnostics/ImageWriter.h"
#include "platform/LastError.h"
#include "support/SettingsKey.h"

namespace {

constexpr const char* kUnset = "<unset>";

// Answers the file dialogs as a user would (an empty answer cancels) and
// remembers what was asked.
struct CScriptedFileDialogs : IFileDialogs {
    QString answer, title, directory, defaultName;
    QStringList filters;
    int asked = 0;

    QString AskOpenFile(QWidget*, const QString& caption, const QString& dir,
                        const QStringList& offered) override {
        filters = offered;
        return AskSaveFile(nullptr, caption, dir, defaultName);
    }
    QString AskSaveFile(QWidget*, const QString& caption, const QString& dir,
                        const QString& proposed) override {
        ++asked;
        title = caption;
        directory = dir;
        defaultName = proposed;
        return answer;
    }
    QString AskText(QWidget*, const QString&, const QString&, const QString& proposed) override {
        return proposed;  // the file tools ask for no text
    }
};

std::string StoredDirectory() {
    CSettingsKey key;
    key.OpenKey("Veltra", "Corvane");
    return key.ReadValue("CRCFileDir", kUnset);
}

class FileToolDialogsTest : public ::testing::Test {
protected:
    QString Path(const std::string& name) const {
        return QString::fromStdString(m_dir.Path() + "/" + name);
    }
    // Runs one "Select File" that picks the path; returns the five fields.
    QString Select(const QString& path) {
        m_dialogs.answer = path;
        m_crc.OnSelectFile();
        return QStringList{m_crc.FileNameText(), m_crc.FileSizeText(), m_crc.StoredCrcText(),
                           m_crc.LengthText(), m_crc.GeneratedCrcText()}
            .join('|');
    }

    diagtest::CApplicationFirst m_application;
    testkit::CScratchConfig m_config;
    testkit::CScratchDir m_dir;
    testkit::CBoxRecorder m_boxes;
    CScriptedFileDialogs m_dialogs;
    CFileDialogsOverride m_override{m_dialogs};
    CCrcCheckDialog m_crc;
};

// The window's title, labels and default Exit button; the dialog starts in
// the stored folder (the home folder on a clean machine), and the folder of
// the file checked is stored for the next one.
TEST_F(FileToolDialogsTest, CrcCheckWindowShowsTheFileAndStoresItsFolder) {
    EXPECT_EQ(m_crc.windowTitle(), "File CRC Check");
    EXPECT_EQ(m_crc.minimumSize(), m_crc.maximumSize());
    QStringList labels;
    for (const QLabel* label : m_crc.findChildren<QLabel*>()) {
        labels << label->text();
    }
    for (const char* text :
         {"File Name", "File Size", "CRC From File", "Length From File", "Generated CRC"}) {
        EXPECT_TRUE(labels.contains(text)) << text;
    }
    QPushButton* exitButton = nullptr;
    for (QPushButton* button : m_crc.findChildren<QPushButton*>()) {
        exitButton = button->text() == "Exit" ? button : exitButton;
    }
    ASSERT_NE(exitButton, nullptr);
    EXPECT_TRUE(exitButton->isDefault());
    m_crc.show();

    ASSERT_TRUE(ExportImageTo(Path("2.10e.bin").toStdString()));
    EXPECT_EQ(Select(Path("2.10e.bin")), Path("2.10e.bin") + "|12810|20C5|12682|20C5");
    EXPECT_EQ(m_crc.VerdictText(), "CRC matches; size agrees with length");
    EXPECT_EQ(m_dialogs.filters,
              (QStringList{"Uploadable files (*.bin)", "Intel Hex format files(*.hex)"}));
    EXPECT_EQ(m_dialogs.directory.toStdString(), DefaultFileDirectory());
    EXPECT_EQ(StoredDirectory(), m_dir.Path());

    CSettingsKey key;
    key.OpenKey("Veltra", "Corvane");
    key.WriteValue("CRCFileDir", "/srv/images");
    diagtest::WriteBytes(Path("notes.txt").toStdString(), {'a', 'b', 'c'});
    EXPECT_TRUE(Select(Path("notes.txt")).contains("|3|N/A|N/A|"));
    EXPECT_EQ(m_crc.VerdictText(), "Not an image file: nothing to compare");
    EXPECT_EQ(m_dialogs.directory, "/srv/images");
    Select(QString());  // the next dialog starts where the last file was
    EXPECT_EQ(m_dialogs.directory.toStdString(), m_dir.Path());
    EXPECT_EQ(m_boxes.Count(), 0U);

    exitButton->click();
    EXPECT_FALSE(m_crc.isVisible());
    EXPECT_EQ(m_crc.result(), QDialog::Accepted);
}

// Enter on "Select File" selects a file; it does not end the window.
TEST_F(FileToolDialogsTest, EnterOnSelectFileSelectsAFile) {
    m_crc.show();
    QPushButton* select = nullptr;
    for (QPushButton* button : m_crc.findChildren<QPushButton*>()) {
        select = button->text() == "Select File" ? button : select;
    }
    ASSERT_NE(select, nullptr);
    select->setFocus();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(select, &enter);
    EXPECT_EQ(m_dialogs.asked, 1);
    EXPECT_TRUE(m_crc.isVisible());
}

// Input made while a long check reads its file (a second Select File, an
// Escape) is dropped, neither run inside the check nor carried out after it.
TEST_F(FileToolDialogsTest, InputDuringALongCheckIsDropped) {
    m_crc.show();
    const QString big = Path("big.bin");
    std::filesystem::resize_file(
        [&] {
            std::ofstream(big.toStdString()).put('\0');
            return big.toStdString();
        }(),
        9U << 20);  // long enough for the window to be repainted during the check
    QPushButton* select = nullptr;
    for (QPushButton* button : m_crc.findChildren<QPushButton*>()) {
        select = button->text() == "Select File" ? button : select;
    }
    ASSERT_NE(select, nullptr);
    QApplication::postEvent(select,
                            new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
    QApplication::postEvent(&m_crc,
                            new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    EXPECT_EQ(Select(big), big + "|9437184|0000|0|0000");
    QApplication::processEvents();
    EXPECT_EQ(m_dialogs.asked, 1);
    EXPECT_TRUE(m_crc.isVisible());
}

// A cancelled dialog changes nothing; a failed check shows the name (and the
// size once known), leaves the other fields and stores no folder.
TEST_F(FileToolDialogsTest, CancelledOrFailedChecksLeaveTheFieldsTheyDidNotReach) {
    EXPECT_EQ(Select(QString()), "||||");
    const QString missing = Path("missing.bin");
    EXPECT_EQ(Select(missing), missing + "||||");
    EXPECT_EQ(StoredDirectory(), kUnset);
    ASSERT_EQ(m_boxes.Count(), 1U);
    EXPECT_NE(m_boxes.Boxes()[0].text.find("Unable To Open File"), std::string::npos);

    ASSERT_TRUE(ExportImageTo(Path("2.10e.bin").toStdString()));
    const QString shown = Select(Path("2.10e.bin"));
    EXPECT_EQ(Select(QString()), shown);
    EXPECT_EQ(m_dialogs.asked, 4);
    EXPECT_EQ(Select(missing), missing + "|12810|20C5|12682|20C5");

    // Opened and sized, then the read fails: the size is the new file's.
    auto bytes = diagtest::Image();
    bytes[12000] ^= 1;
    diagtest::WriteBytes(Path("damaged.bin").toStdString(), bytes);
    EXPECT_EQ(Select(Path("damaged.bin")), Path("damaged.bin") + "|12810|20C5|12682|DD42");
    EXPECT_EQ(m_crc.VerdictText(), "CRC does not match; size agrees with length");
    EXPECT_EQ(m_crc.VerdictColour(), CCrcCheckDialog::ErrorColour());
    EXPECT_EQ(m_boxes.Count(), 2U);
    Select(Path("2.10e.bin"));
    EXPECT_NE(m_crc.VerdictColour(), CCrcCheckDialog::ErrorColour());
}

// A path longer than its field keeps its start and its file name, with the
// whole path in the tool tip; a short one is shown whole.
TEST_F(FileToolDialogsTest, CrcCheckElidesALongPathWithTheWholeOneInTheToolTip) {
    const std::string folder = m_dir.Path() + "/" + std::string(120, 'f');
    std::filesystem::create_directories(folder);
    const QString longPath = QString::fromStdString(folder + "/charger-2.10e.bin");
    ASSERT_TRUE(ExportImageTo(longPath.toStdString()));
    EXPECT_EQ(Select(longPath), longPath + "|12810|20C5|12682|20C5");
    const QString shown = m_crc.FileNameShown();
    EXPECT_LT(shown.size(), longPath.size());
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral(".bin"))) << shown.toStdString();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("/"))) << shown.toStdString();
    const QLabel* field = nullptr;
    for (const QLabel* label : m_crc.findChildren<QLabel*>()) {
        field = label->text() == shown ? label : field;
    }
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->toolTip(), longPath);
    ASSERT_TRUE(ExportImageTo(Path("a.bin").toStdString()));
    Select(Path("a.bin"));
    EXPECT_EQ(m_crc.FileNameShown(), Path("a.bin"));
}

// A file too short for its header, and a FIFO that is refused with its kind
// named and no verdict left over from the file before.
TEST_F(FileToolDialogsTest, CrcCheckVerdictOfShortFilesAndRefusedOnes) {
    diagtest::WriteBytes(Path("3.bin").toStdString(), {0x00, 0x10, 0xAB});
    EXPECT_EQ(Select(Path("3.bin")), Path("3.bin") + "|3|||0000");
    EXPECT_EQ(m_crc.VerdictText(), "Too short for an image header");

    ASSERT_EQ(::mkfifo(Path("pipe.bin").toStdString().c_str(), 0600), 0);
    EXPECT_EQ(Select(Path("pipe.bin")), Path("pipe.bin") + "|3|||0000");
    EXPECT_EQ(m_crc.VerdictText(), "");
    ASSERT_EQ(m_boxes.Count(), 1U);
    EXPECT_NE(m_boxes.Boxes()[0].text.find("Not A Regular File: the file is a FIFO"),
              std::string::npos)
        << m_boxes.Boxes()[0].text;
}

// A cancelled export writes and stores nothing; a failed one reports and
// stores the folder read before (on a clean machine, the home folder); a
// written one stores its own folder. The name is kept as given, with no
// extension added.
TEST_F(FileToolDialogsTest, ExportProposesTheVersionNameAndStoresTheFolderWhenAnswered) {
    WriteImage(nullptr);
    EXPECT_EQ(m_dialogs.asked, 1);
    EXPECT_EQ(m_dialogs.title, "Write Image File");
    EXPECT_EQ(m_dialogs.defaultName, "2.10e.bin");
    EXPECT_EQ(m_dialogs.directory.toStdString(), DefaultFileDirectory());
    EXPECT_EQ(StoredDirectory(), kUnset);
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.Path()));

    const std::string missing = Path("no/such/folder/2.10e.bin").toStdString();
    m_dialogs.answer = Path("no/such/folder/2.10e.bin");
    EXPECT_EQ(WriteImage(nullptr), "");
    ASSERT_EQ(m_boxes.Count(), 1U);
    // The box names the file it could not write, and why.
    EXPECT_EQ(m_boxes.Boxes()[0].text, "Error 2: Unable To Create the File " + missing + ".\n\r" +
                                           platform::SystemErrorText(2) + "\r\n");
    EXPECT_EQ(StoredDirectory(), DefaultFileDirectory());

    m_dialogs.answer = Path("firmware");
    EXPECT_EQ(WriteImage(nullptr), Path("firmware").toStdString());
    EXPECT_EQ(diagtest::ReadBytes(Path("firmware").toStdString()), diagtest::Image());
    EXPECT_FALSE(std::filesystem::exists(Path("firmware.bin").toStdString()));
    EXPECT_EQ(StoredDirectory(), m_dir.Path());
    EXPECT_EQ(m_boxes.Count(), 1U);
}

}  // namespace
