// The frame trace: the exact bytes of transmit and receive lines, the line
// writers with their message box for an unknown code, and bounded output.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "frames.h"
#include "log_texts.h"
#include "modbus/Modbus_core.h"
#include "popups.h"

namespace {

// The CRC bytes as the trace shows them: in wire order, lower-case hex.
std::string CrcText(const Bytes &frame)
{
    char text[8];
    snprintf(text, sizeof text, "%02x%02x", frame[frame.size() - 2], frame[frame.size() - 1]);
    return text;
}

std::string Tx(const Bytes &frame, unsigned short port = 222)
{
    char text[ciMB_TRACE_TEXT];
    EXPECT_EQ(mf_Tovra_Trace__Tx(port, frame.data(), (int)frame.size(), text, sizeof text), 0);
    return text;
}

std::string Rx(const Bytes &frame, unsigned short port = 222)
{
    char text[ciMB_TRACE_TEXT];
    EXPECT_EQ(mf_Tovra_Trace__Rx(port, frame.data(), (int)frame.size(), text, sizeof text), 0);
    return text;
}

// Whatever a writer puts on a stream.
template <class F>
std::string Captured(F write)
{
    char *buf = nullptr;
    size_t len = 0;
    FILE *log = open_memstream(&buf, &len);
    write(log);
    fclose(log);
    std::string text(buf, len);
    free(buf);
    return text;
}

TEST(ModbusTrace, ARequestForTwoRegistersShowsAddressQuantityAndCrc)
{
    EXPECT_EQ(Tx({0x01, 0x03, 0x11, 0x01, 0x00, 0x02, 0x90, 0xF7}),
              kReadBRTx);
    Bytes input = WithCrc({0x11, 0x04, 0x00, 0x0A, 0x00, 0x01});
    EXPECT_EQ(Tx(input), "\tP222\tMB.Tx\t#11.04 <000a> (0001) {" + CrcText(input) + "}\tRead-only\n");
}

TEST(ModbusTrace, ItsReplyShowsByteCountValuesInAPairAndAnEmptyLineAfter)
{
    EXPECT_EQ(Rx({0x01, 0x03, 0x04, 0x00, 0x03, 0x00, 0x01, 0xCB, 0xF3}),
              "\tP222\tMB.Rx\t#01.03 (04)   [0003][0001]  {cbf3}\tRead\n\n");
}

TEST(ModbusTrace, TheCoilWriteShowsItsValueInSquareBrackets)
{
    EXPECT_EQ(Tx({0x01, 0x05, 0x00, 0x00, 0xFF, 0x00, 0x8C, 0x3A}),
              "\tP222\tMB.Tx\t#01.05 <0000> [ff00] {8c3a}\tWrite bit\n");
    EXPECT_EQ(Rx({0x01, 0x05, 0x00, 0x00, 0xFF, 0x00, 0x8C, 0x3A}),
              "\tP222\tMB.Rx\t#01.05 <0000> [ff00] {8c3a}\tWrite bit\n\n");
}

TEST(ModbusTrace, ARegisterWriteAndItsEchoNameTheOperation)
{
    Bytes frame = WithCrc({0x07, 0x06, 0x11, 0x02, 0x12, 0xAB});
    EXPECT_EQ(Tx(frame), "\tP222\tMB.Tx\t#07.06 <1102> [12ab] {" + CrcText(frame) + "}\tWrite word\n");
    EXPECT_EQ(Rx(frame), "\tP222\tMB.Rx\t#07.06 <1102> [12ab] {" + CrcText(frame) + "}\tWrite word\n\n");
}

TEST(ModbusTrace, ABroadcastCarriesItsMarkBeforeTheOperationWord)
{
    EXPECT_EQ(Tx({0x00, 0x06, 0x11, 0x01, 0x00, 0x05, 0xAB, 0xCD}),
              "\tP222\tMB.Tx\t#00.06 <1101> [0005] {abcd}\t---Broadcast--- Write word\n");
    EXPECT_EQ(Rx({0x00, 0x03, 0x02, 0x00, 0x05, 0x12, 0x34}),
              "\tP222\tMB.Rx\t#00.03 (02)   [0005]{1234}\t---Broadcast--- Read\n\n");
}

TEST(ModbusTrace, FourValuesStandInTwoPairsAndOneValueStandsAlone)
{
    EXPECT_EQ(Rx({0x01, 0x03, 0x08, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0xAA, 0xBB}),
              "\tP222\tMB.Rx\t#01.03 (08)   [0001][0002]  [0003][0004]  {aabb}\tRead\n\n");
    EXPECT_EQ(Rx({0x01, 0x04, 0x06, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0xAA, 0xBB}),
              "\tP222\tMB.Rx\t#01.04 (06)   [0001][0002]  [0003]{aabb}\tRead-only\n\n");
    EXPECT_EQ(Rx({0x01, 0x03, 0x02, 0x12, 0x34, 0xAA, 0xBB}),
              "\tP222\tMB.Rx\t#01.03 (02)   [1234]{aabb}\tRead\n\n");
}

TEST(ModbusTrace, TheLineNamesThePortItWasSentOn)
{
    EXPECT_EQ(Tx({0x01, 0x03, 0x11, 0x01, 0x00, 0x02, 0x90, 0xF7}, 7),
              "\tP7\tMB.Tx\t#01.03 <1101> (0002) {90f7}\tRead\n");
}

TEST(ModbusTrace, Codes9And16WriteNWordsWithTheTwoRegisterLayout)
{
    Bytes write2{0x01, 0x10, 0x11, 0x01, 0x00, 0x02, 0x04, 0x00, 0x03, 0x00, 0x01, 0xAA, 0xBB};
    EXPECT_EQ(Tx(write2),
              "\tP222\tMB.Tx\t#01.10 <1101> (0002) (04)  [0003][0001]  {aabb}\tWrite n Words\n");
    write2[1] = 0x09;
    EXPECT_EQ(Tx(write2),
              "\tP222\tMB.Tx\t#01.09 <1101> (0002) (04)  [0003][0001]  {aabb}\tWrite n Words\n");
    EXPECT_EQ(Rx({0x01, 0x10, 0x11, 0x01, 0x00, 0x02, 0xAA, 0xBB}),
              "\tP222\tMB.Rx\t#01.10 <1101> (0002) {aabb}\tWrite n Words\n\n");
}

TEST(ModbusTrace, AnEightByteCode16RequestShowsOnlyTheFieldsItHas)
{
    // The register access call builds 8-byte requests whatever the code; the
    // line must not reach past them for the byte count and values.
    auto frame = std::make_unique<unsigned char[]>(8);
    const unsigned char bytes[8] = {0x01, 0x10, 0x11, 0x01, 0x00, 0x02, 0xAA, 0xBB};
    memcpy(frame.get(), bytes, 8);
    char text[ciMB_TRACE_TEXT];
    EXPECT_EQ(mf_Tovra_Trace__Tx(222, frame.get(), 8, text, sizeof text), 0);
    EXPECT_STREQ(text, "\tP222\tMB.Tx\t#01.10 <1101> (0002) {aabb}\tWrite n Words\n");
}

TEST(ModbusTrace, AByteCountLargerThanTheFrameStopsTheValuesAtTheCrc)
{
    // Exactly sized on the heap, so a read past the frame would be caught by ASan.
    const unsigned char bytes[9] = {0x01, 0x03, 0xFF, 0x00, 0x03, 0x00, 0x01, 0xAA, 0xBB};
    auto frame = std::make_unique<unsigned char[]>(9);
    memcpy(frame.get(), bytes, 9);
    char text[ciMB_TRACE_TEXT];
    EXPECT_EQ(mf_Tovra_Trace__Rx(222, frame.get(), 9, text, sizeof text), 0);
    EXPECT_STREQ(text, "\tP222\tMB.Rx\t#01.03 (ff)   [0003][0001]  {aabb}\tRead\n\n");

    const unsigned char odd[8] = {0x01, 0x03, 0x04, 0x00, 0x03, 0x00, 0xAA, 0xBB};
    EXPECT_EQ(mf_Tovra_Trace__Rx(222, odd, 8, text, sizeof text), 0);
    EXPECT_STREQ(text, "\tP222\tMB.Rx\t#01.03 (04)   [0003]{aabb}\tRead\n\n");
}

TEST(ModbusTrace, AnUnknownCodeEndsTheLineAfterTheCodeAndFails)
{
    char text[ciMB_TRACE_TEXT];
    const unsigned char code7[8] = {0x01, 0x07, 0x00, 0x00, 0x00, 0x00, 0xAA, 0xBB};
    EXPECT_EQ(mf_Tovra_Trace__Tx(222, code7, 8, text, sizeof text), -1);
    EXPECT_STREQ(text, "\tP222\tMB.Tx\t#01.07 \n");
    const unsigned char code83[5] = {0x01, 0x83, 0x02, 0xC0, 0xF1};
    EXPECT_EQ(mf_Tovra_Trace__Rx(222, code83, 5, text, sizeof text), -1);
    EXPECT_STREQ(text, "\tP222\tMB.Rx\t#01.83 \n");
}

TEST(ModbusTrace, TheLineWritersPutTheLineOnTheStreamAndPopUpForAnUnknownCode)
{
    PopupRecorder popups(PopupRecorder::kExpected);
    const unsigned char request[8] = {0x01, 0x03, 0x11, 0x01, 0x00, 0x02, 0x90, 0xF7};
    EXPECT_EQ(Captured([&](FILE *log) { EXPECT_EQ(mf_Tovra_Log_Tx(222, request, 8, log), 0); }),
              kReadBRTx);
    EXPECT_TRUE(popups.popups().empty());

    const unsigned char code8[8] = {0x01, 0x08, 0x00, 0x00, 0x00, 0x00, 0xAA, 0xBB};
    EXPECT_EQ(Captured([&](FILE *log) { EXPECT_EQ(mf_Tovra_Log_Tx(222, code8, 8, log), -1); }),
              "\tP222\tMB.Tx\t#01.08 \n");
    EXPECT_EQ(Captured([&](FILE *log) { EXPECT_EQ(mf_Tovra_Log_Rx(222, code8, 8, log), -1); }),
              "\tP222\tMB.Rx\t#01.08 \n");
    ASSERT_EQ(popups.popups().size(), 2u);
    EXPECT_EQ(popups.popups()[0],
              std::make_pair(std::string("log Tx[] exception"),
                             std::string("not enR, enRo, enWram, enWee, enWmw")));
    EXPECT_EQ(popups.popups()[1], std::make_pair(std::string("log Rx[] exception"),
                                                 std::string("not enR, enRo, enWram, enWee")));
}

TEST(ModbusTrace, TheLongestReadReplyFitsTheTraceBuffer)
{
    Bytes frame(257, 0x11);
    frame[1] = 0x03;
    frame[2] = 0xFE;
    std::string line = Rx(frame, 65535);
    EXPECT_EQ(line.substr(line.size() - 7), "\tRead\n\n");
    EXPECT_NE(line.find("[1111][1111]  {1111}"), std::string::npos);
}

TEST(ModbusTrace, ASmallBufferGetsATruncatedButTerminatedLine)
{
    const unsigned char request[8] = {0x01, 0x03, 0x11, 0x01, 0x00, 0x02, 0x90, 0xF7};
    char text[12];
    memset(text, 'x', sizeof text);
    EXPECT_EQ(mf_Tovra_Trace__Tx(222, request, 8, text, sizeof text), 0);
    EXPECT_STREQ(text, "\tP222\tMB.Tx");
}

} // namespace
