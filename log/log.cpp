// The communication log. The switch file is read whenever the log opens, so
// an operator who edits it sees the change at the next reopen, which comes
// every 50 counted writes.
#include "log/log.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/files.h"
#include "platform/ui.h"

FILE *gpLog = nullptr;
int giLog = 0;

namespace {

// The error reporters' texts are bounded: longer inputs are cut.
constexpr int ciTitleSize = 52;    // 51 characters
constexpr int ciMessageSize = 256; // 255 characters
constexpr int ciPathSize = 4096;

// Set by mf_Tovra_Log__To: the log's file chosen by the program (empty for
// none), which replaces the switch and the file of the current folder.
bool gbLogFixed = false;
char gcaLogPath[ciPathSize];
// A fixed log on standard output or standard error is the program's own
// stream, shared with what it prints there: never closed, never reopened.
FILE *gpLogStandard = nullptr;
// A fixed log that is a special file (a FIFO, a terminal) stays open: a
// FIFO's reader takes the closing as the end, and reopening would wait for
// a new one.
bool gbLogSpecial = false;
// The errno of the write that failed on the fixed log; 0 while it works.
int giLogFailed = 0;

// The file the program chose may be anything it can append to (a FIFO, a
// terminal): it was named on purpose. The window's own log file is only
// ever a regular file.
FILE *OpenLog()
{
    if (gpLogStandard)
        return gpLogStandard;
    if (gbLogFixed) {
        int kind = FILE_MISSING;
        FILE *f = FileOpenAppendAny(gcaLogPath, &kind);
        gbLogSpecial = f && kind != FILE_REGULAR;
        return f;
    }
    FILE *f = FileOpenRegular(caLogFile, "a");
    // Unbuffered: every line is on disk as soon as it is written, so a
    // crash or a power loss keeps the log up to the moment it happened.
    if (f)
        std::setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

// The fixed log stays open across the reopening every 50 writes when it is
// the program's own stream or a special file.
bool KeptOpen()
{
    return gpLog && (gpLog == gpLogStandard || gbLogSpecial);
}

// A fixed log that failed a write is given up: nothing more goes to it, so
// the program never waits on it and can say what happened. `error` is the
// errno of the failed write when known. The window's own log goes on as before.
void CheckWritten(int error = 0)
{
    if (!gbLogFixed || !gpLog || !std::ferror(gpLog))
        return;
    giLogFailed = error ? error : errno ? errno : EIO;
    if (gpLog != gpLogStandard)
        std::fclose(gpLog);
    gpLog = nullptr;
    gpLogStandard = nullptr;
    gcaLogPath[0] = '\0';
}

const char *LogPath()
{
    return gbLogFixed ? gcaLogPath : caLogFile;
}

// The switch is read as "%d" reads a number, from at most this many bytes:
// a huge switch file costs no memory, and a number that does not end within
// them does not fit an int anyway.
constexpr int ciSwitchBytes = 32;

// True when the text starts, after white space, with a number that equals 1.
// A number too large for an int is not 1 (reading it with "%d" would be
// undefined, and glibc's wrap-around turns 4294967297 into 1).
bool SwitchTextIsOn(const char *text)
{
    while (std::isspace(static_cast<unsigned char>(*text)))
        ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    if (!std::isdigit(static_cast<unsigned char>(*text)))
        return false;
    long long value = 0;
    for (; std::isdigit(static_cast<unsigned char>(*text)); ++text) {
        value = value * 10 + (*text - '0');
        if (value > INT_MAX)
            return false;
    }
    return !negative && value == 1;
}

// 1 when the switch file holds 1. A missing switch file is created holding
// "0". Only a regular file is read: a FIFO under the name would block
// start-up, so it counts as off and is left alone.
bool SwitchIsOn()
{
    if (gbLogFixed)
        return gcaLogPath[0] != '\0';
    if (FileKind(caLogSwitchFile) == FILE_MISSING) {
        if (FILE *f = FileOpenRegular(caLogSwitchFile, "w")) {
            std::fputs("0", f);
            std::fclose(f);
        }
        return false;
    }
    char text[ciSwitchBytes + 1];
    return FileReadHead(caLogSwitchFile, text, sizeof text) >= 0 && SwitchTextIsOn(text);
}

void WriteMarked(const char *title, const char *message)
{
    if (!gpLog)
        return;
    std::fprintf(gpLog, LOG_MARK " %s \n", title);
    std::fprintf(gpLog, LOG_MARK " %s \n\n", message);
}

// After every counted write (`written`: what its fprintf returned): the
// 50th since the last open reopens the log.
void Counted(int written)
{
    CheckWritten(written < 0 ? errno : 0);
    ++giLog;
    if (giLog >= ciLogReopenEvery)
        mf_Tovra_Log__Append();
}

} // namespace

FILE *mf_Tovra_Log__Standard(const char *path)
{
    if (std::strcmp(path, "-") == 0 || std::strcmp(path, "/dev/stdout") == 0)
        return stdout;
    return std::strcmp(path, "/dev/stderr") == 0 ? stderr : nullptr;
}

// The path is made absolute at once: the log is reopened every 50 writes,
// and the program may change its current folder meanwhile.
int mf_Tovra_Log__To(const char *path)
{
    mf_Tovra_Log__Close();
    gbLogFixed = true;
    giLogFailed = 0;
    gcaLogPath[0] = '\0';
    gpLogStandard = path ? mf_Tovra_Log__Standard(path) : nullptr;
    if (gpLogStandard)
        std::snprintf(gcaLogPath, sizeof gcaLogPath, "%s", path);
    else if (path && GetFullPathFromCurrentDir(path, gcaLogPath, sizeof gcaLogPath) != 0) {
        gcaLogPath[0] = '\0';
        return -ENAMETOOLONG;
    }
    errno = 0;
    mf_Tovra_Log__Append();
    if (path && !gpLog)
        return errno ? -errno : -EIO;
    return 0;
}

// After a crash the operator restarts to look at the log: the last run's
// lines must survive that start.
int mf_Tovra_Log__Clear(void)
{
    if (!SwitchIsOn())
        return 0;
    char head[2];
    if (!gbLogFixed && FileReadHead(caLogFile, head, sizeof head) > 0 &&
        std::rename(caLogFile, caLogPrevious) != 0)
        return 0;
    if (FILE *f = FileOpenRegular(LogPath(), "w"))
        std::fclose(f);
    return 0;
}

int mf_Tovra_Log__Failed(void)
{
    return giLogFailed;
}

int mf_Tovra_Log__Append(void)
{
    if (KeptOpen()) {
        giLog = 0;
        return 0;
    }
    mf_Tovra_Log__Close();
    if (SwitchIsOn()) {
        gpLog = OpenLog();
        giLog = 0;
    }
    return 0;
}

int mf_Tovra_Log__Close(void)
{
    CheckWritten();
    if (gpLog && gpLog != gpLogStandard)
        std::fclose(gpLog);
    else if (gpLog)
        std::fflush(gpLog);
    gpLog = nullptr;
    return 0;
}

int logi(const char *format, int value)
{
    Counted(gpLog ? std::fprintf(gpLog, format, value) : 0);
    return 0;
}

int logf(const char *format, double value)
{
    Counted(gpLog ? std::fprintf(gpLog, format, value) : 0);
    return 0;
}

int logs(const char *format, const char *text)
{
    Counted(gpLog ? std::fprintf(gpLog, format, text) : 0);
    return 0;
}

// Shows the file that is really written (the current directory's), passing
// its path as one argument so blanks or shell characters in it are harmless.
int mf_Tovra_Log__Launch(void)
{
    mf_Tovra_Log__Close();
    char path[ciPathSize];
    int r = GetFullPathFromCurrentDir(LogPath(), path, sizeof path);
    if (r == 0) {
        const char *argv[] = {TextViewerProgram(), path};
        r = LaunchExecutable(2, argv);
    }
    mf_Tovra_Log__Append();
    return r;
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

int mf_Tovra_Log__err_Lost_COM(const char *source, int line, const char *deviceName, int code)
{
    char title[ciTitleSize];
    char message[ciMessageSize];
    std::snprintf(title, sizeof title, "%s :: %d", source, line);
    std::snprintf(message, sizeof message, "%s lost :: err code : %d", deviceName, code);
    WriteMarked(title, message);
    return 0;
}
