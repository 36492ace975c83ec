// Starting the text viewer on Windows. Run without arguments it checks;
// started by its own check with a file name and words, it waits a second,
// then writes the words it received, one a line, into that file.
#include "platform/ui.h"
#include "platform/win_text.h"
#include "tests/wine/wine_check.h"

#include <cstring>
#include <string>

#include <windows.h>
#include <shellapi.h>

namespace {

// The started program's side: its command line split as Windows programs
// split theirs, the words written only after a second, so a launcher that
// waited for the program would find the file already there.
int Child()
{
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    Sleep(1000);
    std::wstring temporary = std::wstring(argv[1]) + L".part";
    FILE *f = _wfopen(temporary.c_str(), L"wb");
    for (int i = 2; f && i < argc; ++i)
        std::fprintf(f, "%s\n", WinUtf8OfWide(argv[i]).c_str());
    if (f)
        std::fclose(f);
    MoveFileW(temporary.c_str(), argv[1]);
    return 0;
}

std::string Contents(const wchar_t *file)
{
    FILE *f = _wfopen(file, L"rb");
    std::string text;
    for (int c; f && (c = std::fgetc(f)) != EOF;)
        text += static_cast<char>(c);
    if (f)
        std::fclose(f);
    return text;
}

} // namespace

int main()
{
    if (__argc > 1)
        return Child();

    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::string program = WinUtf8OfWide(self);
    // A log path as a Chinese Windows has it, blanks included, and words
    // that test the quoting: a quote, a trailing backslash, an empty word.
    const wchar_t *marker = L"通訊 記錄 (F3).txt";
    const std::string markerUtf8 = WinUtf8OfWide(marker);
    const char *argv[] = {program.c_str(), markerUtf8.c_str(), "say \"hi\"", "C:\\a folder\\", ""};
    int started = LaunchExecutable(5, argv);
    bool early = GetFileAttributesW(marker) != INVALID_FILE_ATTRIBUTES;
    for (int i = 0; i < 200 && GetFileAttributesW(marker) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(50);
    WineCheck(started == 0 && !early &&
                  Contents(marker) == "say \"hi\"\nC:\\a folder\\\n\n",
              "a program is started, not waited for, with every argument whole");

    const char *missing[] = {"no-such-viewer.exe", "log___main.txt"};
    WineCheck(LaunchExecutable(2, missing) == UIE_FILE_NOT_FOUND,
              "a program that cannot be started is reported");

    SetEnvironmentVariableW(L"TOVRA_VIEWER", nullptr);
    bool standard = std::strcmp(TextViewerProgram(), "notepad2.exe") == 0;
    SetEnvironmentVariableW(L"TOVRA_VIEWER", L"C:\\工具\\viewer.exe");
    WineCheck(standard && std::strcmp(TextViewerProgram(), "C:\\工具\\viewer.exe") == 0,
              "the viewer is notepad2.exe, or TOVRA_VIEWER in UTF-8");
    return giWineFailed ? 1 : 0;
}
