// Starting a program, and the text viewer. On Windows over the system alone
// (no Qt), so this branch also runs in the Windows checks, which have no Qt.
#include "platform/ui.h"

#include <string>

#ifndef _WIN32
#include <QProcess>
#include <QStringList>
#else
#include <windows.h>

#include "platform/win_text.h"
#endif

#ifndef _WIN32

int LaunchExecutable(int argc, const char *const argv[])
{
    if (argc < 1 || !argv || !argv[0] || !*argv[0])
        return UIE_BAD_INDEX;
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return QProcess::startDetached(QString::fromLocal8Bit(argv[0]), args) ? 0 : UIE_FILE_NOT_FOUND;
}

const char *TextViewerProgram(void)
{
    static std::string viewer;
    viewer = qEnvironmentVariable("TOVRA_VIEWER").toStdString();
    return viewer.empty() ? "xdg-open" : viewer.c_str();
}

#else

namespace {

// One argument of a command line, as the C runtime splits it back: in quotes,
// a quote escaped, and the backslashes before a quote (or the closing one)
// doubled.
std::wstring QuotedArgument(const std::wstring &arg)
{
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L"\"";
}

} // namespace

// The program is found as the system finds it (its folder, then PATH); the
// arguments arrive whole, blanks and Chinese characters included.
int LaunchExecutable(int argc, const char *const argv[])
{
    if (argc < 1 || !argv || !argv[0] || !*argv[0])
        return UIE_BAD_INDEX;
    std::wstring line;
    for (int i = 0; i < argc; ++i)
        line += (i ? L" " : L"") + QuotedArgument(WinWideOfUtf8(argv[i]));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return UIE_FILE_NOT_FOUND;
    // Not waited for: the handles go, the program runs on.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

const char *TextViewerProgram(void)
{
    static std::string viewer;
    wchar_t set[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"TOVRA_VIEWER", set, MAX_PATH);
    viewer = n > 0 && n < MAX_PATH ? WinUtf8OfWide(set, static_cast<int>(n)) : "notepad2.exe";
    return viewer.c_str();
}

#endif
