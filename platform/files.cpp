// Opening the program's files by name: the operating system only (no Qt), so
// the Windows branch also runs in the Windows checks, which have no Qt.
#include "platform/files.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>

#ifndef _WIN32
#include <csignal>

#include <sys/stat.h>
#include <unistd.h>
#else
#include <io.h>
#include <windows.h>

#include "platform/win_text.h"
#endif

namespace {

// The modes FileOpenRegular takes; "b" means nothing on POSIX.
struct Mode {
    const char *text;
    int flags;
};

const Mode caModes[] = {
    {"r", O_RDONLY},  {"rb", O_RDONLY},  {"w", O_WRONLY | O_CREAT | O_TRUNC},
    {"wb", O_WRONLY | O_CREAT | O_TRUNC}, {"a", O_WRONLY | O_CREAT | O_APPEND},
    {"ab", O_WRONLY | O_CREAT | O_APPEND},
};

int OpenFlags(const char *mode)
{
    for (const Mode &m : caModes)
        if (mode && std::strcmp(mode, m.text) == 0)
            return m.flags;
    return -1;
}

} // namespace

#ifndef _WIN32

int FileKind(const char *path)
{
    struct stat st;
    if (stat(path, &st) != 0)
        return FILE_MISSING;
    return S_ISREG(st.st_mode) ? FILE_REGULAR : FILE_OTHER;
}

FILE *FileOpenRegular(const char *path, const char *mode)
{
    int flags = OpenFlags(mode);
    if (flags < 0)
        return nullptr;
    struct stat st;
    if (stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
        // Never opened: opening a FIFO blocks, a device may react.
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return nullptr;
    }
    // O_NONBLOCK: should a FIFO appear between the check and the open, the
    // open does not wait for a writer; fstat then refuses it.
    int fd = open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = EINVAL;
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE *f = fdopen(fd, mode);
    if (!f)
        close(fd);
    return f;
}

FILE *FileOpenAppendAny(const char *path, int *kind)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        int error = errno;
        if (fd >= 0)
            close(fd);
        errno = error;
        return nullptr;
    }
    *kind = S_ISREG(st.st_mode) ? FILE_REGULAR : FILE_OTHER;
    if (*kind == FILE_REGULAR)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    else
        signal(SIGPIPE, SIG_IGN);
    FILE *f = fdopen(fd, "a");
    if (!f) {
        close(fd);
        return nullptr;
    }
    std::setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

int FileIsTerminal(FILE *f)
{
    return f && isatty(fileno(f));
}

#else

// Names are UTF-8 and go to the wide API, whatever the system's code page.
int FileKind(const char *path)
{
    DWORD attributes = GetFileAttributesW(WinWideOfUtf8(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FILE_MISSING;
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? FILE_OTHER : FILE_REGULAR;
}

// A folder is refused before the open; a device name (NUL, CON, COM1) after
// it, by the type of the handle: only a disk file is a file.
FILE *FileOpenRegular(const char *path, const char *mode)
{
    if (OpenFlags(mode) < 0)
        return nullptr;
    if (FileKind(path) == FILE_OTHER) {
        errno = EISDIR;
        return nullptr;
    }
    FILE *f = _wfopen(WinWideOfUtf8(path).c_str(), WinWideOfUtf8(mode).c_str());
    if (f && GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)))) != FILE_TYPE_DISK) {
        std::fclose(f);
        errno = EINVAL;
        return nullptr;
    }
    return f;
}

// Windows has no FIFO to wait for; a device (NUL, CON) is a special file.
FILE *FileOpenAppendAny(const char *path, int *kind)
{
    FILE *f = _wfopen(WinWideOfUtf8(path).c_str(), L"a");
    if (!f)
        return nullptr;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    *kind = GetFileType(handle) == FILE_TYPE_DISK ? FILE_REGULAR : FILE_OTHER;
    std::setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

int FileIsTerminal(FILE *f)
{
    return f && _isatty(_fileno(f));
}

#endif

int FileReadHead(const char *path, char *text, size_t size)
{
    FILE *f = FileOpenRegular(path, "r");
    if (!f || size == 0) {
        if (f)
            std::fclose(f);
        return -1;
    }
    size_t n = std::fread(text, 1, size - 1, f);
    std::fclose(f);
    text[n] = '\0';
    return static_cast<int>(n);
}
