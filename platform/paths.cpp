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

#include <cstring>
#include <memory>

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
    return CopyOut(QDir::current().absoluteFilePath(QString::fromUtf8(fileName ? fileName : "")),
                   path, size);
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
