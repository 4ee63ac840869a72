#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include <filesystem>

#include "DiagTestFiles.h"
#include "QtTestApp.h"
#include "TestKit.h"
#include "diagnostics/CrcCheckDialog.h"
#include "diagnostics/FileDialogs.h"
#include "diagnostics/ImageExport.h"
#include "diagnostics/ImageWriter.h"
#include "protocol/UpgradeImage.h"
#include "support/SettingsKey.h"

namespace {

constexpr const char* kUnset = "<unset>";

// Answers the file dialogs as a user would, and remembers what was asked.
class CScriptedFileDialogs : public IFileDialogs {
public:
    QString openAnswer;
    QString saveAnswer;  // a name inside the proposed folder when relative
    int opens = 0;
    int saves = 0;
    QString directory;
    QString title;
    QString defaultName;
    QStringList filters;

    QString AskOpenFile(QWidget*, const QString& caption, const QString& dir,
                        const QStringList& offered) override {
        ++opens;
        title = caption;
        directory = dir;
        filters = offered;
        return openAnswer;
    }
    QString AskSaveFile(QWidget*, const QString& caption, const QString& dir,
                        const QString& proposed) override {
        ++saves;
        title = caption;
        directory = dir;
        defaultName = proposed;
        return saveAnswer;
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
    QString Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        diagtest::WriteBytes(Path(name).toStdString(), bytes);
        return Path(name);
    }
    QString ExportedImage() const {
        EXPECT_TRUE(ExportImageTo(Path("2.10e.bin").toStdString()));
        return Path("2.10e.bin");
    }
    // Runs one "Select File" that picks the given path.
    void Select(CCrcCheckDialog& dialog, const QString& path) {
        m_dialogs.openAnswer = path;
        dialog.OnSelectFile();
    }
    static std::vector<QString> Fields(const CCrcCheckDialog& dialog) {
        return {dialog.FileNameText(), dialog.FileSizeText(), dialog.StoredCrcText(),
                dialog.LengthText(), dialog.GeneratedCrcText()};
    }

    diagtest::CApplicationFirst m_application;
    testkit::CScratchConfig m_config;
    testkit::CScratchDir m_dir;
    testkit::CBoxRecorder m_boxes;
    CScriptedFileDialogs m_dialogs;
    CFileDialogsOverride m_override{m_dialogs};
};

TEST_F(FileToolDialogsTest, CrcCheckWindowHasItsTitleControlsAndEmptyFields) {
    CCrcCheckDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "File CRC Check");
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    QStringList labels;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        labels << label->text();
    }
    for (const char* text :
         {"File Name", "File Size", "CRC From File", "Length From File", "Generated CRC"}) {
        EXPECT_TRUE(labels.contains(text)) << text;
    }
    for (const QString& field : Fields(dialog)) {
        EXPECT_TRUE(field.isEmpty());
    }
    QPushButton* exitButton = nullptr;
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->text() == "Exit") {
            exitButton = button;
        }
    }
    ASSERT_NE(exitButton, nullptr);
    EXPECT_TRUE(exitButton->isDefault());
    dialog.show();
    exitButton->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(FileToolDialogsTest, CheckOfTheExportedImageShowsMatchingCrcsAndStoresTheFolder) {
    CCrcCheckDialog dialog;
    const QString image = ExportedImage();
    Select(dialog, image);
    EXPECT_EQ(Fields(dialog), (std::vector<QString>{image, "12810", "20C5", "12682", "20C5"}));
    EXPECT_EQ(m_dialogs.filters,
              (QStringList{"Uploadable files (*.bin)", "Intel Hex format files(*.hex)"}));
    // A clean machine starts in the home folder and stores it, not where the file was.
    EXPECT_EQ(m_dialogs.directory.toStdString(), DefaultFileDirectory());
    EXPECT_EQ(StoredDirectory(), DefaultFileDirectory());
    EXPECT_EQ(m_boxes.Count(), 0U);
}

TEST_F(FileToolDialogsTest, StoredFolderIsOfferedAndKeptWhateverFolderThePickCameFrom) {
    {
        CSettingsKey key;
        key.OpenKey("Veltra", "Corvane");
        key.WriteValue("CRCFileDir", "/srv/images");
    }
    CCrcCheckDialog dialog;
    Select(dialog, Write("notes.txt", {'a', 'b', 'c'}));
    EXPECT_EQ(m_dialogs.directory, "/srv/images");
    EXPECT_EQ(StoredDirectory(), "/srv/images");
    EXPECT_EQ(dialog.LengthText(), "N/A");
    EXPECT_EQ(dialog.StoredCrcText(), "N/A");
}

TEST_F(FileToolDialogsTest, CancelledDialogChangesNothingAndWritesNothing) {
    CCrcCheckDialog dialog;
    Select(dialog, QString());
    EXPECT_EQ(m_dialogs.opens, 1);
    for (const QString& field : Fields(dialog)) {
        EXPECT_TRUE(field.isEmpty());
    }
    EXPECT_EQ(StoredDirectory(), kUnset);

    const QString image = ExportedImage();
    Select(dialog, image);
    const auto shown = Fields(dialog);
    Select(dialog, QString());
    EXPECT_EQ(Fields(dialog), shown);
}

TEST_F(FileToolDialogsTest, FailedChecksLeaveTheFieldsTheyDidNotReach) {
    CCrcCheckDialog dialog;
    Select(dialog, Path("missing.bin"));
    EXPECT_EQ(dialog.FileNameText(), Path("missing.bin"));
    EXPECT_TRUE(dialog.FileSizeText().isEmpty());
    EXPECT_EQ(StoredDirectory(), kUnset);  // a failed check stores nothing
    ASSERT_EQ(m_boxes.Count(), 1U);
    EXPECT_NE(m_boxes.Boxes()[0].text.find("Unable To Open File"), std::string::npos);

    Select(dialog, ExportedImage());
    const auto before = Fields(dialog);

    Select(dialog, Path("missing.bin"));
    auto expected = before;
    expected[0] = Path("missing.bin");
    EXPECT_EQ(Fields(dialog), expected);

    // Opened, size taken, then the read fails: the size is the new file's.
    std::filesystem::create_directory(Path("folder.bin").toStdString());
    Select(dialog, Path("folder.bin"));
    EXPECT_EQ(dialog.FileNameText(), Path("folder.bin"));
    EXPECT_NE(dialog.FileSizeText(), before[1]);
    EXPECT_EQ(dialog.StoredCrcText(), before[2]);
    EXPECT_EQ(dialog.LengthText(), before[3]);
    EXPECT_EQ(dialog.GeneratedCrcText(), before[4]);
    EXPECT_EQ(m_boxes.Count(), 3U);
}

TEST_F(FileToolDialogsTest, ExportProposesTheVersionNameAndWritesTheImage) {
    m_dialogs.saveAnswer = Path("2.10e.bin");
    WriteImage(nullptr);
    EXPECT_EQ(m_dialogs.saves, 1);
    EXPECT_EQ(m_dialogs.title, "Write Image File");
    EXPECT_EQ(m_dialogs.defaultName, "2.10e.bin");
    EXPECT_EQ(m_dialogs.directory.toStdString(), DefaultFileDirectory());
    const auto image = UpgradeImage();
    EXPECT_EQ(diagtest::ReadBytes(Path("2.10e.bin").toStdString()),
              std::vector<std::uint8_t>(image.begin(), image.end()));
    EXPECT_EQ(StoredDirectory(), DefaultFileDirectory());
    EXPECT_EQ(m_boxes.Count(), 0U);
}

TEST_F(FileToolDialogsTest, ExportKeepsANameWithoutExtension) {
    m_dialogs.saveAnswer = Path("firmware");
    WriteImage(nullptr);
    EXPECT_EQ(std::filesystem::file_size(Path("firmware").toStdString()), 12810U);
    EXPECT_FALSE(std::filesystem::exists(Path("firmware.bin").toStdString()));
}

TEST_F(FileToolDialogsTest, CancelledExportWritesNothing) {
    m_dialogs.saveAnswer.clear();
    WriteImage(nullptr);
    EXPECT_EQ(m_dialogs.saves, 1);
    EXPECT_EQ(StoredDirectory(), kUnset);
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.Path()));
}

TEST_F(FileToolDialogsTest, FailedExportReportsAndStillStoresTheFolder) {
    m_dialogs.saveAnswer = Path("no/such/folder/2.10e.bin");
    WriteImage(nullptr);
    ASSERT_EQ(m_boxes.Count(), 1U);
    EXPECT_NE(m_boxes.Boxes()[0].text.find("Unable To Create the File"), std::string::npos);
    EXPECT_EQ(StoredDirectory(), DefaultFileDirectory());
}

}  // namespace
