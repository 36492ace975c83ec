// The device's registers, its EEPROM (the state file) and the faults that
// can be injected into its replies. Pure functions over values and bytes,
// apart from the state file.
#include "devsim.h"

#include <charconv>
#include <cstdio>
#include <fstream>

#include "app/device_baud.h"

namespace {

constexpr int caDev_REGISTERS[] = {ciDev_REG_IDENT, ciDev_REG_BR1, ciDev_REG_BR2};
constexpr int caDev_WRITABLE[] = {ciDev_REG_BR1, ciDev_REG_BR2};

template <size_t N> bool fn_in(const int (&table)[N], int value)
{
    for (int entry : table)
        if (entry == value)
            return true;
    return false;
}

struct FaultName {
    const char *name;
    FaultKind kind;
    bool argRequired;
    bool argAllowed;
    int argMin;
    int argMax;
};

// exception codes are those libmodbus can answer with (1..11)
constexpr FaultName caFAULT_NAMES[] = {
    {"no-reply", FaultKind::NoReply, false, false, 0, 0},
    {"bad-crc", FaultKind::BadCrc, false, false, 0, 0},
    {"short", FaultKind::Short, false, true, 1, 255},
    {"exception", FaultKind::Exception, true, true, 1, 11},
    {"delay", FaultKind::Delay, true, true, 0, 60000},
    {"ignore", FaultKind::Ignore, false, false, 0, 0},
};

} // namespace

bool mf_Dev_Registers__exist(int start, int count)
{
    for (int a = start; a < start + count; a++)
        if (!fn_in(caDev_REGISTERS, a))
            return false;
    return count > 0;
}

int mf_Dev_Request__exception(const uint8_t *request, int length)
{
    int fc = request[1];
    if (fc < 3 || fc > 6 || length < 6)
        return 1; // illegal function
    int address = request[2] << 8 | request[3];
    int value = request[4] << 8 | request[5];
    switch (fc) {
    case 3:
    case 4:
        // a quantity outside 1..125 is left to libmodbus, which answers 3
        return value >= 1 && value <= 125 && !mf_Dev_Registers__exist(address, value) ? 2 : 0;
    case 5:
        return address == ciDev_COIL_EEPROM ? 0 : 2;
    default: // 6: only the baud-rate settings are writable, and only with a table item
        if (!fn_in(caDev_WRITABLE, address))
            return 2;
        return value < ciBR_dev_count ? 0 : 3;
    }
}

long mf_Dev_BR__baud(int value)
{
    return value >= 0 && value < ciBR_dev_count ? caBR_dev[value] : 0;
}

std::string mf_Dev_BR__text(int value)
{
    long baud = mf_Dev_BR__baud(value);
    return baud ? std::to_string(baud) + " baud" : "no baud rate";
}

int mf_Dev_State__load(const std::string &path, DevState &state, std::string &error)
{
    std::ifstream in(path);
    if (!in)
        return 0;
    DevState loaded = state;
    bool seen1 = false, seen2 = false;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        lineNo++;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        unsigned value = 0;
        size_t eq = line.find('=');
        std::string key = line.substr(0, eq);
        const char *first = line.data() + (eq == std::string::npos ? line.size() : eq + 1);
        const char *last = line.data() + line.size();
        auto [end, ec] = std::from_chars(first, last, value);
        bool ok = eq != std::string::npos && ec == std::errc() && end == last && first != last &&
                  value <= 0xFFFF && (key == "BR1" || key == "BR2");
        if (!ok) {
            error = path + ":" + std::to_string(lineNo) + ": expected BR1=<0..65535> or "
                    "BR2=<0..65535>, found \"" + line + "\"";
            return -1;
        }
        (key == "BR1" ? loaded.br1 : loaded.br2) = static_cast<uint16_t>(value);
        (key == "BR1" ? seen1 : seen2) = true;
    }
    if (!seen1 || !seen2) {
        error = path + ": BR1 and BR2 are both needed";
        return -1;
    }
    state = loaded;
    return 1;
}

int mf_Dev_State__save(const std::string &path, const DevState &state, std::string &error)
{
    std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << "BR1=" << state.br1 << "\nBR2=" << state.br2 << "\n";
        out.close();
        if (!out) {
            error = "cannot write " + tmp;
            return -1;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        error = "cannot rename " + tmp + " to " + path;
        std::remove(tmp.c_str());
        return -1;
    }
    return 0;
}

bool mf_Fault__parse(const std::string &text, Fault &fault, std::string &error)
{
    size_t eq = text.find('=');
    std::string name = text.substr(0, eq);
    for (const FaultName &f : caFAULT_NAMES) {
        if (name != f.name)
            continue;
        bool hasArg = eq != std::string::npos;
        if (hasArg != f.argRequired && !(hasArg && f.argAllowed)) {
            error = hasArg ? "fault " + name + " takes no value"
                           : "fault " + name + " needs a value: " + name + "=N";
            return false;
        }
        int arg = 0;
        if (hasArg) {
            const char *first = text.data() + eq + 1, *last = text.data() + text.size();
            auto [end, ec] = std::from_chars(first, last, arg);
            if (ec != std::errc() || end != last || first == last || arg < f.argMin ||
                arg > f.argMax) {
                error = "fault " + name + ": value must be " + std::to_string(f.argMin) +
                        ".." + std::to_string(f.argMax);
                return false;
            }
        }
        fault.kind = f.kind;
        fault.arg = arg;
        return true;
    }
    error = "unknown fault \"" + text +
            "\" (no-reply, bad-crc, short[=N], exception=N, delay=MS, ignore)";
    return false;
}

std::string mf_Fault__describe(const Fault &fault)
{
    std::string text;
    for (const FaultName &f : caFAULT_NAMES)
        if (f.kind == fault.kind)
            text = f.name;
    if (fault.kind == FaultKind::Short)
        text += fault.arg ? ": " + std::to_string(fault.arg) + " bytes" : ": CRC cut off";
    if (fault.kind == FaultKind::Exception)
        text += " " + std::to_string(fault.arg);
    if (fault.kind == FaultKind::Delay)
        text += " " + std::to_string(fault.arg) + " ms";
    char buf[64];
    if (fault.addr >= 0) {
        std::snprintf(buf, sizeof buf, ", address 0x%04X only", fault.addr);
        text += buf;
    }
    if (fault.fc >= 0)
        text += ", function " + std::to_string(fault.fc) + " only";
    if (fault.nth > 0)
        text += ", request " + std::to_string(fault.nth) + " only";
    return text;
}

bool mf_Fault__matches(const Fault &fault, const uint8_t *request, int length)
{
    if (length < 2)
        return false;
    int fc = request[1];
    if (fault.fc >= 0 && fc != fault.fc)
        return false;
    if (fault.addr < 0)
        return true;
    if (length < 6)
        return false;
    int start = request[2] << 8 | request[3];
    int count = 1;
    switch (fc) {
    case 1: case 2: case 3: case 4: case 15: case 16:
        count = request[4] << 8 | request[5];
        break;
    case 5: case 6:
        break;
    default: // functions without an address
        return false;
    }
    return fault.addr >= start && fault.addr < start + count;
}

std::vector<uint8_t> mf_Fault__mangle(const Fault &fault, const std::vector<uint8_t> &reply)
{
    std::vector<uint8_t> out = reply;
    if (fault.kind == FaultKind::BadCrc && out.size() >= 3) {
        out[out.size() - 2] ^= 0xFF;
        out[out.size() - 1] ^= 0xFF;
    }
    if (fault.kind == FaultKind::Short && out.size() >= 3) {
        size_t keep = fault.arg ? size_t(fault.arg) : out.size() - 2;
        if (keep < out.size())
            out.resize(keep);
    }
    return out;
}

std::string mf_Hex(const uint8_t *bytes, int length)
{
    std::string text;
    char buf[4];
    for (int i = 0; i < length; i++) {
        std::snprintf(buf, sizeof buf, i ? " %02x" : "%02x", bytes[i]);
        text += buf;
    }
    return text;
}
