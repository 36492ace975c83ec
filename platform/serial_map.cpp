#include "platform/serial_map.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

const QSerialPort::Parity caParityOfCode[] = {
    QSerialPort::NoParity, QSerialPort::OddParity, QSerialPort::EvenParity,
    QSerialPort::MarkParity, QSerialPort::SpaceParity,
};

struct FixedRange {
    int firstCom;
    int count;
    const char *prefix;
};

const FixedRange caFixedRanges[] = {
    {1, 32, "/dev/ttyS"},
    {33, 64, "/dev/ttyUSB"},
    {97, 32, "/dev/ttyACM"},
};

constexpr int ciMaxCom = 256;

} // namespace

bool ComMapSettings(long baudRate, int parity, int dataBits, int stopBits, ComLineSettings *out)
{
    if (baudRate <= 0 || baudRate > 0x7FFFFFFF || parity < 0 ||
        parity >= static_cast<int>(sizeof caParityOfCode / sizeof caParityOfCode[0]) ||
        dataBits < 5 || dataBits > 8 || (stopBits != 1 && stopBits != 2))
        return false;
    out->dataBits = static_cast<QSerialPort::DataBits>(dataBits);
    out->parity = caParityOfCode[parity];
    out->stopBits = stopBits == 1 ? QSerialPort::OneStop : QSerialPort::TwoStop;
    return true;
}

int ComNumberOfName(const char *name)
{
    if (!name || std::strncmp(name, "COM", 3) != 0)
        return 0;
    const char *digits = name + 3;
    if (*digits < '1' || *digits > '9' || std::strlen(digits) > 3)
        return 0;
    for (const char *c = digits; *c; ++c)
        if (*c < '0' || *c > '9')
            return 0;
    int n = std::atoi(digits);
    return n <= ciMaxCom ? n : 0;
}

bool ComLinkExists(const char *path)
{
#ifndef _WIN32
    struct stat st;
    return lstat(path, &st) == 0;
#else
    (void)path;
    return false;
#endif
}

bool ComResolveName(const char *name, const char *mapDir, ComLinkExistsFn linkExists, char *out,
                    int size)
{
    if (!name || !out || size <= 0)
        return false;
#ifdef _WIN32
    (void)mapDir;
    (void)linkExists;
    return std::snprintf(out, static_cast<size_t>(size), "%s", name) < size;
#else
    if (name[0] == '/')
        return std::snprintf(out, static_cast<size_t>(size), "%s", name) < size;
    int com = ComNumberOfName(name);
    if (com == 0)
        return false;
    if (mapDir && *mapDir) {
        char link[1024];
        std::snprintf(link, sizeof link, "%s/COM%d", mapDir, com);
        if (linkExists(link))
            return std::snprintf(out, static_cast<size_t>(size), "%s", link) < size;
    }
    for (const FixedRange &r : caFixedRanges)
        if (com >= r.firstCom && com < r.firstCom + r.count)
            return std::snprintf(out, static_cast<size_t>(size), "%s%d", r.prefix,
                                 com - r.firstCom) < size;
    return false;
#endif
}
