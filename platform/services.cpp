// The services every program needs, with a window or without: starting a
// program, paths beside the executable and in the current folder, the text
// viewer, and copying texts out into bounded buffers.
#include "platform/copy_out.h"
#include "platform/ui.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include <cstdio>
#include <cstring>
#include <string>

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

int LaunchExecutable(int argc, const char *const argv[])
{
    if (argc < 1 || !argv || !argv[0] || !*argv[0])
        return UIE_BAD_INDEX;
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return QProcess::startDetached(QString::fromLocal8Bit(argv[0]), args) ? 0 : UIE_FILE_NOT_FOUND;
}

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

const char *TextViewerProgram(void)
{
    static std::string viewer;
    viewer = qEnvironmentVariable("TOVRA_VIEWER").toStdString();
    if (!viewer.empty())
        return viewer.c_str();
#ifdef _WIN32
    return "notepad2.exe";
#else
    return "xdg-open";
#endif
}
