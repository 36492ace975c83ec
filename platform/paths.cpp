// Paths and folders over Qt Core: paths beside the executable and in the
// current folder, scratch folders, the lock file, and copying texts out into
// bounded buffers.
#include "platform/copy_out.h"
#include "platform/files.h"
#include "platform/ui.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <memory>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace ui_internal {

int CopyOut(const QString &text, char *out, size_t size)
{
    if (!out || size == 0)
        return UIE_TOO_LONG;
    QByteArray utf8 = text.toUtf8();
    if (static_cast<size_t>(utf8.size()) >= size) {
        out[0] = '\0';
        return UIE_TOO_LONG;
    }
    std::memcpy(out, utf8.constData(), static_cast<size_t>(utf8.size()) + 1);
    return 0;
}

} // namespace ui_internal

using ui_internal::CopyOut;

int GetFullPathFromProject(const char *fileName, char *path, size_t size)
{
    QString dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                               : QDir::currentPath();
    return CopyOut(QDir::cleanPath(dir + "/" + QString::fromUtf8(fileName ? fileName : "")), path,
                   size);
}

int GetFullPathFromCurrentDir(const char *fileName, char *path, size_t size)
{
#ifndef _WIN32
    // Byte for byte: a file name need not be UTF-8, and a Unicode round trip
    // would name another file.
    if (!path || size == 0)
        return UIE_TOO_LONG;
    const char *name = fileName ? fileName : "";
    char here[4096] = "";
    if (name[0] != '/' && !getcwd(here, sizeof here))
        return UIE_FILE_NOT_FOUND;
    int n = name[0] == '/' ? std::snprintf(path, size, "%s", name)
                           : std::snprintf(path, size, "%s%s%s", here, here[1] && *name ? "/" : "", name);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        path[0] = '\0';
        return UIE_TOO_LONG;
    }
    return 0;
#else
    return CopyOut(QDir::current().absoluteFilePath(QString::fromUtf8(fileName ? fileName : "")),
                   path, size);
#endif
}

int FileMakeTempDir(char *path, size_t size)
{
    QTemporaryDir dir(QDir::tempPath() + "/tovra-XXXXXX");
    if (!dir.isValid())
        return -1;
    if (CopyOut(dir.path(), path, size) != 0)
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
#ifndef _WIN32
    // Byte for byte: a folder name need not be UTF-8.
    return path && *path && chdir(path) == 0 ? 0 : -1;
#else
    return path && *path && QDir::setCurrent(QString::fromUtf8(path)) ? 0 : -1;
#endif
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
