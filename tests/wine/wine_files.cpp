// Opening files by name on Windows: a folder, a missing file, a long file, a
// read-only file, a Chinese name, a device name.
#include "platform/files.h"
#include "tests/wine/wine_check.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <windows.h>

namespace {

// Whether opening `path` in `mode` succeeds as `opens` says, a failure with
// errno `error` (any when 0); a stream opened is closed again.
bool Opens(const char *path, const char *mode, bool opens, int error = 0)
{
    errno = 0;
    FILE *f = FileOpenRegular(path, mode);
    if (f)
        std::fclose(f);
    return opens ? f != nullptr : !f && (error == 0 || errno == error);
}

} // namespace

int main()
{
    CreateDirectoryW(L"a folder", nullptr);
    WineCheck(FileKind("a folder") == FILE_OTHER && Opens("a folder", "r", false, EISDIR) &&
                  Opens("a folder", "w", false, EISDIR),
              "a folder is no file: never opened, for reading or writing (EISDIR)");

    WineCheck(FileKind("missing.txt") == FILE_MISSING && Opens("missing.txt", "r", false) &&
                  Opens("missing.txt", "a", true) && FileKind("missing.txt") == FILE_REGULAR,
              "a missing file does not open for reading; appending creates it");

    std::string text(100000, 'x');
    text.replace(0, 5, "12345");
    if (FILE *f = FileOpenRegular("long.txt", "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    char head[64];
    WineCheck(FileReadHead("long.txt", head, sizeof head) == 63 && std::strlen(head) == 63 &&
                  std::strncmp(head, "12345xx", 7) == 0,
              "of a long file only the head is read, into the buffer, NUL-terminated");

    if (FILE *f = FileOpenRegular("read-only.txt", "w")) {
        std::fputs("1", f);
        std::fclose(f);
    }
    SetFileAttributesW(L"read-only.txt", FILE_ATTRIBUTE_READONLY);
    WineCheck(Opens("read-only.txt", "w", false, EACCES) && Opens("read-only.txt", "a", false) &&
                  FileReadHead("read-only.txt", head, sizeof head) == 1 && head[0] == '1',
              "a read-only file reads; writing and appending fail and leave it whole");

    const char *chinese = "通訊記錄.txt";
    HANDLE h = CreateFileW(L"通訊記錄.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(h);
    WineCheck(FileKind(chinese) == FILE_REGULAR && Opens(chinese, "r", true),
              "a file is found and opened by its UTF-8 name (通訊記錄.txt)");

    WineCheck(Opens("NUL", "w", false, EINVAL) && Opens("NUL", "r", false),
              "a device name (NUL) is never taken for a file");
    return giWineFailed ? 1 : 0;
}
