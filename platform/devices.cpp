// The list of present devices, and on Linux how it is gathered: Qt
// SerialPort's enumeration (it reads udev or sysfs and leaves out phantom
// UARTs), the links of the port map, and the product names of the other USB
// devices, so the search's filter sees what the operating system has.
#include "platform/devices.h"
#include "platform/files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char *const *gcaDeviceNames = nullptr;
int giDeviceNames = 0;

} // namespace

int DevicesPortsOnly(void)
{
    const char *only = std::getenv("TOVRA_PORTS_ONLY");
    return only && std::strcmp(only, "1") == 0;
}

void SetDeviceListHook(const char *const *names, int count)
{
    gcaDeviceNames = names;
    giDeviceNames = names ? count : 0;
}

int DumpPresentDevices(const char *fileName)
{
    if (!gcaDeviceNames)
        return DumpSystemDevices(fileName);
    FILE *f = FileOpenRegular(fileName, "w");
    if (!f)
        return -1;
    for (int i = 0; i < giDeviceNames; ++i)
        std::fprintf(f, "%s\n", gcaDeviceNames[i]);
    std::fclose(f);
    return 0;
}

#ifndef _WIN32

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <future>
#include <vector>

#include <grp.h>
#include <sys/stat.h>

#include "platform/serial.h"
#include "platform/serial_map.h"
#include "platform/sim_link.h"

namespace {

constexpr const char *caUsbDevices = "/sys/bus/usb/devices";

struct MapLink {
    int com;
    QString device; // canonical path of the link's target
};

struct ListedPort {
    int com;
    QByteArray name;
};

// The links COMn of the port map that lead to a present character device,
// dangling links, links of a simulator that is gone and other entries left
// out.
std::vector<MapLink> PortMapLinks()
{
    char path[1024];
    ComPortMapDir(path, sizeof path);
    QDir dir(QFile::decodeName(path));
    std::vector<MapLink> links;
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        int com = ComNumberOfName(QFile::encodeName(entry).constData());
        QString device = QFileInfo(dir.filePath(entry)).canonicalFilePath();
        struct stat st;
        if (com == 0 || device.isEmpty() ||
            ComSimLinkStale(QFile::encodeName(dir.filePath(entry)).constData()) ||
            stat(QFile::encodeName(device).constData(), &st) != 0 || !S_ISCHR(st.st_mode))
            continue;
        links.push_back({com, device});
    }
    return links;
}

// One port's friendly name from what Qt knows of it (nothing for a link to a
// device Qt does not enumerate, such as a pseudo-terminal).
ListedPort NamePort(int com, const QString &device, const QSerialPortInfo *info)
{
    QByteArray kernel = QFile::encodeName(device);
    if (kernel.startsWith("/dev/"))
        kernel.remove(0, 5);
    QByteArray manufacturer = info ? info->manufacturer().toUtf8() : QByteArray();
    QByteArray description = info ? info->description().toUtf8() : QByteArray();
    int vendor = info && info->hasVendorIdentifier() ? info->vendorIdentifier() : -1;
    DeviceFacts facts = {manufacturer.constData(), description.constData(), kernel.constData(),
                         vendor, com};
    char name[ciFriendlyNameMax + 1];
    DeviceFriendlyName(&facts, name, sizeof name);
    return {com, name};
}

// Qt's enumeration, started early by PrefetchPresentDevices: some 9000
// system calls, the largest part of a search.
std::future<QList<QSerialPortInfo>> gvPrefetch;

QList<QSerialPortInfo> EnumeratedPorts()
{
    if (DevicesPortsOnly())
        return {};
    return gvPrefetch.valid() ? gvPrefetch.get() : QSerialPortInfo::availablePorts();
}

// Serial ports by COM number, those without one last. A link
// wins: the device it leads to is not listed again under its fixed number.
std::vector<ListedPort> SerialPorts()
{
    const QList<QSerialPortInfo> ports = EnumeratedPorts();
    std::vector<QString> canonical;
    for (const QSerialPortInfo &p : ports)
        canonical.push_back(QFileInfo(p.systemLocation()).canonicalFilePath());

    std::vector<ListedPort> listed;
    const std::vector<MapLink> links = PortMapLinks();
    for (const MapLink &link : links) {
        auto it = std::find(canonical.begin(), canonical.end(), link.device);
        listed.push_back(NamePort(link.com, link.device,
                                  it == canonical.end() ? nullptr : &ports[it - canonical.begin()]));
    }
    for (size_t i = 0; i < canonical.size(); ++i) {
        bool linked = std::any_of(links.begin(), links.end(),
                                  [&](const MapLink &l) { return l.device == canonical[i]; });
        if (!linked) {
            const QString &device = ports[i].systemLocation();
            listed.push_back(NamePort(ComNumberOfDevice(QFile::encodeName(device).constData()),
                                      device, &ports[i]));
        }
    }
    auto order = [](const ListedPort &p) { return p.com == 0 ? INT_MAX : p.com; };
    std::stable_sort(listed.begin(), listed.end(),
                     [&](const ListedPort &a, const ListedPort &b) { return order(a) < order(b); });
    return listed;
}

// The product name of every USB device that has one, in sysfs order.
void WriteUsbProducts(FILE *f)
{
    if (DevicesPortsOnly())
        return;
    QDir usb(caUsbDevices);
    const QStringList entries = usb.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &entry : entries) {
        QFile file(usb.filePath(entry) + "/product");
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QByteArray product = file.readLine(1024).trimmed();
        if (product.isEmpty())
            continue;
        DeviceFacts facts = {"", product.constData(), "", -1, 0};
        char name[ciFriendlyNameMax + 1];
        DeviceFriendlyName(&facts, name, sizeof name);
        std::fprintf(f, "%s\n", name);
    }
}

} // namespace

int PrefetchPresentDevices(void)
{
    if (!gvPrefetch.valid() && !DevicesPortsOnly())
        gvPrefetch = std::async(std::launch::async, QSerialPortInfo::availablePorts);
    return 0;
}

int DumpSystemDevices(const char *fileName)
{
    FILE *f = FileOpenRegular(fileName, "w");
    if (!f)
        return -1;
    for (const ListedPort &port : SerialPorts())
        std::fprintf(f, "%s\n", port.name.constData());
    WriteUsbProducts(f);
    std::fclose(f);
    return 0;
}

#endif

// A Windows port refuses only the program that holds it, so no group helps there.
int DeviceAccessGroup(const char *comName, char *groupName, int size)
{
    if (size <= 0)
        return -1;
    groupName[0] = '\0';
#ifndef _WIN32
    char path[1024];
    struct stat st;
    if (ComDevicePath(comName, path, sizeof path) != 0 || stat(path, &st) != 0)
        return -1;
    const struct group *g =
        (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP) ? getgrgid(st.st_gid) : nullptr;
    if (g)
        std::snprintf(groupName, static_cast<size_t>(size), "%s", g->gr_name);
#else
    (void)comName;
#endif
    return 0;
}
