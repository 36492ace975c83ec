#include "modbus/Modbus_wire.h"

namespace {

constexpr long ciFixedQuietAbove = 19200;
constexpr double cdFixedQuiet = 0.00175;
constexpr double cdQuietChars = 3.5;

} // namespace

int mf_Tovra_Wire__Bits(const MB_Line *line)
{
    return 1 + line->dataBits + (line->parity ? 1 : 0) + line->stopBits;
}

double mf_Tovra_Wire__Char(const MB_Line *line)
{
    return line->baud > 0 ? mf_Tovra_Wire__Bits(line) / (double)line->baud : 0.0;
}

double mf_Tovra_Wire__Frame(const MB_Line *line, int bytes)
{
    return bytes * mf_Tovra_Wire__Char(line);
}

double mf_Tovra_Wire__Quiet(const MB_Line *line)
{
    double quiet = cdQuietChars * mf_Tovra_Wire__Char(line);
    if (line->baud > ciFixedQuietAbove && quiet < cdFixedQuiet)
        return cdFixedQuiet;
    return quiet;
}

double mf_Tovra_Wire__Limit(const MB_Line *line, int requestBytes, double turnaround,
                            int replyBytes)
{
    return mf_Tovra_Wire__Frame(line, requestBytes) + turnaround +
           mf_Tovra_Wire__Frame(line, replyBytes);
}
