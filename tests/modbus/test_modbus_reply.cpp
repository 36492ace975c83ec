// Sorting a reply against its request, from bytes alone: result codes, the
// values handed back, the diagnosis texts, and hostile replies by the
// hundred thousand.
#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "frames.h"
#include "modbus/Modbus_core.h"
#include "platform/serial.h"

namespace {

constexpr short kGuard = 0x5A5A;

Bytes Request(unsigned char id, unsigned char code, unsigned short address, short value)
{
    Bytes frame(8);
    mf_Tovra_MB_Request__Build(frame.data(), id, code, address, value);
    RefCrcFill(frame.data(), 8);
    return frame;
}

// Sorts `reply` (all of it received) as the answer to `request`; the reply
// buffer is as large as the expected reply, as in the transaction.
int Sort(const Bytes &request, Bytes reply, short *values, int n = -100)
{
    int expected = mf_Tovra_MB_Reply__Len(request.data());
    if (n == -100)
        n = (int)reply.size();
    reply.resize(std::max<size_t>(reply.size(), (size_t)expected));
    return mf_Tovra_MB_Reply__Sort(request.data(), expected, reply.data(), n, values);
}

std::string Diag(const Bytes &reply, int n, int result,
                 const Bytes &request = Request(1, 3, 0x1101, 2))
{
    char text[ciMB_DIAG_TEXT];
    mf_Tovra_MB_Reply__Diag(222, request.data(), reply.data(), n, result, text, sizeof text);
    return text;
}

TEST(ModbusRequest, IsBuiltFromSlaveIdCodeAddressAndValueHighByteFirst)
{
    unsigned char frame[8];
    memset(frame, 0xEE, sizeof frame);
    mf_Tovra_MB_Request__Build(frame, 1, 3, 0x1101, 2);
    EXPECT_EQ(Bytes(frame, frame + 6), (Bytes{0x01, 0x03, 0x11, 0x01, 0x00, 0x02}));
    mf_Tovra_MB_Request__Build(frame, 0x1F7, 5, 0, (short)0xFF00);
    EXPECT_EQ(Bytes(frame, frame + 6), (Bytes{0xF7, 0x05, 0x00, 0x00, 0xFF, 0x00}));
}

TEST(ModbusReplyLength, FollowsTheFunctionCodeAndTheQuantity)
{
    EXPECT_EQ(mf_Tovra_MB_Reply__Len(Request(1, 3, 0x1101, 2).data()), 9);
    EXPECT_EQ(mf_Tovra_MB_Reply__Len(Request(1, 4, 0, 1).data()), 7);
    EXPECT_EQ(mf_Tovra_MB_Reply__Len(Request(1, 3, 0, 0).data()), 5);
    EXPECT_EQ(mf_Tovra_MB_Reply__Len(Request(1, 3, 0, 125).data()), 255);
    EXPECT_EQ(mf_Tovra_MB_Reply__Len(Request(1, 5, 0, (short)0xFF00).data()), 8);
    EXPECT_EQ(mf_Tovra_MB_Reply__Len(Request(1, 6, 0x1102, 7).data()), 8);
}

TEST(ModbusReplyLength, RejectsUnhandledCodesAndReadsBeyond125Registers)
{
    for (int code : {0, 1, 2, 7, 9, 16, 0x83, 255})
        EXPECT_EQ(mf_Tovra_MB_Reply__Len(Request(1, (unsigned char)code, 0, 2).data()), ciMB_ERR_OP)
            << code;
    EXPECT_EQ(mf_Tovra_MB_Reply__Len(Request(1, 3, 0, 126).data()), ciMB_ERR_RANGE);
    EXPECT_EQ(mf_Tovra_MB_Reply__Len(Request(1, 4, 0, -1).data()), ciMB_ERR_RANGE);
}

TEST(ModbusReplySort, AGoodReadReplyHandsBackTheValuesHighByteFirst)
{
    short values[3] = {kGuard, kGuard, kGuard};
    EXPECT_EQ(Sort(Request(1, 3, 0x1101, 2), {0x01, 0x03, 0x04, 0x00, 0x03, 0x00, 0x01, 0xCB, 0xF3},
                   values),
              0);
    EXPECT_EQ(values[0], 3);
    EXPECT_EQ(values[1], 1);
    EXPECT_EQ(values[2], kGuard);

    EXPECT_EQ(Sort(Request(1, 4, 0, 1), WithCrc({0x01, 0x04, 0x02, 0xFF, 0xFE}), values), 0);
    EXPECT_EQ(values[0], -2);
}

TEST(ModbusReplySort, AReplyWithABadCrcFailsAndLeavesTheValuesAlone)
{
    short values[2] = {kGuard, kGuard};
    Bytes reply{0x01, 0x03, 0x04, 0x00, 0x03, 0x00, 0x01, 0xCB, 0xF4};
    EXPECT_EQ(Sort(Request(1, 3, 0x1101, 2), reply, values), ciMB_ERR_CRC);
    EXPECT_EQ(values[0], kGuard);
    EXPECT_EQ(values[1], kGuard);
}

TEST(ModbusReplySort, ExceptionRepliesGiveMinus3000LessTheirCode)
{
    short values[2] = {kGuard, kGuard};
    const Bytes read = Request(1, 3, 0x1101, 2);
    for (int code = 0; code < 256; ++code) {
        Bytes reply = WithCrc({0x01, 0x83, (unsigned char)code});
        EXPECT_EQ(Sort(read, reply, values), ciMB_ERR_EXCEPTION - code) << code;
    }
    EXPECT_EQ(Sort(read, WithCrc({0x01, 0x83, 0x02}), values), -3002);
    EXPECT_EQ(Sort(read, WithCrc({0x01, 0x83, 0x04}), values), -3004);
    EXPECT_EQ(Sort(Request(9, 6, 0x1101, 4), WithCrc({0x09, 0x86, 0x03}), values), -3003);
    EXPECT_EQ(values[0], kGuard);
}

TEST(ModbusReplySort, FiveBytesNeverPassForALongerReplyEvenWhenZerosWouldCompleteItsCrc)
{
    // Five received bytes chosen so that, followed by the cleared rest of the
    // buffer, they form a frame of the expected 8 bytes whose CRC is right.
    const Bytes write = Request(1, 6, 0x1101, 4);
    Bytes reply{0x01, 0x06, 0x11, 0, 0, 0, 0, 0};
    bool found = false;
    for (int v = 0; v < 65536 && !found; ++v) {
        reply[3] = (unsigned char)(v >> 8);
        reply[4] = (unsigned char)v;
        found = RefCrcRight(reply.data(), 8);
    }
    ASSERT_TRUE(found);
    EXPECT_EQ(Sort(write, reply, nullptr, 5), ciMB_ERR_CRC);
}

TEST(ModbusReplySort, SilenceIsATimeOutAndAPortErrorIsPassedOn)
{
    short values[2] = {kGuard, kGuard};
    const Bytes read = Request(1, 3, 0x1101, 2);
    EXPECT_EQ(Sort(read, {}, values, 0), ciMB_ERR_TIMEOUT);
    EXPECT_EQ(Sort(read, {}, values, -6), -6);
    EXPECT_EQ(values[0], kGuard);
}

TEST(ModbusReplySort, AnyOtherCountIsAWrongLength)
{
    short values[2] = {kGuard, kGuard};
    const Bytes read = Request(1, 3, 0x1101, 2);
    for (int n : {1, 2, 3, 4, 6, 7, 8})
        EXPECT_EQ(Sort(read, {0x01, 0x03, 0x04, 0x00, 0x03, 0x00, 0x01, 0xCB}, values, n),
                  ciMB_ERR_LENGTH)
            << n;
    EXPECT_EQ(values[0], kGuard);
}

TEST(ModbusReplySort, AWriteLeavesTheValuesUntouched)
{
    short values[2] = {kGuard, kGuard};
    const Bytes write = Request(1, 6, 0x1101, 3);
    EXPECT_EQ(Sort(write, write, values), 0);
    EXPECT_EQ(values[0], kGuard);
    EXPECT_EQ(values[1], kGuard);
}

TEST(ModbusReplySort, AReadOfNoRegistersAcceptsAnEmptyReply)
{
    EXPECT_EQ(Sort(Request(1, 3, 0, 0), WithCrc({0x01, 0x03, 0x00}), nullptr), 0);
}

TEST(ModbusReplyDiag, ATimeOutIsOneMarkedLineAndAnEmptyLine)
{
    EXPECT_EQ(Diag({}, 0, ciMB_ERR_TIMEOUT), "\tP222\tMB.Rx\t" LOG_MARK " COM read Time-out\n\n");
}

TEST(ModbusReplyDiag, APortErrorNamesItsCodeAndTheReadCall)
{
    EXPECT_EQ(Diag({}, -6, -6), "\tP222\tMB.Rx\t" LOG_MARK
                                " COM read NG, err code: -6\n\tcheck Help of LW.CVI : ComRd \n");
}

TEST(ModbusReplyDiag, AnExceptionReplyShowsItsFiveBytesAndTheirMeaning)
{
    EXPECT_EQ(Diag({0x01, 0x83, 0x02, 0xC0, 0xF1}, 5, -3002),
              "\tP222\tMB.Rx\t01 83 02 c0 f1 \n"
              "\t" LOG_MARK " Modbus.core: exception 2: illegal data address\n\n");
}

TEST(ModbusReplyDiag, AWrongLengthShowsTheBytesAndTheExplanationBlock)
{
    EXPECT_EQ(Diag({0x01, 0x03, 0x04, 0x00, 0x03, 0x00, 0x01}, 7, ciMB_ERR_LENGTH),
              "\tP222\tMB.Rx\t01 03 04 00 03 00 01 \n"
              "\t" LOG_MARK " Modbus.core: Exception 0930 occured after COM read, n=7\n"
              "\tPossibility :: If BAUD changed\n"
              "\tPossibility :: If using [Ro] to read [R] memory\n"
              "\tPossibility :: If using [Wram] or [Wee] to write [Ro] memory\n"
              "\tReturn value of ComRd() is num of byte it received.\n"
              "\n");
}

TEST(ModbusReplyDiag, TheLongestWrongLengthFitsTheBuffer)
{
    Bytes reply(254, 0xAB);
    std::string text = Diag(reply, 254, ciMB_ERR_LENGTH);
    EXPECT_EQ(text.substr(text.size() - 54), "\tReturn value of ComRd() is num of byte it received.\n\n");
}

TEST(ModbusReplyDiag, BytesThrownAwayBeforeARequestAreALateReplyOrAnswerNothing)
{
    const Bytes ack = WithCrc({0x01, 0x06, 0x11, 0x01, 0x00, 0x05});
    const std::string head = "\tP222\tMB.Rx\t01 06 11 01 00 05 1d 35 \n\t" LOG_MARK " Modbus.core: ";
    const struct {
        int lateMs;
        const char *raise;
        std::string text;
    } cases[] = {
        {250, "raise --timeout",
         head + "a reply came 250 ms late: the device is slower than the limit; raise --timeout\n\n"},
        {-1, nullptr, head + "8 bytes before the request, answering none: thrown away\n\n"},
    };
    for (const auto &c : cases) {
        char text[ciMB_DIAG_TEXT];
        mf_Tovra_MB_Late__Diag(222, ack.data(), (int)ack.size(), c.lateMs, c.raise, text, sizeof text);
        EXPECT_EQ(text, c.text);
    }
}

TEST(ModbusResultWhy, NamesTheFailureInPlainWordsAndWhatToCheck)
{
    const struct {
        int result;
        int count;
        const char *text;
    } cases[] = {
        {ciMB_ERR_TIMEOUT, 0, "no reply within 0.218 s: check the cable, the slave ID and the line settings"},
        {ciMB_ERR_ACK, 8, "acknowledgement of another address or value: a late reply to an earlier request"},
        {ciMB_ERR_CRC, 9, "reply with a wrong checksum (9 bytes): check parity and baud rate, termination"},
        {ciMB_ERR_LENGTH, 3, "reply of the wrong length (3 bytes): check the baud rate and parity"},
        {ciMB_ERR_EXCEPTION - 2, 5, "the device refused: exception 2, illegal data address"},
        {ciMB_ERR_EXCEPTION - 4, 5, "the device refused: exception 4, server device failure"},
        {ciMB_ERR_EXCEPTION - 12, 5, "the device refused: exception 12, unknown to Modbus"},
        {kComErrLost, 0, "the port was lost: the adapter was disconnected"},
        {kComErrNotOpen, 0, "the serial port failed: serial port not open"},
        {ciMB_ERR_WRITE, 0, "the port took only part of the request: check the adapter"},
    };
    for (auto c : cases) {
        char text[256];
        mf_Tovra_MB_Result__Why(c.result, c.count, 0.2177, text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }
}

// ---- A reply counts only when it answers the request

TEST(ModbusReplyMatch, AWholeReplyToSomethingElseFailsWithItsOwnCodeAndMarkedLine)
{
    const Bytes read = Request(1, 3, 0x1101, 2);
    const Bytes write = Request(1, 6, 0x1101, 3);
    const std::string rx = "\tP222\tMB.Rx\t";
    const std::string mark = "\t" LOG_MARK " Modbus.core: ";
    const struct {
        const char *what;
        Bytes request;
        Bytes reply;
        int result;
        std::string diag; // after the line of received bytes
    } cases[] = {
        {"another slave", read, WithCrc({0x02, 0x03, 0x04, 0x00, 0x03, 0x00, 0x01}), ciMB_ERR_SLAVE,
         mark + "reply from slave 2, not 1: a late reply, or two devices at one ID\n\n"},
        {"another slave's exception", read, WithCrc({0x02, 0x83, 0x02}), ciMB_ERR_SLAVE,
         mark + "reply from slave 2, not 1: a late reply, or two devices at one ID\n\n"},
        {"another function code", read, WithCrc({0x01, 0x04, 0x04, 0x00, 0x03, 0x00, 0x01}),
         ciMB_ERR_FUNCTION,
         mark + "reply with function code 4, not 3: a late reply, or another master on the line\n\n"},
        {"an exception to another function", read, WithCrc({0x01, 0x84, 0x02}), ciMB_ERR_FUNCTION,
         mark + "reply with function code 132, not 3: a late reply, or another master on the line\n\n"},
        {"a read's reply to a write", write, WithCrc({0x01, 0x03, 0x04, 0x00, 0x03, 0x00}),
         ciMB_ERR_FUNCTION,
         mark + "reply with function code 3, not 6: a late reply, or another master on the line\n\n"},
        {"a short byte count, padded to the length", read,
         WithCrc({0x01, 0x03, 0x02, 0x00, 0x07, 0x00, 0x08}), ciMB_ERR_COUNT,
         mark + "reply with 2 data bytes for 2 registers, not 4\n\n"},
        {"a short byte count, a frame of its own", read, WithCrc({0x01, 0x03, 0x02, 0x00, 0x07}),
         ciMB_ERR_COUNT, mark + "reply with 2 data bytes for 2 registers, not 4\n\n"},
        {"a byte count claiming more", Request(1, 3, 0, 1), WithCrc({0x01, 0x03, 0x04, 0x00, 0x05}),
         ciMB_ERR_COUNT, mark + "reply with 4 data bytes for 1 registers, not 2\n\n"},
        {"a write acknowledged for another register", write,
         WithCrc({0x01, 0x06, 0x11, 0x02, 0x00, 0x07}), ciMB_ERR_ACK,
         mark + "acknowledgement of 1102=0007, not 1101=0003: a late reply to an earlier request\n\n"},
        {"a write acknowledged with another value", write,
         WithCrc({0x01, 0x06, 0x11, 0x01, 0x00, 0x04}), ciMB_ERR_ACK,
         mark + "acknowledgement of 1101=0004, not 1101=0003: a late reply to an earlier request\n\n"},
        {"a coil acknowledged cleared, not set", Request(1, 5, 0, (short)0xFF00),
         WithCrc({0x01, 0x05, 0x00, 0x00, 0x00, 0x00}), ciMB_ERR_ACK,
         mark + "acknowledgement of 0000=0000, not 0000=ff00: a late reply to an earlier request\n\n"},
        {"an exception with a bad CRC", read, {0x01, 0x83, 0x01, 0x00, 0x00}, ciMB_ERR_CRC,
         mark + "wrong checksum (5 bytes): another baud rate or parity, or noise on the line\n\n"},
        {"a bad CRC", read, {0x01, 0x03, 0x04, 0x00, 0x03, 0x00, 0x01, 0xCB, 0xF4}, ciMB_ERR_CRC,
         mark + "wrong checksum (9 bytes): another baud rate or parity, or noise on the line\n\n"},
    };
    for (const auto &c : cases) {
        short values[3] = {kGuard, kGuard, kGuard};
        int result = Sort(c.request, c.reply, values);
        EXPECT_EQ(result, c.result) << c.what;
        EXPECT_EQ(values[0], kGuard) << c.what;
        std::string bytes;
        for (unsigned char b : c.reply) {
            char hex[4];
            snprintf(hex, sizeof hex, "%02x ", b);
            bytes += hex;
        }
        EXPECT_EQ(Diag(c.reply, (int)c.reply.size(), result, c.request), rx + bytes + "\n" + c.diag)
            << c.what;
    }
}

// ---- Hostile replies: random bytes, random counts, and mutations of valid
// replies (with the CRC made right again so they get past it). The CRC is
// judged by the reference in frames.h, not by the product's own check.
// Buffers are exactly sized on the heap so that a read past them trips
// AddressSanitizer.

class HostileReplies : public ::testing::Test {
protected:
    std::mt19937 rng{20240611};
    int Pick(int lo, int hi) { return lo + (int)(rng() % (unsigned)(hi - lo + 1)); }

    Bytes RandomRequest()
    {
        static const unsigned char codes[] = {3, 4, 5, 6};
        unsigned char code = codes[rng() % 4];
        int quantity = (rng() % 4 == 0) ? Pick(0, 125) : Pick(0, 4);
        return Request((unsigned char)Pick(0, 3), code, (unsigned short)rng(),
                       (code == 3 || code == 4) ? (short)quantity : (short)rng());
    }

    // A reply the device could send, before mutation.
    Bytes ValidReply(const Bytes &request, int expected)
    {
        if (request[1] == 5 || request[1] == 6)
            return request;
        Bytes reply(expected);
        reply[0] = request[0];
        reply[1] = request[1];
        reply[2] = (unsigned char)(expected - 5);
        for (int i = 3; i < expected - 2; ++i)
            reply[i] = (unsigned char)rng();
        RefCrcFill(reply.data(), (size_t)expected);
        return reply;
    }

    void Mutate(Bytes &reply, int expected)
    {
        switch (rng() % 6) {
        case 0: // flip some bits
            for (int k = Pick(1, 4); k > 0; --k)
                reply[rng() % reply.size()] ^= (unsigned char)(1 << (rng() % 8));
            break;
        case 1: // a byte count that lies
            reply[2] = (unsigned char)rng();
            break;
        case 2: // another slave or function code
            reply[rng() % 2] = (unsigned char)rng();
            break;
        case 3: // an exception reply of any code, padded to the buffer
            reply[1] |= 0x80;
            reply[2] = (unsigned char)rng();
            break;
        case 4: // random content
            for (auto &b : reply)
                b = (unsigned char)rng();
            break;
        default: // the stored CRC only
            reply[expected - 1] ^= (unsigned char)Pick(1, 255);
            break;
        }
        if (rng() % 2 == 0) // make the CRC right again
            RefCrcFill(reply.data(), (size_t)expected);
    }

    int RandomCount(int expected)
    {
        switch (rng() % 8) {
        case 0: return Pick(-8, 0);
        case 1: return 5;
        case 2: return Pick(1, expected);
        default: return expected;
        }
    }
};

TEST_F(HostileReplies, NeverPassWithoutAFullReplyAndRightCrcNorWritePastTheQuantity)
{
    constexpr int kRounds = 150000;
    constexpr int kGuards = 4;
    int passed = 0;
    for (int round = 0; round < kRounds; ++round) {
        Bytes request = RandomRequest();
        int expected = mf_Tovra_MB_Reply__Len(request.data());
        ASSERT_GE(expected, 5);
        Bytes reply = ValidReply(request, expected);
        if (rng() % 8 != 0)
            Mutate(reply, expected);
        int n = RandomCount(expected);

        auto buffer = std::make_unique<unsigned char[]>((size_t)expected);
        memcpy(buffer.get(), reply.data(), (size_t)expected);
        int quantity = request[4] * 256 + request[5];
        bool read = request[1] == 3 || request[1] == 4;
        int slots = (read ? quantity : 0) + kGuards;
        std::vector<short> values((size_t)slots, kGuard);

        int result = mf_Tovra_MB_Reply__Sort(request.data(), expected, buffer.get(), n,
                                             values.data());
        if (result == 0) {
            ++passed;
            ASSERT_EQ(n, expected) << "round " << round;
            ASSERT_TRUE(RefCrcRight(buffer.get(), (size_t)expected)) << "round " << round;
        } else {
            ASSERT_LT(result, 0);
            ASSERT_TRUE(std::all_of(values.begin(), values.end(), [](short v) { return v == kGuard; }))
                << "round " << round << ": values touched on failure";
            if (result <= ciMB_ERR_EXCEPTION) {
                ASSERT_EQ(n, 5);
            }
        }
        for (int i = read ? quantity : 0; i < slots; ++i)
            ASSERT_EQ(values[(size_t)i], kGuard) << "round " << round << ": wrote past the quantity";

        // What the transaction would write for it, from the same buffer.
        char text[ciMB_DIAG_TEXT];
        if (result == 0)
            mf_Tovra_Trace__Rx(222, buffer.get(), expected, text, ciMB_TRACE_TEXT);
        else
            mf_Tovra_MB_Reply__Diag(222, request.data(), buffer.get(), n, result, text, sizeof text);
        ASSERT_LT(strlen(text), sizeof text);
    }
    // The mix must exercise the success path as well as the failures.
    EXPECT_GT(passed, kRounds / 10);
}

TEST_F(HostileReplies, TraceLinesOfAnyFrameStayInsideTheFrameAndTheBuffer)
{
    for (int round = 0; round < 100000; ++round) {
        int length = Pick(0, ciMB_FRAME_MAX);
        auto frame = std::make_unique<unsigned char[]>((size_t)length);
        for (int i = 0; i < length; ++i)
            frame[(size_t)i] = (unsigned char)rng();
        if (length > 1 && rng() % 2 == 0) // mostly codes the trace knows
            frame[1] = (unsigned char)(rng() % 2 ? 3 : 16);
        char text[ciMB_TRACE_TEXT];
        int r = (round % 2) ? mf_Tovra_Trace__Rx(222, frame.get(), length, text, sizeof text)
                            : mf_Tovra_Trace__Tx(222, frame.get(), length, text, sizeof text);
        ASSERT_TRUE(r == 0 || r == -1);
        size_t len = strlen(text);
        ASSERT_LT(len, sizeof text);
        if (r == 0) {
            ASSERT_EQ(text[len - 1], '\n') << "round " << round << ": line cut short";
        }
    }
}

} // namespace
