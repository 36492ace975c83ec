// The communication log: its switch file, the counted writes with the
// reopen every 50, the error reporters and the viewer.
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "log/log.h"
#include "platform/files.h"
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

TEST_F(LogTest, TheSwitchIsOnOnlyForANumberThatEqualsOneAndFitsAnInt)
{
    struct {
        std::string content;
        bool on;
    } cases[] = {
        {"1", true},          {" 1\n", true},        {"01", true},          {"1abc", true},
        {"", false},          {"yes", false},         {"2", false},          {"-1", false},
        {"4294967297", false}, // wraps to 1 when read with %d
        {std::string(40, '0') + "1", false}, // a number longer than what is read
        {std::string(20 << 20, '7'), false}, // 20 MB of digits: only a few bytes are read
    };
    for (const auto &c : cases) {
        WriteFileBytes(caLogSwitchFile, c.content);
        mf_Tovra_Log__Append();
        EXPECT_EQ(gpLog != nullptr, c.on) << '"' << c.content.substr(0, 50) << '"';
    }
}

TEST_F(LogTest, AFifoUnderTheNameOfTheSwitchOrTheLogNeverBlocksAndIsLeftAlone)
{
    ASSERT_EQ(mkfifo(caLogSwitchFile, 0600), 0);
    StartUp(); // would wait for a writer forever if it opened the FIFO
    EXPECT_EQ(gpLog, nullptr);
    EXPECT_EQ(FileKind(caLogSwitchFile), FILE_OTHER) << "not replaced by a new switch file";

    std::filesystem::remove(caLogSwitchFile);
    WriteFileBytes(caLogSwitchFile, "1");
    ASSERT_EQ(mkfifo(caLogFile, 0600), 0);
    StartUp();
    logs("%s\n", "lost in no FIFO");
    EXPECT_EQ(gpLog, nullptr);
}

TEST_F(LogTest, TheErrorReportersWriteMarkedLinesAndOnlyTheFileReporterShowsABox)
{
    WriteFileBytes(caLogSwitchFile, "1");
    StartUp();
    recorder_.expect();
    mf_Tovra_Log__err_Open_COM("UART_MB", 882839, -4);
    mf_Tovra_Log__err_Open_File("lang", 12, "lang.txt");
    mf_Tovra_Log__err_Lost_COM("UART_MB", 882840, "COM5", -9);
    EXPECT_EQ(Log(), "\xA1\xB9\xA1\xB9\xA1\xB9 UART_MB :: 882839 \n"
                     "\xA1\xB9\xA1\xB9\xA1\xB9 Open COM NG :: err code : -4 \n\n"
                     "\xA1\xB9\xA1\xB9\xA1\xB9 lang :: 12 \n"
                     "\xA1\xB9\xA1\xB9\xA1\xB9 open file NG :: lang.txt \n\n"
                     "\xA1\xB9\xA1\xB9\xA1\xB9 UART_MB :: 882840 \n"
                     "\xA1\xB9\xA1\xB9\xA1\xB9 COM5 lost :: err code : -9 \n\n");
    ASSERT_EQ(popups_.size(), 1u);
    EXPECT_EQ(popups_[0], std::make_pair(std::string("lang :: 12"), std::string("open file NG :: lang.txt")));
    EXPECT_EQ(giLog, 0) << "direct writes are not counted";
}

TEST_F(LogTest, TheErrorReportersCutOverlongTextsInsteadOfOverflowing)
{
    std::string source(300, 's');
    std::string file(1000, 'f');
    recorder_.expect();
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

TEST_F(LogTest, StartUpKeepsTheLastRunsLinesAsDot1WhenLoggingIsOnAndTheyExist)
{
    const struct {
        const char *name;
        const char *switchText;
        const char *log;     // nullptr: no log file
        bool keptIsAFolder;  // log___main.txt.1 cannot be replaced
        const char *logAfter;
        const char *keptAfter; // nullptr: the folder stays
    } rows[] = {
        {"on, lines", "1", "run 2\n", false, "", "run 2\n"},
        {"on, empty log", "1", "", false, "", "run 1\n"},
        {"on, no log", "1", nullptr, false, "", "run 1\n"},
        {"off", "0", "run 2\n", false, "run 2\n", "run 1\n"},
        {"on, cannot keep", "1", "run 2\n", true, "run 2\n", nullptr},
    };
    for (const auto &row : rows) {
        std::filesystem::remove_all(caLogPrevious);
        std::filesystem::remove(caLogFile);
        WriteFileBytes(caLogSwitchFile, row.switchText);
        if (row.keptIsAFolder)
            std::filesystem::create_directory(caLogPrevious);
        else
            WriteFileBytes(caLogPrevious, "run 1\n");
        if (row.log)
            WriteFileBytes(caLogFile, row.log);
        mf_Tovra_Log__Clear();
        EXPECT_EQ(ReadFileBytes(caLogFile), row.logAfter) << row.name;
        if (row.keptAfter)
            EXPECT_EQ(ReadFileBytes(caLogPrevious), row.keptAfter) << row.name;
        else
            EXPECT_TRUE(std::filesystem::is_directory(caLogPrevious)) << row.name;
    }
}
