#include "platform/serial_map.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef _WIN32
#include <sys/stat.h>

#include "platform/sim_link.h"
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

// What stands in for a port that reports neither manufacturer nor
// description, by its kernel name; the last entry matches every name.
struct PortKind {
    const char *prefix;
    const char *name;
};

const PortKind caPortKinds[] = {
    {"ttyS", "Communications Port"},
    {"pts/", "Virtual serial port"},
    {"ttyUSB", "USB Serial Port"},
    {"ttyACM", "USB Serial Device"},
    {"", "Serial Port"},
};

constexpr int ciVendorProlific = 0x067b;
constexpr int ciKernelNameMax = 32;

// What a part's character becomes: control characters spaces, parentheses
// brackets, since the COM number is read from the first "(" that leads on to
// C, O, M: a vendor's "(C)" ahead of it would hide the port's own "(COMn)".
char PartChar(unsigned char c)
{
    if (c < 0x20 || c == 0x7F)
        return ' ';
    return c == '(' ? '[' : c == ')' ? ']' : static_cast<char>(c);
}

// Joins the non-empty parts with single spaces into out, at most `limit`
// bytes, each character as PartChar makes it. A part cut inside a UTF-8
// sequence loses the whole sequence.
int JoinParts(const char *const *parts, int count, char *out, int limit)
{
    int len = 0;
    for (int i = 0; i < count; ++i) {
        const char *p = parts[i];
        if (!p || !*p)
            continue;
        if (len > 0 && len < limit)
            out[len++] = ' ';
        for (; *p && len < limit; ++p)
            out[len++] = PartChar(static_cast<unsigned char>(*p));
        if ((static_cast<unsigned char>(*p) & 0xC0) == 0x80) {
            while (len > 0 && (static_cast<unsigned char>(out[len - 1]) & 0xC0) == 0x80)
                --len;
            if (len > 0)
                --len; // the sequence's lead byte
        }
    }
    out[len] = '\0';
    return len;
}

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

ComLink ComLinkState(const char *path)
{
#ifndef _WIN32
    struct stat st;
    if (lstat(path, &st) != 0)
        return ciComLinkNone;
    return ComSimLinkStale(path) ? ciComLinkStale : ciComLinkLive;
#else
    (void)path;
    return ciComLinkNone;
#endif
}

bool ComResolveName(const char *name, const char *mapDir, ComLinkStateFn linkState, char *out,
                    int size)
{
    if (!name || !out || size <= 0)
        return false;
#ifdef _WIN32
    (void)mapDir;
    (void)linkState;
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
        switch (linkState(link)) {
        case ciComLinkLive:
            return std::snprintf(out, static_cast<size_t>(size), "%s", link) < size;
        case ciComLinkStale:
            return false;
        case ciComLinkNone:
            break;
        }
    }
    for (const FixedRange &r : caFixedRanges)
        if (com >= r.firstCom && com < r.firstCom + r.count)
            return std::snprintf(out, static_cast<size_t>(size), "%s%d", r.prefix,
                                 com - r.firstCom) < size;
    return false;
#endif
}

int ComNumberOfDevice(const char *path)
{
    if (!path)
        return 0;
    for (const FixedRange &r : caFixedRanges) {
        size_t n = std::strlen(r.prefix);
        const char *digits = path + n;
        // Kernel names carry no leading zeros: ttyUSB01 is no ttyUSB1.
        if (std::strncmp(path, r.prefix, n) != 0 || *digits < '0' || *digits > '9' ||
            (digits[0] == '0' && digits[1] != '\0'))
            continue;
        char *end = nullptr;
        long index = std::strtol(digits, &end, 10);
        if (*end == '\0' && index < r.count)
            return r.firstCom + static_cast<int>(index);
    }
    return 0;
}

int DeviceFriendlyName(const DeviceFacts *device, char *out, int size)
{
    if (!device || !out || size <= 0)
        return 0;
    const char *kernel = device->kernelName ? device->kernelName : "";
    char tail[64] = "";
    int tailLen = 0;
    if (*kernel)
        tailLen = std::snprintf(tail, sizeof tail, " [%.*s]", ciKernelNameMax, kernel);
    if (device->com > 0)
        tailLen += std::snprintf(tail + tailLen, sizeof tail - static_cast<size_t>(tailLen),
                                 " (COM%d)", device->com);

    const char *description = device->description;
    if ((!device->manufacturer || !*device->manufacturer) && (!description || !*description))
        for (const PortKind &k : caPortKinds)
            if (std::strncmp(kernel, k.prefix, std::strlen(k.prefix)) == 0) {
                description = k.name;
                break;
            }
    char head[ciFriendlyNameMax + 1];
    const char *parts[] = {"Prolific", device->manufacturer, description};
    int limit = ciFriendlyNameMax - tailLen;
    JoinParts(parts + 1, 2, head, limit);
    if (device->vendorId == ciVendorProlific && !std::strstr(head, "Prolific"))
        JoinParts(parts, 3, head, limit);
    int len = std::snprintf(out, static_cast<size_t>(size), "%s%s", head, tail);
    return len < size ? len : size - 1;
}
