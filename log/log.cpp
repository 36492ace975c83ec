// The communication log. The switch file is read whenever the log opens, so
// an operator who edits it sees the change at the next reopen, which comes
// every 50 counted writes.
#include "log/log.h"

#include "platform/ui.h"

FILE *gpLog = nullptr;
int giLog = 0;

namespace {

// The error reporters' texts are bounded: longer inputs are cut.
constexpr int ciTitleSize = 52;    // 51 characters
constexpr int ciMessageSize = 256; // 255 characters
constexpr int ciPathSize = 4096;

// 1 when the switch file holds 1. A missing switch file is created holding
// "0"; one that does not start with an integer counts as off.
bool SwitchIsOn()
{
    FILE *f = std::fopen(caLogSwitchFile, "r");
    if (!f) {
        f = std::fopen(caLogSwitchFile, "w");
        if (f) {
            std::fputs("0", f);
            std::fclose(f);
        }
        return false;
    }
    int value = 0;
    bool on = std::fscanf(f, "%d", &value) == 1 && value == 1;
    std::fclose(f);
    return on;
}

void WriteMarked(const char *title, const char *message)
{
    if (!gpLog)
        return;
    std::fprintf(gpLog, LOG_MARK " %s \n", title);
    std::fprintf(gpLog, LOG_MARK " %s \n\n", message);
}

// After every counted write: the 50th since the last open reopens the log.
void Counted()
{
    ++giLog;
    if (giLog >= ciLogReopenEvery)
        mf_Tovra_Log__Append();
}

} // namespace

int mf_Tovra_Log__Clear(void)
{
    if (SwitchIsOn()) {
        FILE *f = std::fopen(caLogFile, "w");
        if (f)
            std::fclose(f);
    }
    return 0;
}

int mf_Tovra_Log__Append(void)
{
    mf_Tovra_Log__Close();
    if (SwitchIsOn()) {
        gpLog = std::fopen(caLogFile, "a");
        giLog = 0;
    }
    return 0;
}

int mf_Tovra_Log__Close(void)
{
    if (gpLog) {
        std::fclose(gpLog);
        gpLog = nullptr;
    }
    return 0;
}

int logi(const char *format, int value)
{
    if (gpLog)
        std::fprintf(gpLog, format, value);
    Counted();
    return 0;
}

int logf(const char *format, double value)
{
    if (gpLog)
        std::fprintf(gpLog, format, value);
    Counted();
    return 0;
}

int logs(const char *format, const char *text)
{
    if (gpLog)
        std::fprintf(gpLog, format, text);
    Counted();
    return 0;
}

// Shows the file that is really written (the current directory's), passing
// its path as one argument so blanks or shell characters in it are harmless.
int mf_Tovra_Log__Launch(void)
{
    mf_Tovra_Log__Close();
    char path[ciPathSize];
    if (GetFullPathFromCurrentDir(caLogFile, path, sizeof path) == 0) {
        const char *argv[] = {TextViewerProgram(), path};
        LaunchExecutable(2, argv);
    }
    mf_Tovra_Log__Append();
    return 0;
}

int mf_Tovra_Log__err_Open_File(const char *source, int line, const char *fileName)
{
    char title[ciTitleSize];
    char message[ciMessageSize];
    std::snprintf(title, sizeof title, "%s :: %d", source, line);
    std::snprintf(message, sizeof message, "open file NG :: %s", fileName);
    MessagePopup(title, message);
    WriteMarked(title, message);
    return 0;
}

int mf_Tovra_Log__err_Open_COM(const char *source, int line, int code)
{
    char title[ciTitleSize];
    char message[ciMessageSize];
    std::snprintf(title, sizeof title, "%s :: %d", source, line);
    std::snprintf(message, sizeof message, "Open COM NG :: err code : %d", code);
    WriteMarked(title, message);
    return 0;
}
