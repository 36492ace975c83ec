// Serial port services over Qt SerialPort.
//
// Each logical port number owns one QSerialPort. Without an event loop the
// port is driven with waitForReadyRead/waitForBytesWritten against a
// deadline, so a read returns as soon as its count is in.
#include "platform/serial.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSerialPort>
#include <QStandardPaths>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#ifndef _WIN32
#include <cerrno>
#include <climits>
#include <csignal>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <linux/serial.h>
#endif

#include "platform/serial_map.h"
#include "platform/ui.h"

namespace {

struct ComError {
    int code;
    const char *text;
};

const ComError caComErrors[] = {
    {kComErrAbsent, "serial device absent"},
    {kComErrNotMapped, "COM name not mapped to a device"},
    {kComErrPermission, "permission denied (join group dialout)"},
    {kComErrBusy, "serial device busy: another program holds it"},
    {kComErrSettings, "line settings refused"},
    {kComErrIo, "serial input/output error"},
    {kComErrNotOpen, "serial port not open"},
    {kComErrBadArg, "invalid port number or argument"},
    {kComErrLost, "the device was disconnected"},
    {kComErrNoRS485, "the driver has no RS-485 mode"},
};

constexpr int ciMaxLogicalPort = 1000;
constexpr double cfDefaultTimeLimit = 10.0;
// What the port keeps of the line between exchanges. A reply is at most 257
// bytes; a chatty line must not grow memory while the port is idle.
constexpr qint64 ciReadBufferBytes = 4096;

using Clock = std::chrono::steady_clock;

struct LogicalPort {
    std::unique_ptr<QSerialPort> serial;
    int timeLimitMs = static_cast<int>(cfDefaultTimeLimit * 1000);
    std::string name; // as opened: "COM5"
    bool lost = false;
    long baud = 0;
    int parity = 0, dataBits = 0, stopBits = 0;
    // When bytes last came in; nothing heard yet counts as quiet for ever.
    Clock::time_point lastByte = Clock::time_point::min();
};

std::map<int, LogicalPort> gaPorts;
ComLostCallbackPtr gpLostCallback = nullptr;

// QSerialPort needs an application object; the window creates a QApplication
// first, tools without a window get a plain one here.
void EnsureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "tovra";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

LogicalPort *FindOpen(int port)
{
    auto it = gaPorts.find(port);
    return it == gaPorts.end() ? nullptr : &it->second;
}

// Why an open failed, from Qt's error and the device's access rights.
int OpenFailureCode(QSerialPort::SerialPortError error, const QString &path)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return kComErrAbsent;
    case QSerialPort::OpenError:
        return kComErrBusy;
    case QSerialPort::UnsupportedOperationError:
        return kComErrSettings;
    case QSerialPort::PermissionError:
#ifndef _WIN32
        // Qt reports a held lock file as a permission error too.
        return access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0 ? kComErrBusy
                                                                              : kComErrPermission;
#else
        (void)path;
        return kComErrBusy;
#endif
    default:
        return kComErrIo;
    }
}

// A read or write error with the line hung up: the other end is gone. A
// pseudo-terminal whose master closed reads 0 bytes forever, and Qt reports
// each as a read error; a pulled USB adapter fails with EIO.
bool HungUp(QSerialPort &s, QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::ResourceError)
        return true;
    if (error != QSerialPort::ReadError && error != QSerialPort::WriteError)
        return false;
#ifndef _WIN32
    pollfd fd = {static_cast<int>(s.handle()), POLLIN, 0};
    return poll(&fd, 1, 0) == 1 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL));
#else
    (void)s;
    return false;
#endif
}

struct LostNote {
    int port;
    std::string name;
};

void ReportLost(void *data)
{
    std::unique_ptr<LostNote> note(static_cast<LostNote *>(data));
    if (gpLostCallback)
        gpLostCallback(note->port, note->name.c_str(), kComErrLost);
}

// The first hang-up closes the port, which stops Qt's read notifier from
// firing again and again, and tells the program once. The close waits for
// the event loop: the port may be inside one of its own signals here.
void OnPortError(int port, QSerialPort *serial, QSerialPort::SerialPortError error)
{
    LogicalPort *p = FindOpen(port);
    if (!p || p->serial.get() != serial || p->lost || !HungUp(*serial, error))
        return;
    p->lost = true;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [port, serial] {
            LogicalPort *p = FindOpen(port);
            if (!p || p->serial.get() != serial)
                return; // closed or reopened meanwhile
            auto *note = new LostNote{port, p->name};
            CloseCom(port);
            if (PostDeferredCall(ReportLost, note) < 0)
                ReportLost(note);
        },
        Qt::QueuedConnection);
}

// The open port of a read or write with a usable buffer, or the code why not.
int FindForTransfer(int port, const void *buffer, int count, LogicalPort **p)
{
    *p = FindOpen(port);
    if (!*p)
        return kComErrNotOpen;
    return !buffer || count < 0 ? kComErrBadArg : 0;
}

// Waits while `pending` holds and the time limit lasts; false on a port
// error (running out of time is no error: the caller counts what came).
template <class Pending, class Wait>
bool WaitWhile(QSerialPort &s, int timeLimitMs, Pending pending, Wait wait)
{
    QDeadlineTimer deadline(timeLimitMs);
    while (pending() && !deadline.hasExpired()) {
        if (!wait(static_cast<int>(deadline.remainingTime()))) {
            if (s.error() != QSerialPort::TimeoutError && s.error() != QSerialPort::NoError)
                return false;
            s.clearError();
        }
    }
    return true;
}

} // namespace

int ComPortMapDir(char *path, int size)
{
    if (!path || size <= 0)
        return kComErrBadArg;
    // The variable's bytes as they are: a folder name need not be UTF-8.
    QByteArray dir = qgetenv("TOVRA_PORTS_DIR");
    if (dir.isEmpty())
        dir = QFile::encodeName(QDir::homePath() + "/.config/tovra/ports");
    std::snprintf(path, static_cast<size_t>(size), "%s", dir.constData());
    return 0;
}

int ComPortMapDirPin(void)
{
    QByteArray dir = qgetenv("TOVRA_PORTS_DIR");
    if (dir.isEmpty() || QDir::isAbsolutePath(QFile::decodeName(dir)))
        return 0;
    char path[4096];
    if (GetFullPathFromCurrentDir(dir.constData(), path, sizeof path) != 0)
        return -1;
    return qputenv("TOVRA_PORTS_DIR", QByteArray(path)) ? 0 : -1;
}

int ComDevicePath(const char *deviceName, char *path, int size)
{
    if (!deviceName || !path || size <= 0)
        return kComErrBadArg;
    char mapDir[1024];
    ComPortMapDir(mapDir, sizeof mapDir);
    char resolved[1024];
    if (!ComResolveName(deviceName, mapDir, ComLinkState, resolved, sizeof resolved))
        return kComErrNotMapped;
    if (std::snprintf(path, static_cast<size_t>(size), "%s", resolved) >= size)
        return kComErrBadArg;
    return 0;
}

namespace {

constexpr int ciRealPathSize = 4096;

// The device file a port name stands for. On Linux it is the device itself,
// links resolved, so that every name of one device shares one lock;
// realpath() takes the name byte for byte, which Qt's file names, held as
// Unicode, cannot do for a name that is not UTF-8.
int RealDevicePath(const char *deviceName, char (&real)[ciRealPathSize])
{
    char device[1024];
    int r = ComDevicePath(deviceName, device, sizeof device);
    if (r < 0)
        return r;
#ifndef _WIN32
    static_assert(ciRealPathSize >= PATH_MAX);
    if (!realpath(device, real))
        return kComErrAbsent;
#else
    std::snprintf(real, sizeof real, "%s", device);
#endif
    return 0;
}

} // namespace

int ComNumberOfPath(const char *path)
{
#ifndef _WIN32
    char device[ciRealPathSize];
    if (!path || !realpath(path, device))
        return 0;
    for (int com = 1; com <= 256; ++com) {
        char name[16];
        char real[ciRealPathSize];
        std::snprintf(name, sizeof name, "COM%d", com);
        if (RealDevicePath(name, real) == 0 && std::strcmp(real, device) == 0)
            return com;
    }
#else
    (void)path;
#endif
    return 0;
}

int OpenComConfig(int port, const char *deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize)
{
    (void)inputQueueSize; // Qt sizes its own buffers; the driver keeps its queues
    (void)outputQueueSize;
    if (port < 1 || port > ciMaxLogicalPort || !deviceName)
        return kComErrBadArg;
    EnsureApplication();
    CloseCom(port);

    ComLineSettings settings;
    if (!ComMapSettings(baudRate, parity, dataBits, stopBits, &settings))
        return kComErrSettings;

    char real[ciRealPathSize];
    int r = RealDevicePath(deviceName, real);
    if (r < 0)
        return r;
    QString systemPath = QFile::decodeName(real);

    auto serial = std::make_unique<QSerialPort>();
    serial->setPortName(systemPath);
    // Settings go on before open(): some drivers refuse them on an open port.
    bool ok = serial->setBaudRate(static_cast<qint32>(baudRate)) &&
              serial->setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits)) &&
              serial->setParity(static_cast<QSerialPort::Parity>(settings.parity)) &&
              serial->setStopBits(static_cast<QSerialPort::StopBits>(settings.stopBits)) &&
              serial->setFlowControl(QSerialPort::NoFlowControl);
    if (!ok)
        return kComErrSettings;
    if (!serial->open(QIODevice::ReadWrite))
        return OpenFailureCode(serial->error(), systemPath);
    serial->setReadBufferSize(ciReadBufferBytes);
    QSerialPort *raw = serial.get();
    QObject::connect(raw, &QSerialPort::errorOccurred,
                     [port, raw](QSerialPort::SerialPortError e) { OnPortError(port, raw, e); });
    // Qt takes bytes in from the event loop and from every wait: either way
    // the moment is the last byte's, for the silence before a request.
    QObject::connect(raw, &QSerialPort::readyRead, [port, raw] {
        LogicalPort *p = FindOpen(port);
        if (p && p->serial.get() == raw)
            p->lastByte = Clock::now();
    });

    LogicalPort &p = gaPorts[port];
    p.serial = std::move(serial);
    p.timeLimitMs = static_cast<int>(cfDefaultTimeLimit * 1000);
    p.name = deviceName;
    p.lost = false;
    p.baud = baudRate;
    p.parity = parity;
    p.dataBits = dataBits;
    p.stopBits = stopBits;
    p.lastByte = Clock::time_point::min();
    return 0;
}

int OpenCom(int port, const char *deviceName)
{
    return OpenComConfig(port, deviceName, 9600, kParityNone, 8, 1, 0, 0);
}

#ifndef _WIN32
namespace {

// The folders where Qt SerialPort (and other programs of the uucp
// convention) put the lock file LCK..<device> of a port they hold open.
const char *const caLockDirs[] = {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
                                  "/tmp", "/var/tmp", "/var/lock/lockdev", "/run/lock"};

// Whether a live process other than this one holds a lock file for the
// device at `real` ("/dev/pts/3": LCK..pts_3).
bool LockedByOther(const char *real)
{
    QString name = QFile::decodeName(real);
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name = QLatin1String("/LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
    QStringList dirs;
    for (const char *dir : caLockDirs)
        dirs << QLatin1String(dir);
    dirs << QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    for (const QString &dir : dirs) {
        QLockFile lock(dir + name);
        qint64 pid = 0;
        QString host, app;
        if (lock.getLockInfo(&pid, &host, &app) && pid > 0 && pid != getpid() &&
            (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM))
            return true;
    }
    return false;
}

} // namespace
#endif

int ComCheckFree(const char *deviceName)
{
    char real[ciRealPathSize];
    int r = RealDevicePath(deviceName, real);
    if (r < 0)
        return r;
#ifndef _WIN32
    if (access(real, R_OK | W_OK) != 0)
        return errno == EACCES || errno == EPERM ? kComErrPermission : kComErrAbsent;
    return LockedByOther(real) ? kComErrBusy : 0;
#else
    return 0;
#endif
}

int CloseCom(int port)
{
    auto it = gaPorts.find(port);
    if (it == gaPorts.end())
        return 0;
    it->second.serial->close();
    gaPorts.erase(it);
    return 0;
}

int GetComTime(int port, double *seconds)
{
    LogicalPort *p = FindOpen(port);
    if (!p || !seconds)
        return kComErrNotOpen;
    *seconds = p->timeLimitMs / 1000.0;
    return 0;
}

int SetComTime(int port, double seconds)
{
    LogicalPort *p = FindOpen(port);
    if (!p)
        return kComErrNotOpen;
    if (!(seconds >= 0.0) || seconds > 3600.0)
        return kComErrBadArg;
    p->timeLimitMs = static_cast<int>(seconds * 1000.0 + 0.5);
    return 0;
}

static int Flush(int port, QSerialPort::Direction direction)
{
    LogicalPort *p = FindOpen(port);
    if (!p)
        return kComErrNotOpen;
    return p->serial->clear(direction) ? 0 : kComErrIo;
}

int FlushInQ(int port)
{
    return Flush(port, QSerialPort::Input);
}

int GetInQLen(int port)
{
    LogicalPort *p = FindOpen(port);
    if (!p)
        return kComErrNotOpen;
    p->serial->waitForReadyRead(0); // takes in what the driver holds already
    return static_cast<int>(p->serial->bytesAvailable());
}

int GetComLine(int port, long *baudRate, int *parity, int *dataBits, int *stopBits)
{
    LogicalPort *p = FindOpen(port);
    if (!p)
        return kComErrNotOpen;
    *baudRate = p->baud;
    *parity = p->parity;
    *dataBits = p->dataBits;
    *stopBits = p->stopBits;
    return 0;
}

double ComSinceLastByte(int port)
{
    LogicalPort *p = FindOpen(port);
    if (!p)
        return kComErrNotOpen;
    p->serial->waitForReadyRead(0);
    if (p->lastByte == Clock::time_point::min())
        return 3600.0;
    return std::chrono::duration<double>(Clock::now() - p->lastByte).count();
}

int FlushOutQ(int port)
{
    return Flush(port, QSerialPort::Output);
}

int ComWrt(int port, const char *buffer, int count)
{
    LogicalPort *p = nullptr;
    if (int r = FindForTransfer(port, buffer, count, &p); r < 0)
        return r;
    QSerialPort &s = *p->serial;
    if (s.write(buffer, count) < 0)
        return kComErrIo;
    if (!WaitWhile(s, p->timeLimitMs, [&] { return s.bytesToWrite() > 0; },
                   [&](int ms) { return s.waitForBytesWritten(ms); }))
        return kComErrIo;
    return count - static_cast<int>(s.bytesToWrite());
}

static int Read(LogicalPort *p, char *buffer, int count, int timeLimitMs)
{
    QSerialPort &s = *p->serial;
    if (!WaitWhile(s, timeLimitMs, [&] { return s.bytesAvailable() < count; },
                   [&](int ms) { return s.waitForReadyRead(ms); }))
        return kComErrIo;
    qint64 n = s.read(buffer, qMin<qint64>(count, s.bytesAvailable()));
    return n < 0 ? kComErrIo : static_cast<int>(n);
}

int ComRd(int port, char *buffer, int count)
{
    LogicalPort *p = nullptr;
    if (int r = FindForTransfer(port, buffer, count, &p); r < 0)
        return r;
    return Read(p, buffer, count, p->timeLimitMs);
}

int ComRdWithin(int port, char *buffer, int count, double seconds)
{
    LogicalPort *p = nullptr;
    if (int r = FindForTransfer(port, buffer, count, &p); r < 0)
        return r;
    if (!(seconds >= 0.0) || seconds > 3600.0)
        return kComErrBadArg;
    return Read(p, buffer, count, static_cast<int>(seconds * 1000.0 + 0.5));
}

int ComSetRS485(int port, int on)
{
    LogicalPort *p = FindOpen(port);
    if (!p)
        return kComErrNotOpen;
#ifdef __linux__
    // RTS drives the transceiver: high while the request goes out, low at
    // once after it, so the device's reply is heard.
    struct serial_rs485 rs485 = {};
    rs485.flags = on ? SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND : 0;
    return ioctl(static_cast<int>(p->serial->handle()), TIOCSRS485, &rs485) == 0 ? 0
                                                                                : kComErrNoRS485;
#else
    (void)on;
    return kComErrNoRS485;
#endif
}

void SetComLostCallback(ComLostCallbackPtr fn)
{
    gpLostCallback = fn;
}

const char *GetRS232ErrorString(int code)
{
    for (const ComError &e : caComErrors)
        if (e.code == code)
            return e.text;
    return code >= 0 ? "no error" : "unknown serial error";
}
