// What the bus carries: frames told apart by silence, their CRC, and the
// description of one slave of a bus. Pure functions over values and bytes.
#include "devsim.h"

#include <charconv>

namespace {

constexpr long ciDev_CHAR_BITS = 11;        // start, 8 data, parity or second stop, stop
constexpr long ciDev_SILENCE_FAST_US = 1750; // the fixed silence above 19200 baud

bool fn_int(const std::string &text, int min, int max, int &value)
{
    const char *first = text.data(), *last = text.data() + text.size();
    auto [end, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && end == last && first != last && value >= min && value <= max;
}

} // namespace

long mf_Dev_Silence__us(long baud)
{
    if (baud <= 0 || baud > 19200)
        return ciDev_SILENCE_FAST_US;
    return (35 * ciDev_CHAR_BITS * 1000000 / baud + 9) / 10;
}

long long mf_Dev_Char__ns(const DevLine &line)
{
    if (line.baud <= 0)
        return 0;
    long long bits = 1 + 8 + (line.parity == ciPAR_N ? 0 : 1) + line.stop;
    return bits * 1000000000LL / line.baud;
}

long long mf_Dev_Gap__ns(const DevLine &line)
{
    if (line.baud <= 0 || line.baud > 19200)
        return ciDev_SILENCE_FAST_US * 1000;
    return mf_Dev_Char__ns(line) * 7 / 2;
}

uint16_t mf_Dev_Crc16(const uint8_t *bytes, int length)
{
    uint16_t crc = 0xFFFF;
    for (int i = 0; i < length; i++) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; bit++)
            crc = crc & 1 ? uint16_t(crc >> 1 ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

const char *mf_Dev_Frame__fault(const uint8_t *bytes, int length)
{
    if (length < 4)
        return "too short for a frame";
    if (length > 256)
        return "longer than any frame";
    uint16_t crc = mf_Dev_Crc16(bytes, length - 2);
    if (bytes[length - 2] != (crc & 0xFF) || bytes[length - 1] != crc >> 8)
        return "bad CRC";
    return nullptr;
}

std::string mf_Dev_State__path_for(const std::string &statePath, int slave)
{
    size_t slash = statePath.rfind('/');
    size_t dot = statePath.rfind('.');
    bool hasExt = dot != std::string::npos && dot > (slash == std::string::npos ? 0 : slash + 1);
    size_t at = hasExt ? dot : statePath.size();
    return statePath.substr(0, at) + "-" + std::to_string(slave) + statePath.substr(at);
}

bool mf_Dev_Slave__parse(const std::string &text, DevSlaveOption &slave, std::string &error)
{
    DevSlaveOption parsed;
    size_t comma = text.find(',');
    if (!fn_int(text.substr(0, comma), 1, 247, parsed.id)) {
        error = "--slave \"" + text + "\": the slave ID must be a number in 1..247";
        return false;
    }
    while (comma != std::string::npos) {
        size_t next = text.find(',', comma + 1);
        std::string item = text.substr(comma + 1, next == std::string::npos ? next : next - comma - 1);
        comma = next;
        if (item.rfind("delay=", 0) == 0 && fn_int(item.substr(6), 0, 60000, parsed.delayMs))
            continue;
        if (item.rfind("line=", 0) == 0) {
            std::string line = item.substr(5);
            for (char &c : line)
                c = c == ':' ? ',' : c;
            if (mf_Dev_Line__parse(line, parsed.line, error))
                continue;
            error = "--slave \"" + text + "\", line= as --line with colons: " + error;
            return false;
        }
        error = "--slave \"" + text + "\": \"" + item + "\" is neither delay=0..60000 nor "
                "line=BAUD[:PARITY:STOP]";
        return false;
    }
    slave = parsed;
    return true;
}
