// The Modbus RTU CRC: known frames, the two mismatch results, the frame
// size limits, and agreement with libmodbus and with the reference CRC of
// frames.h.
#include <cstdlib>
#include <random>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <modbus.h>

#include "frames.h"
#include "modbus/Modbus_core.h"

namespace {

// The covered bytes followed by the CRC the product fills in.
Bytes OurFrame(Bytes covered)
{
    covered.resize(covered.size() + 2, 0xEE);
    EXPECT_EQ(mf_Tovra_Get_CRC(covered.data(), (int)covered.size()), 0);
    return covered;
}

TEST(ModbusCrc, FillsInTheCrcOfKnownFramesLowByteFirst)
{
    const struct {
        Bytes covered, crc;
    } rows[] = {
        {{0x01, 0x03, 0x11, 0x01, 0x00, 0x02}, {0x90, 0xF7}},
        {{0x01, 0x03, 0x04, 0x00, 0x03, 0x00, 0x01}, {0xCB, 0xF3}},
        {{0x01, 0x05, 0x00, 0x00, 0xFF, 0x00}, {0x8C, 0x3A}},
        {{0x01}, {0x7E, 0x80}},                                  // a three-byte frame covers its first byte
        {{'1', '2', '3', '4', '5', '6', '7', '8', '9'}, {0x37, 0x4B}}, // the published check value 0x4B37
    };
    for (const auto &row : rows) {
        Bytes expected = row.covered;
        expected.insert(expected.end(), row.crc.begin(), row.crc.end());
        EXPECT_EQ(OurFrame(row.covered), expected);
        EXPECT_EQ(mf_Tovra_Verify_CRC(expected.data(), (int)expected.size()), 0);
    }
}

TEST(ModbusCrc, AnyBitFlippedInTheLowCrcByteGivesMinus11)
{
    for (int bit = 0; bit < 8; ++bit) {
        Bytes frame{0x01, 0x03, 0x04, 0x00, 0x03, 0x00, 0x01, 0xCB, 0xF3};
        frame[7] ^= (unsigned char)(1 << bit);
        EXPECT_EQ(mf_Tovra_Verify_CRC(frame.data(), 9), -11) << "bit " << bit;
        frame[8] ^= 0xFF; // the high byte is not looked at once the low byte differs
        EXPECT_EQ(mf_Tovra_Verify_CRC(frame.data(), 9), -11) << "bit " << bit;
    }
}

TEST(ModbusCrc, BitsFlippedOnlyInTheHighCrcByteGiveMinus12)
{
    for (int mask = 1; mask < 256; ++mask) {
        Bytes frame{0x01, 0x03, 0x04, 0x00, 0x03, 0x00, 0x01, 0xCB, 0xF3};
        frame[8] ^= (unsigned char)mask;
        EXPECT_EQ(mf_Tovra_Verify_CRC(frame.data(), 9), -12) << "mask " << mask;
    }
}

TEST(ModbusCrc, ACorruptedCoveredByteFailsVerification)
{
    const Bytes good{0x01, 0x03, 0x04, 0x00, 0x03, 0x00, 0x01, 0xCB, 0xF3};
    for (int i = 0; i < 7; ++i)
        for (int bit = 0; bit < 8; ++bit) {
            Bytes frame = good;
            frame[i] ^= (unsigned char)(1 << bit);
            EXPECT_LT(mf_Tovra_Verify_CRC(frame.data(), 9), 0) << "byte " << i << " bit " << bit;
        }
}

// libmodbus sends at most 254 covered bytes: the longest frame is checked
// against the reference CRC of frames.h.
TEST(ModbusCrc, ALongest257ByteFrameCovers255Bytes)
{
    std::mt19937 rng(257);
    Bytes covered(255);
    for (auto &b : covered)
        b = (unsigned char)rng();
    Bytes frame = OurFrame(covered);
    ASSERT_EQ(frame.size(), 257u);
    EXPECT_EQ(frame, WithCrc(covered));
    EXPECT_EQ(mf_Tovra_Verify_CRC(frame.data(), 257), 0);
    frame[0] ^= 0x80; // the first byte counts too
    EXPECT_NE(mf_Tovra_Verify_CRC(frame.data(), 257), 0);
}

// ---- libmodbus as an independent implementation: it appends its own CRC to
// raw frames that it writes into a pseudo-terminal; ours must match.

class LibmodbusPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(grantpt(master_), 0);
        ASSERT_EQ(unlockpt(master_), 0);
        slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY);
        ASSERT_GE(slave_, 0);
        termios tio{};
        ASSERT_EQ(tcgetattr(slave_, &tio), 0);
        cfmakeraw(&tio);
        ASSERT_EQ(tcsetattr(slave_, TCSANOW, &tio), 0);
        ctx_ = modbus_new_rtu("/dev/null", 9600, 'N', 8, 1);
        ASSERT_NE(ctx_, nullptr);
        ASSERT_EQ(modbus_set_socket(ctx_, master_), 0);
    }
    void TearDown() override
    {
        if (ctx_ != nullptr)
            modbus_free(ctx_);
        if (slave_ >= 0)
            close(slave_);
        if (master_ >= 0)
            close(master_);
    }
    // What libmodbus puts on the wire for these covered bytes.
    Bytes LibmodbusFrame(const Bytes &covered)
    {
        int sent = modbus_send_raw_request(ctx_, covered.data(), (int)covered.size());
        EXPECT_EQ(sent, (int)covered.size() + 2);
        Bytes wire(covered.size() + 2);
        size_t got = 0;
        while (got < wire.size()) {
            pollfd p{slave_, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0)
                break;
            ssize_t n = read(slave_, wire.data() + got, wire.size() - got);
            if (n <= 0)
                break;
            got += (size_t)n;
        }
        wire.resize(got);
        return wire;
    }
    int master_ = -1;
    int slave_ = -1;
    modbus_t *ctx_ = nullptr;
};

TEST_F(LibmodbusPty, OurCrcMatchesLibmodbusOnRandomFramesOf4To256Bytes)
{
    std::mt19937 rng(1999);
    for (int round = 0; round < 300; ++round) {
        // libmodbus sends raw frames of 2 .. 254 covered bytes.
        Bytes covered(2 + rng() % 253);
        for (auto &b : covered)
            b = (unsigned char)rng();
        if (round == 0)
            covered.resize(254);
        Bytes wire = LibmodbusFrame(covered);
        ASSERT_EQ(wire.size(), covered.size() + 2) << "round " << round;
        EXPECT_EQ(OurFrame(covered), wire) << "round " << round;
        EXPECT_EQ(mf_Tovra_Verify_CRC(wire.data(), (int)wire.size()), 0);
    }
}

} // namespace
