// The communication log: its switch file, the counted writes with the
// reopen every 50, the error reporters and the viewer.
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "log/log.h"
#include "platform/ui.h"
#include "popups.h"
#include "scratch.h"

namespace {

class LogTest : public ScratchDirTest {
protected:
    void SetUp() override
    {
        ScratchDirTest::SetUp();
        giLog = 0;
    }
    void TearDown() override
    {
        mf_Tovra_Log__Close();
        unsetenv("TOVRA_VIEWER");
        ScratchDirTest::TearDown();
    }
    static void StartUp()
    {
        mf_Tovra_Log__Clear();
        mf_Tovra_Log__Append();
    }
    PopupRecorder recorder_;
    const std::vector<std::pair<std::string, std::string>> &popups_ = recorder_.popups();

    static std::string Log()
    {
        if (gpLog)
            std::fflush(gpLog);
        return ReadFileBytes(caLogFile);
    }
};

std::string Lines(int from, int to)
{
    std::string s;
    for (int i = from; i < to; ++i)
        s += "line " + std::to_string(i) + "\n";
    return s;
}

} // namespace

TEST_F(LogTest, WithoutASwitchFileItIsCreatedHoldingZeroAndNothingIsLogged)
{
    WriteFileBytes(caLogFile, "from an earlier run\n");
    StartUp();
    EXPECT_EQ(ReadFileBytes(caLogSwitchFile), "0");
    EXPECT_EQ(gpLog, nullptr);
    logs("%s\n", "r BR1, BR2");
    EXPECT_EQ(ReadFileBytes(caLogFile), "from an earlier run\n") << "neither emptied nor written";
}

TEST_F(LogTest, SwitchOneEmptiesTheLogAtStartUpAndKeepsWhatWasWrittenAcrossReopens)
{
    WriteFileBytes(caLogSwitchFile, "1");
    WriteFileBytes(caLogFile, "from an earlier run\n");
    StartUp();
    ASSERT_NE(gpLog, nullptr);
    EXPECT_EQ(Log(), "");
    for (int i = 0; i < 120; ++i)
        logi("line %d\n", i);
    EXPECT_EQ(giLog, 20) << "reopened after the 50th and the 100th write";
    EXPECT_EQ(Log(), Lines(0, 120));
}

TEST_F(LogTest, EachCountedWriteFormatsItsOneArgument)
{
    WriteFileBytes(caLogSwitchFile, "1\n");
    StartUp();
    logi("%04X ", 0x1101);
    logi("%x\n", 3);
    logf("%.1f\n", 0.25);
    logs("%s\n", "");
    EXPECT_EQ(Log(), "1101 3\n0.2\n\n");
}

TEST_F(LogTest, ASwitchTurnedOnWhileRunningOpensTheLogAtTheNextReopenWithoutEmptyingIt)
{
    WriteFileBytes(caLogSwitchFile, "0");
    WriteFileBytes(caLogFile, "kept\n");
    StartUp();
    for (int i = 0; i < 40; ++i)
        logi("line %d\n", i);
    WriteFileBytes(caLogSwitchFile, "1");
    for (int i = 40; i < 55; ++i)
        logi("line %d\n", i);
    // The 50th write reopened the log; it is not in the file itself.
    EXPECT_EQ(Log(), "kept\n" + Lines(50, 55));
}

TEST_F(LogTest, ASwitchTurnedOffWhileRunningStopsLoggingAtTheNextReopen)
{
    WriteFileBytes(caLogSwitchFile, "1");
    StartUp();
    for (int i = 0; i < 45; ++i)
        logi("line %d\n", i);
    WriteFileBytes(caLogSwitchFile, "0");
    for (int i = 45; i < 60; ++i)
        logi("line %d\n", i);
    EXPECT_EQ(gpLog, nullptr);
    EXPECT_EQ(ReadFileBytes(caLogFile), Lines(0, 50));
}

TEST_F(LogTest, ASwitchFileThatHoldsNoNumberCountsAsOff)
{
    for (const char *content : {"", "yes", "2", " 1"}) {
        WriteFileBytes(caLogSwitchFile, content);
        mf_Tovra_Log__Append();
        EXPECT_EQ(gpLog != nullptr, std::string(content) == " 1") << '"' << content << '"';
    }
}

TEST_F(LogTest, TheErrorReportersWriteMarkedLinesAndOnlyTheFileReporterShowsABox)
{
    WriteFileBytes(caLogSwitchFile, "1");
    StartUp();
    mf_Tovra_Log__err_Open_COM("UART_MB", 882839, -4);
    mf_Tovra_Log__err_Open_File("lang", 12, "lang.txt");
    EXPECT_EQ(Log(), "\xA1\xB9\xA1\xB9\xA1\xB9 UART_MB :: 882839 \n"
                     "\xA1\xB9\xA1\xB9\xA1\xB9 Open COM NG :: err code : -4 \n\n"
                     "\xA1\xB9\xA1\xB9\xA1\xB9 lang :: 12 \n"
                     "\xA1\xB9\xA1\xB9\xA1\xB9 open file NG :: lang.txt \n\n");
    ASSERT_EQ(popups_.size(), 1u);
    EXPECT_EQ(popups_[0], std::make_pair(std::string("lang :: 12"), std::string("open file NG :: lang.txt")));
    EXPECT_EQ(giLog, 0) << "direct writes are not counted";
}

TEST_F(LogTest, TheErrorReportersCutOverlongTextsInsteadOfOverflowing)
{
    std::string source(300, 's');
    std::string file(1000, 'f');
    mf_Tovra_Log__err_Open_File(source.c_str(), 1, file.c_str());
    ASSERT_EQ(popups_.size(), 1u);
    EXPECT_EQ(popups_[0].first, std::string(51, 's'));
    EXPECT_EQ(popups_[0].second.size(), 255u);
}

TEST_F(LogTest, TheViewerGetsTheFullPathOfTheLogActuallyWrittenAsOneArgument)
{
    // A folder name with blanks and shell characters must reach the viewer intact.
    std::filesystem::create_directory("my logs; $(x)");
    std::filesystem::current_path("my logs; $(x)");
    WriteFileBytes(caLogSwitchFile, "1");
    WriteFileBytes("viewer.sh", "#!/bin/sh\nprintf '%s|' \"$@\" > \"$(dirname \"$1\")/viewer-args\"\n");
    std::filesystem::permissions("viewer.sh", std::filesystem::perms::owner_all);
    std::string here = std::filesystem::current_path().string();
    setenv("TOVRA_VIEWER", (here + "/viewer.sh").c_str(), 1);
    StartUp();
    logs("%s\n", "before");
    mf_Tovra_Log__Launch();
    EXPECT_TRUE(QTest::qWaitFor([] { return FileExists("viewer-args"); }, 5000));
    EXPECT_EQ(ReadFileBytes("viewer-args"), here + "/log___main.txt|");
    ASSERT_NE(gpLog, nullptr) << "reopened for appending";
    logs("%s\n", "after");
    EXPECT_EQ(Log(), "before\nafter\n");
}

TEST(LogViewer, IsTheDesktopOpenerUnlessOverridden)
{
    unsetenv("TOVRA_VIEWER");
    EXPECT_STREQ(TextViewerProgram(), "xdg-open");
    setenv("TOVRA_VIEWER", "mousepad", 1);
    EXPECT_STREQ(TextViewerProgram(), "mousepad");
    unsetenv("TOVRA_VIEWER");
}
