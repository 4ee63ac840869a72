#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "TestKit.h"
#include "platform/DebugOutput.h"
#include "platform/LastError.h"
#include "serial/ErrorReport.h"

namespace {

class ErrorReportTest : public ::testing::Test {
protected:
    void TearDown() override { platform::SetLastError(0); }

    testkit::CBoxRecorder m_boxes;
    testkit::CDebugRecorder m_debug;
};

TEST_F(ErrorReportTest, WithoutCodeShowsTheCallersTextAlone) {
    platform::SetLastError(0);
    ReportError("Charger did not answer");
    EXPECT_EQ(m_debug.Text(), "Charger did not answer");
    ASSERT_EQ(m_boxes.Count(), 1U);
    EXPECT_EQ(m_boxes.Boxes()[0].text, "Charger did not answer");
    EXPECT_EQ(m_boxes.Boxes()[0].caption, "");
}

TEST_F(ErrorReportTest, WithCodeComposesCodeTextAndSystemText) {
    platform::SetLastError(2);
    ReportError("Unable To Open File");
    const std::string system = platform::SystemErrorText(2);
    ASSERT_FALSE(system.empty());
    const std::string expected = "Error 2: Unable To Open File.\n\r" + system + "\r\n";
    EXPECT_EQ(m_debug.Text(), expected);
    ASSERT_EQ(m_boxes.Count(), 1U);
    EXPECT_EQ(m_boxes.Boxes()[0].text, expected);
    EXPECT_EQ(m_boxes.Boxes()[0].caption, "");
    EXPECT_NE(expected.find("No such file or directory"), std::string::npos);
}

TEST_F(ErrorReportTest, FullStopIsAddedEvenAfterOne) {
    platform::SetLastError(2);
    ReportError("Done.");
    EXPECT_EQ(m_debug.Text().rfind("Error 2: Done..\n\r", 0), 0U);
}

TEST_F(ErrorReportTest, HighCodesAreShownSignedWithEmptySystemText) {
    platform::SetLastError(0x80000000U);
    ReportError("x");
    EXPECT_EQ(m_debug.Text(), "Error -2147483648: x.\n\r\r\n");
    platform::SetLastError(0xFFFFFFFFU);
    ReportError("y");
    EXPECT_EQ(m_boxes.Boxes().back().text, "Error -1: y.\n\r\r\n");
}

TEST_F(ErrorReportTest, CodeIsNotClearedByTheReport) {
    platform::SetLastError(13);
    ReportError("first");
    ReportError("second");
    EXPECT_EQ(platform::GetLastError(), 13U);
    ASSERT_EQ(m_boxes.Count(), 2U);
    EXPECT_EQ(m_boxes.Boxes()[1].text.rfind("Error 13: second.\n\r", 0), 0U);
}

TEST_F(ErrorReportTest, SystemMessageLengthAndEmptyFallback) {
    std::string text = "stale";
    EXPECT_EQ(FormatSystemMessage(0x7FFFFFF0U, text), 1U);
    EXPECT_EQ(text, "");
    const std::size_t length = FormatSystemMessage(2, text);
    EXPECT_EQ(text, platform::SystemErrorText(2));
    EXPECT_EQ(length, text.size());
}

TEST_F(ErrorReportTest, CommErrorShowsFixedBoxAndNamesTheOperationOnlyInTheDebugger) {
    platform::SetLastError(5);
    EXPECT_EQ(ReportCommError("CreateFile"), 1);
    EXPECT_EQ(m_debug.Text(), "CreateFile");
    ASSERT_EQ(m_boxes.Count(), 1U);
    const testkit::Box box = m_boxes.Boxes()[0];
    EXPECT_EQ(box.caption, "ERROR");
    EXPECT_EQ(box.text, kCommErrorText);
    EXPECT_EQ(box.text.rfind("Communications Error! Verify the cable\n is connected", 0), 0U);
    EXPECT_NE(box.text.find("unplug the charger for 10 seconds\n"), std::string::npos);
    EXPECT_EQ(box.text.find("CreateFile"), std::string::npos);
    EXPECT_EQ(std::string(kCommErrorCaption), "ERROR");
}

// Unless a sink is installed, the reports' debug texts go to the system log:
// nothing reaches standard error. A user who asks gets one line per text.
TEST(DebugOutputTest, StandardErrorStaysQuietUnlessAsked) {
    const std::string capture = testing::TempDir() + "corvane-stderr";
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    const int file = ::open(capture.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    ::dup2(file, STDERR_FILENO);
    {
        testkit::CBoxRecorder boxes;
        platform::SetDebugSink({});
        platform::SetLastError(2);
        ReportError("Unable To Open File");
        ReportCommError("CreateFile");
        platform::SetLastError(0);
        EXPECT_EQ(boxes.Count(), 2U);
        const off_t quiet = ::lseek(file, 0, SEEK_END);
        platform::SetDebugSink(platform::StandardErrorSink());
        ReportCommError("CreateFile");
        platform::OutputDebugString("Reader/Status Thread didn't exit.\n\r");
        platform::SetDebugSink({});
        EXPECT_EQ(quiet, 0);
    }
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    std::string written(256, '\0');
    written.resize(static_cast<std::size_t>(::pread(file, written.data(), written.size(), 0)));
    ::close(file);
    ::unlink(capture.c_str());
    EXPECT_EQ(written, "debug: CreateFile\ndebug: Reader/Status Thread didn't exit.\n");
}

}  // namespace
