// The simulator as an RS-485 bus: frames cut by silence, several slaves,
// late replies, the adapter's echo and noise, seen by a master on the
// pseudo-terminal.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "master.h"
#include "scratch.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

const Bytes kReadBR{0x01, 0x03, 0x11, 0x01, 0x00, 0x02};
const Bytes kReadBRFramed{0x01, 0x03, 0x11, 0x01, 0x00, 0x02, 0x90, 0xf7};
const Bytes kReplyBR{0x01, 0x03, 0x04, 0x00, 0x03, 0x00, 0x03, 0x4a, 0x32}; // BR1=BR2=3
const Bytes kReplyBR2{0x02, 0x03, 0x04, 0x00, 0x03, 0x00, 0x03, 0x79, 0x32}; // from slave 2
const std::vector<int> kTimeout{-ETIMEDOUT};

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The bytes that arrived, each with when it came (ms after `from`), and
// how many reads they took.
struct Arrival {
    Bytes bytes;
    std::vector<double> ms;
    int reads = 0;
};

// Every byte that arrives until `want` bytes are in or `limitMs` have passed.
Arrival Timed(modbus_t *m, size_t want, int limitMs, Clock::time_point from = Clock::now())
{
    Arrival a;
    auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    pollfd p{modbus_get_socket(m), POLLIN, 0};
    uint8_t buf[256];
    while (a.bytes.size() < want) {
        int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now())
                           .count());
        int ready = left > 0 ? poll(&p, 1, left) : 0;
        ssize_t n = ready > 0 ? read(p.fd, buf, sizeof buf) : -1;
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) // a signal, or a wake-up for nothing
            continue;
        if (n <= 0)
            break;
        a.bytes.insert(a.bytes.end(), buf, buf + n);
        a.ms.insert(a.ms.end(), size_t(n), MsSince(from));
        a.reads++;
    }
    return a;
}

Bytes Collect(modbus_t *m, size_t want, int limitMs) { return Timed(m, want, limitMs).bytes; }

std::string Hex(const Bytes &bytes)
{
    std::string text;
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, text.empty() ? "%02x" : " %02x", b);
        text += buf;
    }
    return text;
}

// Sends bytes as they are, without a CRC.
void SendRaw(modbus_t *m, const Bytes &bytes)
{
    ASSERT_EQ(write(modbus_get_socket(m), bytes.data(), bytes.size()), ssize_t(bytes.size()));
}

} // namespace

class DevSimBusTest : public ScratchDirTest {};

TEST_F(DevSimBusTest, AfterJunkOnTheLineTheRequestAfterASilenceIsAnsweredAtOnce)
{
    struct Junk {
        const char *what;
        Bytes bytes;
        bool framed;   // sent with a CRC
        Bytes reply;   // what the junk itself gets back
        int silenceMs; // before the next request
    } rows[] = {
        // 100 ms: far above 3.5 characters, far below the half second an
        // unsynchronised receiver needs to give up on a frame.
        {"a stray 0x00", {0x00}, false, {}, 100},
        {"a stray 0xff", {0xFF}, false, {}, 100},
        {"a request cut off after 5 bytes", {0x01, 0x03, 0x11, 0x01, 0x00}, false, {}, 100},
        {"an FC43 request", {0x01, 0x2B, 0x0E, 0x01, 0x00}, true, {0x01, 0xAB, 0x01, 0x9e, 0xf0},
         100},
        {"a request glued to a stray byte",
         {0xFF, 0x01, 0x03, 0x11, 0x01, 0x00, 0x02, 0x90, 0xf7}, false, {}, 100},
        // An ID scan moves on sooner than the other slave's reply time-out.
        {"a request for another slave", {0x05, 0x03, 0x11, 0x01, 0x00, 0x02}, true, {}, 30},
    };
    DevSim sim;
    ASSERT_TRUE(sim.ready()) << sim.output();
    Master m = Connect(sim);
    for (const Junk &junk : rows) {
        if (junk.framed)
            modbus_send_raw_request(m.get(), junk.bytes.data(), int(junk.bytes.size()));
        else
            SendRaw(m.get(), junk.bytes);
        EXPECT_EQ(Collect(m.get(), 64, junk.silenceMs), junk.reply) << junk.what;

        auto sent = Clock::now();
        modbus_send_raw_request(m.get(), kReadBR.data(), int(kReadBR.size()));
        Bytes reply = Collect(m.get(), kReplyBR.size(), 1000);
        double ms = MsSince(sent);
        std::printf("[ measured ] after %s: answered in %.1f ms\n", junk.what, ms);
        EXPECT_EQ(reply, kReplyBR) << junk.what << "\n" << sim.output();
        // Some 5 ms on a quiet machine; a busy one may take longer, still far
        // below the half second of a receiver that lost the frames.
        EXPECT_LT(ms, 150) << junk.what;
    }
    EXPECT_TRUE(sim.waitForOutput("note: 1 byte dropped: too short for a frame", 2));
    EXPECT_TRUE(sim.waitForOutput("note: 5 bytes dropped: bad CRC"));
    EXPECT_TRUE(sim.waitForOutput("note: 9 bytes dropped: bad CRC")) << sim.output();
}

TEST_F(DevSimBusTest, AFrameEndsAfterThreeAndAHalfCharactersAtTheMastersBaudRate)
{
    // A request sent in two halves 60 ms apart: one frame at 300 baud (3.5
    // characters are 128 ms), two fragments at 9600 baud (4 ms).
    struct Row {
        long baud;
        Bytes reply;
    } rows[] = {{300, kReplyBR}, {9600, {}}};
    DevSim sim;
    ASSERT_TRUE(sim.ready()) << sim.output();
    for (const Row &row : rows) {
        Master m = Connect(sim, 1, 200, {row.baud, 'N', 1});
        SendRaw(m.get(), Bytes(kReadBRFramed.begin(), kReadBRFramed.begin() + 4));
        usleep(60000);
        SendRaw(m.get(), Bytes(kReadBRFramed.begin() + 4, kReadBRFramed.end()));
        EXPECT_EQ(Collect(m.get(), kReplyBR.size(), 600), row.reply) << row.baud << " baud";
    }
    EXPECT_TRUE(sim.waitForOutput("note: 4 bytes dropped: bad CRC", 2)) << sim.output();
}

TEST_F(DevSimBusTest, FunctionsTheDeviceLacksAnswerExceptionOneWhateverTheirLength)
{
    const Bytes requests[] = {
        {0x01, 0x08, 0x00, 0x00, 0x12, 0x34},                   // diagnostics, echo
        {0x01, 0x2B, 0x0E, 0x01, 0x00},                         // read device identification
        {0x01, 0x41},                                           // user code, no data
        {0x01, 0x64, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07}, // user code, 7 data bytes
    };
    DevSim sim;
    ASSERT_TRUE(sim.ready()) << sim.output();
    Master m = Connect(sim);
    for (const Bytes &request : requests) {
        modbus_send_raw_request(m.get(), request.data(), int(request.size()));
        uint8_t reply[MODBUS_RTU_MAX_ADU_LENGTH];
        int n = modbus_receive_confirmation(m.get(), reply); // checks the CRC
        ASSERT_EQ(n, 5) << "function " << int(request[1]) << ": " << modbus_strerror(errno);
        EXPECT_EQ(Bytes(reply, reply + 3), (Bytes{0x01, uint8_t(request[1] | 0x80), 0x01}));
    }
    EXPECT_EQ(Read(m.get(), 0x1101, 2), (std::vector<int>{3, 3})) << "nothing was written";
}

TEST_F(DevSimBusTest, SlavesOfABusAnswerTheirOwnIdsWithTheirOwnRegistersAndLines)
{
    WriteFileBytes("tovra-devsim-state-1.txt", "BR1=1\nBR2=2\n");
    DevSim sim({"--slave", "1", "--slave", "2", "--slave", "3,line=19200:E:1"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    struct Probe {
        int id;
        Line line;
        std::vector<int> values;
    } probes[] = {
        {1, {9600, 'N', 1}, {1, 2}}, // its own state file
        {2, {9600, 'N', 1}, {3, 3}}, // no state file: the defaults
        {3, {9600, 'N', 1}, kTimeout},
        {3, {19200, 'E', 1}, {3, 3}},
        {4, {9600, 'N', 1}, kTimeout}, // not on the bus
    };
    for (const Probe &p : probes)
        EXPECT_EQ(Read(Connect(sim, p.id, 150, p.line).get(), 0x1101, 2), p.values)
            << "slave " << p.id << " at " << p.line.baud << "\n" << sim.output();

    Master two = Connect(sim, 2);
    EXPECT_EQ(Write(two.get(), 0x1101, 6), 0);
    EXPECT_EQ(StoreEeprom(two.get()), 0);
    EXPECT_EQ(ReadFileBytes("tovra-devsim-state-2.txt"), "BR1=6\nBR2=3\n");
    EXPECT_EQ(ReadFileBytes("tovra-devsim-state-1.txt"), "BR1=1\nBR2=2\n");
    EXPECT_FALSE(FileExists("tovra-devsim-state.txt"));
    EXPECT_EQ(Read(Connect(sim, 1).get(), 0x1101, 2), (std::vector<int>{1, 2}));
}

TEST_F(DevSimBusTest, ASlowSlavesReplyArrivesDuringTheMastersNextRequest)
{
    DevSim sim({"--slave", "1", "--slave", "2,delay=300"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    Master m = Connect(sim);
    Bytes toTwo{0x02, 0x03, 0x11, 0x01, 0x00, 0x02};
    auto sent = Clock::now();
    modbus_send_raw_request(m.get(), toTwo.data(), int(toTwo.size()));
    EXPECT_TRUE(Collect(m.get(), 1, 100).empty()) << "the master times out and moves on";

    modbus_send_raw_request(m.get(), kReadBR.data(), int(kReadBR.size()));
    Bytes got = Collect(m.get(), 2 * kReplyBR.size(), 2000);
    double ms = MsSince(sent);
    Bytes both = kReplyBR;
    both.insert(both.end(), kReplyBR2.begin(), kReplyBR2.end());
    EXPECT_EQ(got, both) << "slave 1 at once, then slave 2's late reply\n" << sim.output();
    EXPECT_GE(ms, 300);
    EXPECT_TRUE(sim.waitForOutput("note: slave 2: reply in 300 ms"));

    // --delay is the one-slave form.
    DevSim late({"--com", "201", "--delay", "300"});
    ASSERT_TRUE(late.ready()) << late.output();
    sent = Clock::now();
    EXPECT_EQ(Read(Connect(late, 1, 2000).get(), 0x1101, 2), (std::vector<int>{3, 3}));
    EXPECT_GE(MsSince(sent), 300);
}

TEST_F(DevSimBusTest, WithEchoTheMasterGetsItsExactRequestBeforeTheReply)
{
    DevSim sim({"--echo"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    Master m = Connect(sim);
    Bytes expected = kReadBRFramed;
    expected.insert(expected.end(), kReplyBR.begin(), kReplyBR.end());
    EXPECT_EQ(RawExchange(m.get(), kReadBR), expected);
    Bytes junk{0xFF, 0x00, 0x17};
    SendRaw(m.get(), junk);
    EXPECT_EQ(Collect(m.get(), 64, 100), junk) << "every byte, frame or not";
    EXPECT_TRUE(sim.waitForOutput("echo 01 03 11 01 00 02 90 f7\nrx 01 03 11 01 00 02 90 f7\n"
                                  "tx 01 03 04 00 03 00 03 4a 32"))
        << sim.output();
}

TEST_F(DevSimBusTest, NoiseComesBetweenRequestAndReplyAndRepeatsWithTheSeed)
{
    DevSim first({"--noise", "1", "--seed", "7"});
    DevSim again({"--com", "201", "--noise", "100%", "--seed", "7"});
    ASSERT_TRUE(first.ready() && again.ready()) << first.output() << again.output();
    Bytes got = RawExchange(Connect(first).get(), kReadBR);
    ASSERT_GT(got.size(), kReplyBR.size());
    Bytes noise(got.begin(), got.end() - long(kReplyBR.size()));
    EXPECT_LE(noise.size(), 8u);
    EXPECT_EQ(Bytes(got.end() - long(kReplyBR.size()), got.end()), kReplyBR)
        << "the reply itself is whole";
    EXPECT_EQ(RawExchange(Connect(again).get(), kReadBR), got) << "the same seed, the same noise";
    EXPECT_TRUE(first.waitForOutput("noise " + Hex(noise) + "\n"))
        << first.output();
}

TEST_F(DevSimBusTest, OnTheWireEachByteTakesItsCharacterTimeAfterTheTurnaround)
{
    // A two-register read: 8 bytes out, 9 back. A byte never comes early, and
    // a busy reader only sees it later, so the lower bounds are exact; the
    // upper ones leave room for a busy machine.
    struct Row {
        std::vector<std::string> args;
        Line line;
        double firstMs; // the reply's first byte, at the earliest
        double lastMs;  // its last byte, at the earliest
        int maxReads;
    } rows[] = {
        // 12-bit characters of 10 ms: the request 80 ms, the frame's end
        // 32 ms of silence later, then the reply's 9 characters.
        {{"--wire", "--line", "1200,E,2"}, {1200, 'E', 2}, 80 + 32 + 10, 80 + 32 + 90, 9},
        // The turnaround counts from the request's last byte.
        {{"--wire", "--line", "1200,E,2", "--turnaround", "70"}, {1200, 'E', 2}, 80 + 70 + 10,
         80 + 70 + 90, 9},
        // Without --line the wire runs at the master's settings: 8N1, 8.33 ms.
        {{"--wire", "--turnaround", "70"}, {1200, 'N', 1}, 66.7 + 70 + 8.3, 66.7 + 70 + 75, 9},
        // An adapter with a 50 ms latency timer hands the 90 ms reply over in
        // at most 3 chunks.
        {{"--wire", "--line", "1200,E,2", "--latency", "50"}, {1200, 'E', 2}, 80 + 32 + 10,
         80 + 32 + 90, 3},
    };
    for (const Row &row : rows) {
        DevSim sim(row.args);
        ASSERT_TRUE(sim.ready()) << sim.output();
        Master m = Connect(sim, 1, 200, row.line);
        std::string what = row.args.back() + " at " + std::to_string(row.line.baud);
        double fastest = 1e9;
        for (int run = 0; run < 3; ++run) { // the fastest of three for the upper bound
            auto sent = Clock::now();
            modbus_send_raw_request(m.get(), kReadBR.data(), int(kReadBR.size()));
            Arrival a = Timed(m.get(), kReplyBR.size(), 2000, sent);
            ASSERT_EQ(a.ms.size(), kReplyBR.size()) << what << "\n" << sim.output();
            std::printf("[ measured ] %s: first byte %.1f ms, last %.1f ms, %d reads\n",
                        what.c_str(), a.ms.front(), a.ms.back(), a.reads);
            EXPECT_GE(a.ms.front(), row.firstMs - 0.5) << what;
            EXPECT_GE(a.ms.back(), row.lastMs - 0.5) << what;
            EXPECT_LE(a.reads, row.maxReads) << what;
            fastest = std::min(fastest, a.ms.back());
            usleep(50000); // a quiet line before the next request
        }
        EXPECT_LT(fastest, row.lastMs + 100) << what;
    }
}

TEST_F(DevSimBusTest, ARequestWithinThreeAndAHalfCharactersOfTheLastByteIsNoted)
{
    // At 600 8E2 a master owes the line 70 ms of silence before a request: a
    // window wider than the pseudo-terminal's own delays on a busy machine.
    struct Row {
        const char *what;
        size_t waitFor;   // bytes of the first reply received before the second request
        int pauseMs;      // then this long
        const char *note; // nullptr: none
    } rows[] = {
        {"after 3.5 characters", 9, 120, nullptr},
        {"at once after the reply", 9, 0, "ms after the last byte on the line; 3.5 characters "
                                          "at 600 8E2 are 70.0 ms"},
        {"while the reply is on the line", 1, 0, "a request began while a reply was on the line"},
    };
    DevSim sim({"--wire", "--line", "600,E,2"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    Master m = Connect(sim, 1, 200, {600, 'E', 2});
    auto count = [&](const std::string &text) {
        std::string out = sim.output();
        int n = 0;
        for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1))
            n++;
        return n;
    };
    int replies = 0, notes = 0;
    for (const Row &row : rows) {
        modbus_send_raw_request(m.get(), kReadBR.data(), int(kReadBR.size()));
        Bytes got = Collect(m.get(), row.waitFor, 2000);
        usleep(useconds_t(row.pauseMs) * 1000);
        modbus_send_raw_request(m.get(), kReadBR.data(), int(kReadBR.size()));
        Bytes rest = Collect(m.get(), 2 * kReplyBR.size() - got.size(), 2000);
        got.insert(got.end(), rest.begin(), rest.end());
        Bytes both = kReplyBR;
        both.insert(both.end(), kReplyBR.begin(), kReplyBR.end());
        EXPECT_EQ(got, both) << row.what << "\n" << sim.output();
        replies += 2;
        notes += row.note ? 1 : 0;
        ASSERT_TRUE(sim.waitForOutput("tx ", replies)) << sim.output();
        EXPECT_EQ(count("note: silence too short: "), notes) << row.what << "\n" << sim.output();
        if (row.note) {
            EXPECT_EQ(count(row.note), 1) << row.what << "\n" << sim.output();
        }
        usleep(200000); // a quiet line before the next row
    }
}
