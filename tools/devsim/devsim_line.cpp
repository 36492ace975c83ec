// The device's own serial line, and what the simulator can see of the
// master's line settings on its side of the pseudo-terminal.
//
// Both sides of a pseudo-terminal share one set of terminal settings, so
// tcgetattr on the simulator's own descriptor of the slave side shows what
// the master set there: the baud rate and CSTOPB survive, PARENB and CSIZE
// are forced by the driver (no parity, 8 bits). Parity shows only through
// the bits the driver leaves alone, PARODD, CMSPAR and the input flags, and
// the libraries set those differently (tools/devsim/README.md has the table).
#include "devsim.h"

#include <cctype>
#include <charconv>

#include <termios.h>

namespace {

struct Speed {
    speed_t code;
    long baud;
};

constexpr Speed caDev_SPEEDS[] = {
    {B300, 300},     {B600, 600},       {B1200, 1200},     {B2400, 2400},   {B4800, 4800},
    {B9600, 9600},   {B19200, 19200},   {B38400, 38400},   {B57600, 57600}, {B115200, 115200},
    {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
};

struct ParityName {
    unsigned parity;
    char letter;
};

constexpr ParityName caDev_PARITIES[] = {
    {ciPAR_N, 'N'}, {ciPAR_E, 'E'}, {ciPAR_O, 'O'}, {ciPAR_M, 'M'}, {ciPAR_S, 'S'},
};

long fn_baud_of(speed_t code)
{
    for (const Speed &s : caDev_SPEEDS)
        if (s.code == code)
            return s.baud;
    return 0;
}

bool fn_speed_known(long baud)
{
    for (const Speed &s : caDev_SPEEDS)
        if (s.baud == baud)
            return true;
    return false;
}

char fn_letter(unsigned parity)
{
    for (const ParityName &p : caDev_PARITIES)
        if (p.parity == parity)
            return p.letter;
    return '?';
}

// Qt SerialPort leaves PARODD as it finds it for "no parity", so the
// simulator rests the line with PARODD opposite to an even or odd device's
// own parity: then only that parity can produce the device's value.
bool fn_rests_odd(const DevLine &line) { return line.parity == ciPAR_E; }

} // namespace

bool mf_Dev_Line__parse(const std::string &text, DevLine &line, std::string &error)
{
    DevLine parsed;
    size_t comma = text.find(',');
    const char *first = text.data(), *last = text.data() + text.size();
    const char *baudEnd = comma == std::string::npos ? last : first + comma;
    auto [end, ec] = std::from_chars(first, baudEnd, parsed.baud);
    if (ec != std::errc() || end != baudEnd || !fn_speed_known(parsed.baud)) {
        error = "--line \"" + text + "\": the baud rate must be one of";
        for (const Speed &s : caDev_SPEEDS)
            error += (&s == caDev_SPEEDS ? " " : ", ") + std::to_string(s.baud);
        return false;
    }
    if (comma != std::string::npos) {
        std::string rest = text.substr(comma + 1);
        char letter = rest.empty() ? 0 : char(std::toupper((unsigned char)rest[0]));
        unsigned parity = 0;
        for (const ParityName &p : caDev_PARITIES)
            if (p.letter == letter)
                parity = p.parity;
        if (rest.size() != 3 || !parity || rest[1] != ',' || (rest[2] != '1' && rest[2] != '2')) {
            error = "--line \"" + text + "\": expected BAUD or BAUD,PARITY,STOP with PARITY "
                    "one of N, E, O, M, S and STOP 1 or 2, as in 38400,E,1";
            return false;
        }
        parsed.parity = parity;
        parsed.stop = rest[2] - '0';
    }
    line = parsed;
    return true;
}

std::string mf_Dev_Line__text(const DevLine &line)
{
    if (!line.baud)
        return "any settings";
    return std::to_string(line.baud) + " 8" + fn_letter(line.parity) + std::to_string(line.stop);
}

std::string mf_Dev_Seen__text(const DevSeen &seen)
{
    std::string text = seen.baud ? std::to_string(seen.baud) : "an unknown baud rate";
    const char *join = " ";
    for (const ParityName &p : caDev_PARITIES) {
        if (seen.parities & p.parity) {
            text += join + std::string("8") + p.letter + std::to_string(seen.stop);
            join = " or ";
        }
    }
    return text;
}

DevLine mf_Dev_Seen__line(const DevSeen &seen, const DevLine &rest)
{
    DevLine line{seen.baud, rest.parity, seen.stop};
    if (!(seen.parities & rest.parity))
        for (const ParityName &p : caDev_PARITIES)
            if (seen.parities & p.parity) {
                line.parity = p.parity;
                break;
            }
    return line;
}

bool mf_Dev_Line__hears(const DevLine &line, const DevSeen &seen)
{
    return !line.baud ||
           (seen.baud == line.baud && seen.stop == line.stop && (seen.parities & line.parity));
}

void mf_Dev_Line__rest(termios &t, const DevLine &line)
{
    t.c_cflag &= ~(PARODD | CMSPAR);
    t.c_iflag &= ~(INPCK | IGNPAR | PARMRK);
    if (fn_rests_odd(line))
        t.c_cflag |= PARODD;
}

DevSeen mf_Dev_Seen__of(const termios &t, const DevLine &line)
{
    DevSeen seen{fn_baud_of(cfgetospeed(&t)), 0, t.c_cflag & CSTOPB ? 2 : 1};
    bool odd = t.c_cflag & PARODD;
    unsigned byOdd = odd ? ciPAR_O : ciPAR_E;
    if (t.c_cflag & CMSPAR) // stick parity: no master leaves it on for the others
        seen.parities = odd ? ciPAR_M : ciPAR_S;
    else if (t.c_iflag & INPCK) // parity checked on input: libmodbus, most libraries
        seen.parities = byOdd;
    else if (!(t.c_iflag & IGNPAR)) // libmodbus without parity, or nothing set at all
        seen.parities = ciPAR_N;
    else if (odd != fn_rests_odd(line)) // Qt SerialPort moved PARODD: odd or even
        seen.parities = byOdd;
    else // Qt SerialPort: no parity, or the parity that writes the resting PARODD
        seen.parities = ciPAR_N | byOdd;
    return seen;
}
