#include "platform/files.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/copy_out.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

int FileKind(const char *path)
{
#ifndef _WIN32
    struct stat st;
    if (stat(path, &st) != 0)
        return FILE_MISSING;
    return S_ISREG(st.st_mode) ? FILE_REGULAR : FILE_OTHER;
#else
    FILE *f = std::fopen(path, "r");
    if (!f)
        return FILE_MISSING;
    std::fclose(f);
    return FILE_REGULAR;
#endif
}

FILE *FileOpenRegular(const char *path, const char *mode)
{
#ifndef _WIN32
    // "b" means nothing on POSIX.
    struct Mode {
        const char *text;
        int flags;
    } const caModes[] = {
        {"r", O_RDONLY},  {"rb", O_RDONLY},  {"w", O_WRONLY | O_CREAT | O_TRUNC},
        {"wb", O_WRONLY | O_CREAT | O_TRUNC}, {"a", O_WRONLY | O_CREAT | O_APPEND},
        {"ab", O_WRONLY | O_CREAT | O_APPEND},
    };
    int flags = -1;
    for (const Mode &m : caModes)
        if (std::strcmp(mode, m.text) == 0)
            flags = m.flags;
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
#else
    return std::fopen(path, mode);
#endif
}

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

int FileMakeTempDir(char *path, size_t size)
{
    QTemporaryDir dir(QDir::tempPath() + "/tovra-XXXXXX");
    if (!dir.isValid())
        return -1;
    if (ui_internal::CopyOut(dir.path(), path, size) != 0)
        return -1;
    dir.setAutoRemove(false);
    return 0;
}

int FileRemoveDir(const char *path)
{
    return path && *path && QDir(QString::fromUtf8(path)).removeRecursively() ? 0 : -1;
}

int FileChangeDir(const char *path)
{
    return path && *path && QDir::setCurrent(QString::fromUtf8(path)) ? 0 : -1;
}

int FileHoldLock(const char *path)
{
    static std::unique_ptr<QLockFile> held;
    if (!path || !*path)
        return FILE_LOCK_NONE;
    QString name = QFileInfo(QString::fromUtf8(path)).absoluteFilePath();
    if (held && held->fileName() == name)
        return 0;
    auto lock = std::make_unique<QLockFile>(name);
    lock->setStaleLockTime(0); // held as long as its program runs, however long
    if (!lock->tryLock(0))
        return lock->error() == QLockFile::LockFailedError ? FILE_LOCK_TAKEN : FILE_LOCK_NONE;
    held = std::move(lock);
    return 0;
}

int FileIsTerminal(FILE *f)
{
#ifndef _WIN32
    return f && isatty(fileno(f));
#else
    return 0;
#endif
}
