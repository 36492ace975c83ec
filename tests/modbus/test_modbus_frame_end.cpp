// Where a reply ends, from its first bytes alone: an exchange stops waiting
// as soon as they say the frame is complete. And when it may end at the
// latest, from the line's speed and character format.
#include <gtest/gtest.h>

#include "frames.h"
#include "modbus/Modbus_API.h"
#include "modbus/Modbus_core.h"
#include "modbus/Modbus_wire.h"

namespace {

Bytes Request(unsigned char code, unsigned short address, short value)
{
    Bytes frame(8);
    mf_Tovra_MB_Request__Build(frame.data(), 1, code, address, value);
    RefCrcFill(frame.data(), frame.size());
    return frame;
}

} // namespace

TEST(ModbusReplyNeed, TheFirstBytesTellHowLongTheReplyIs)
{
    const Bytes read = Request(3, 0x1101, 2);
    const Bytes write = Request(6, 0x1102, 5);
    const struct {
        const char *what;
        Bytes request;
        Bytes reply; // what came so far
        int need;
    } rows[] = {
        {"nothing yet: one byte, which may start an echo", read, {}, 1},
        {"the slave ID and code of a read reply: its byte count next", read, {0x01, 0x03}, 3},
        {"a read reply: 5 + its byte count", read, {0x01, 0x03, 0x04}, 9},
        {"the byte count rules, not the quantity asked for", read, {0x01, 0x03, 0x02}, 7},
        {"an exception: 5 bytes", read, {0x01, 0x83}, 5},
        {"another slave's exception too", read, {0x07, 0x86}, 5},
        {"a write's reply: 8 bytes", read, {0x01, 0x06}, 8},
        {"an unknown code: as long as this request's reply", read, {0x01, 0x2b}, 9},
        {"a first byte that is not the slave ID: the code next", read, {0x02}, 2},
        {"bytes that repeat the request: one more at a time", read, {0x01, 0x03, 0x11, 0x01}, 5},
        {"the whole request repeated: complete (an echo)", read, read, 8},
        {"a write's reply is its request: complete", write, write, 8},
        {"more bytes than the head asks for: complete as it is", Request(3, 0, 1),
         {0x01, 0x03, 0x00, 0x00, 0x00, 0x02}, 6},
        {"a garbled byte count is bounded by the buffer", read, {0x01, 0x03, 0xff}, 260},
    };
    for (const auto &row : rows) {
        Bytes reply = row.reply;
        reply.resize(ciMB_RX_BUF);
        EXPECT_EQ(mf_Tovra_MB_Reply__Need(row.request.data(), 8, reply.data(),
                                          static_cast<int>(row.reply.size())),
                  row.need)
            << row.what;
    }
}

TEST(ModbusWire, CharacterQuietAndLimitFollowTheLinesSpeedAndFormat)
{
    // The exchange: a read of two registers, 8 bytes out and 9 back.
    const struct {
        MB_Line line;
        double character; // ms
        double quiet;     // ms
        double limit;     // ms, with a turnaround of 200 ms
    } cases[] = {
        {{9600, 8, 0, 1}, 1.0417, 3.6458, 217.71},
        {{1200, 8, 2, 2}, 10.0, 35.0, 370.0},   // 12 bits a character
        {{19200, 8, 1, 1}, 0.5729, 2.0052, 209.74},
        {{38400, 8, 0, 1}, 0.2604, 1.75, 204.43}, // above 19200: the fixed 1.75 ms
        {{115200, 8, 2, 2}, 0.1042, 1.75, 201.77},
        {{9600, 7, 0, 2}, 1.0417, 3.6458, 217.71}, // as many bits as 8N1
    };
    for (const auto &c : cases) {
        EXPECT_NEAR(mf_Tovra_Wire__Char(&c.line) * 1000, c.character, 0.001) << c.line.baud;
        EXPECT_NEAR(mf_Tovra_Wire__Quiet(&c.line) * 1000, c.quiet, 0.001) << c.line.baud;
        EXPECT_NEAR(mf_Tovra_Wire__Limit(&c.line, 8, 0.2, 9) * 1000, c.limit, 0.01) << c.line.baud;
    }
}
