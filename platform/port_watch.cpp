// Port events turned into one call per burst. The sources only note that
// something changed; a single-shot timer merges what they note, so a USB
// hub full of adapters, or a folder of links rewritten at once, costs one
// search and one more at most every ciPortWatchSpacingMs.
#include "platform/port_watch.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/devices.h"
#include "platform/ui.h"

#ifndef _WIN32
#include <QFileSystemWatcher>
#include <QSocketNotifier>

#include <libudev.h>

#include "platform/serial.h"
#endif

namespace {

PortsChangedPtr gpChanged = nullptr;
void *gpChangedData = nullptr;
QTimer *gpSettle = nullptr;
QElapsedTimer gvSinceCall; // since the last call was posted
bool gbPosted = false;     // a call waits behind a running handler

void RunChanged(void *)
{
    gbPosted = false;
    if (gpChanged)
        gpChanged(gpChangedData);
}

void Post()
{
    gvSinceCall.start();
    if (!gbPosted && PostDeferredCall(RunChanged, nullptr) == 0)
        gbPosted = true;
}

// Something may have changed: the call follows once the burst has settled,
// and never sooner than ciPortWatchSpacingMs after the one before.
void Note()
{
    if (!gpSettle || gpSettle->isActive())
        return;
    qint64 wait = ciPortWatchSettleMs;
    if (gvSinceCall.isValid())
        wait = std::max<qint64>(wait, ciPortWatchSpacingMs - gvSinceCall.elapsed());
    gpSettle->start(static_cast<int>(wait));
}

#ifndef _WIN32

struct udev *gpUdev = nullptr;
struct udev_monitor *gpMonitor = nullptr;
QSocketNotifier *gpUdevNotifier = nullptr;
QFileSystemWatcher *gpFolder = nullptr;

// Every event waiting on the monitor is read, so the notifier stays quiet
// until the next one.
void OnUdev()
{
    bool changed = false;
    while (struct udev_device *d = udev_monitor_receive_device(gpMonitor)) {
        const char *action = udev_device_get_action(d);
        changed = changed || (action && (std::strcmp(action, "add") == 0 ||
                                         std::strcmp(action, "remove") == 0));
        udev_device_unref(d);
    }
    if (changed)
        Note();
}

// Lets go of the udev monitor and its context, whichever of them exists.
void ReleaseUdev()
{
    if (gpMonitor)
        udev_monitor_unref(gpMonitor);
    if (gpUdev)
        udev_unref(gpUdev);
    gpMonitor = nullptr;
    gpUdev = nullptr;
}

// udev's own events (after its rules ran, so the device node and its
// /dev/serial/by-id link exist). False where there is no udev (some
// containers): the port-map folder is then the only source.
bool WatchUdev()
{
    gpUdev = udev_new();
    gpMonitor = gpUdev ? udev_monitor_new_from_netlink(gpUdev, "udev") : nullptr;
    if (!gpMonitor || udev_monitor_filter_add_match_subsystem_devtype(gpMonitor, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(gpMonitor) < 0) {
        ReleaseUdev();
        return false;
    }
    gpUdevNotifier = new QSocketNotifier(udev_monitor_get_fd(gpMonitor), QSocketNotifier::Read, qApp);
    QObject::connect(gpUdevNotifier, &QSocketNotifier::activated, OnUdev);
    return true;
}

QString gsMapFolder;         // as $TOVRA_PORTS_DIR names it, absolute
QStringList gvMapEntries;   // what of it can make a port: see MapEntries

// The port-map folder, or, while it does not exist, the nearest folder
// above it that does, so its creation is seen too.
QString FolderToWatch()
{
    QString dir = gsMapFolder;
    while (!QFileInfo(dir).isDir() && dir != QDir::rootPath())
        dir = QFileInfo(dir).absolutePath();
    return dir;
}

// The entries COM... of the map folder, each with its link's target or, for
// a simulator's mark, the process ID it holds. Other changes in the folder
// (or in the folder above it) are no port events: the program's own files,
// should the map be its working folder, must not start a search that
// writes them again.
QStringList MapEntries()
{
    QDir dir(gsMapFolder);
    QStringList entries;
    const QStringList names = dir.entryList({"COM*"}, QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
                                            QDir::Name);
    for (const QString &name : names) {
        QFileInfo info(dir.filePath(name));
        QString what = info.symLinkTarget();
        if (what.isEmpty()) {
            QFile mark(info.filePath());
            if (info.isFile() && mark.open(QIODevice::ReadOnly))
                what = QString::fromLatin1(mark.read(32));
        }
        entries << name + QLatin1Char('\t') + what;
    }
    return entries;
}

void WatchFolder()
{
    const QString dir = FolderToWatch();
    const QStringList watched = gpFolder->directories();
    if (watched.size() == 1 && watched.front() == dir)
        return;
    if (!watched.isEmpty())
        gpFolder->removePaths(watched);
    gpFolder->addPath(dir);
}

void OnFolder()
{
    WatchFolder(); // the map folder may have been made or removed
    QStringList entries = MapEntries();
    if (entries == gvMapEntries)
        return;
    gvMapEntries = std::move(entries);
    Note();
}

bool WatchSources()
{
    char path[1024];
    ComPortMapDir(path, sizeof path);
    gsMapFolder = QDir::cleanPath(QDir::current().absoluteFilePath(QFile::decodeName(path)));
    gvMapEntries = MapEntries();
    gpFolder = new QFileSystemWatcher(qApp);
    QObject::connect(gpFolder, &QFileSystemWatcher::directoryChanged, OnFolder);
    WatchFolder();
    bool udev = !DevicesPortsOnly() && WatchUdev();
    return udev || !gpFolder->directories().isEmpty();
}

void UnwatchSources()
{
    delete gpUdevNotifier;
    delete gpFolder;
    gpUdevNotifier = nullptr;
    gpFolder = nullptr;
    ReleaseUdev();
}

#else

bool WatchSources()
{
    return WatchPortNotifications(Note) == 0;
}

void UnwatchSources()
{
    UnwatchPortNotifications();
}

#endif

} // namespace

int WatchPorts(PortsChangedPtr fn, void *data)
{
    UnwatchPorts();
    const char *events = std::getenv("TOVRA_PORT_EVENTS");
    if (!QCoreApplication::instance() || (events && std::strcmp(events, "0") == 0))
        return -1;
    gpChanged = fn;
    gpChangedData = data;
    gpSettle = new QTimer(qApp);
    gpSettle->setSingleShot(true);
    QObject::connect(gpSettle, &QTimer::timeout, Post);
    return WatchSources() ? 0 : -1;
}

void UnwatchPorts(void)
{
    UnwatchSources();
    delete gpSettle;
    gpSettle = nullptr;
    gpChanged = nullptr;
    gvSinceCall.invalidate();
}
