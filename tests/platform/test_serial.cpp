// The serial services over a real pseudo-terminal pair: the test holds the
// master side, the port under test opens the slave side through the port map.
#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/serial.h"
#include "platform/serial_map.h"
#include "scratch.h"

namespace {

constexpr int kPort = 222;

class SerialTest : public ScratchDirTest {
protected:
    void SetUp() override
    {
        ScratchDirTest::SetUp();
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(grantpt(master_), 0);
        ASSERT_EQ(unlockpt(master_), 0);
        termios t;
        tcgetattr(master_, &t);
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
        std::filesystem::create_directory("ports");
        setenv("TOVRA_PORTS_DIR", (dir_ + "/ports").c_str(), 1);
        std::filesystem::create_symlink(ptsname(master_), "ports/COM200");
    }
    void TearDown() override
    {
        CloseCom(kPort);
        CloseCom(kPort + 1);
        close(master_);
        unsetenv("TOVRA_PORTS_DIR");
        ScratchDirTest::TearDown();
    }
    void Open(double timeLimit)
    {
        ASSERT_EQ(OpenComConfig(kPort, "COM200", 9600, kParityNone, 8, 1, 0, 0), 0);
        ASSERT_EQ(SetComTime(kPort, timeLimit), 0);
    }
    void Send(const std::string &bytes) { ASSERT_EQ(write(master_, bytes.data(), bytes.size()), (ssize_t)bytes.size()); }
    std::string Receive(size_t count)
    {
        std::string got;
        while (got.size() < count) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0)
                break;
            char buf[256];
            ssize_t n = read(master_, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, static_cast<size_t>(n));
        }
        return got;
    }
    int master_ = -1;
};

} // namespace

TEST_F(SerialTest, AReadReturnsAsSoonAsItsCountIsIn)
{
    Open(5.0);
    Send(std::string("\x01\x03\x04\x00\x03", 5));
    char buf[8] = {};
    QElapsedTimer t;
    t.start();
    ASSERT_EQ(ComRd(kPort, buf, 5), 5);
    EXPECT_LT(t.elapsed(), 4000) << "it must not wait for the 5 s limit";
    EXPECT_EQ(std::string(buf, 5), std::string("\x01\x03\x04\x00\x03", 5));
}

TEST_F(SerialTest, AShortCountComesBackAtTheTimeLimitAndZeroWhenNothingCame)
{
    Open(0.2);
    char buf[16];
    EXPECT_EQ(ComRd(kPort, buf, 9), 0);
    Send("abc");
    EXPECT_EQ(ComRd(kPort, buf, 9), 3);
    EXPECT_EQ(std::string(buf, 3), "abc");
}

TEST_F(SerialTest, SurplusBytesStayQueuedUntilReadOrFlushed)
{
    Open(0.5);
    Send("0123456789");
    char buf[16];
    ASSERT_EQ(ComRd(kPort, buf, 4), 4);
    ASSERT_EQ(ComRd(kPort, buf, 6), 6);
    EXPECT_EQ(std::string(buf, 6), "456789");

    Send("0123456789");
    ASSERT_EQ(ComRd(kPort, buf, 4), 4);
    ASSERT_EQ(FlushInQ(kPort), 0);
    SetComTime(kPort, 0.1);
    EXPECT_EQ(ComRd(kPort, buf, 6), 0);
}

TEST_F(SerialTest, BytesWrittenArriveOnTheOtherSideUnchanged)
{
    Open(0.5);
    // 0x11/0x13 (XON/XOFF) and 0x0A must pass untouched on a raw line.
    const std::string frame("\x01\x05\x00\x00\xFF\x00\x8C\x3A\x11\x13\x0A", 11);
    ASSERT_EQ(FlushOutQ(kPort), 0);
    ASSERT_EQ(ComWrt(kPort, frame.data(), static_cast<int>(frame.size())), 11);
    EXPECT_EQ(Receive(frame.size()), frame);
}

TEST_F(SerialTest, ASecondOpenOfAHeldDeviceFailsAsBusy)
{
    Open(0.2);
    EXPECT_EQ(OpenComConfig(kPort + 1, "COM200", 9600, kParityNone, 8, 1, 0, 0), kComErrBusy);
    // Closing releases it for the next open.
    CloseCom(kPort);
    EXPECT_EQ(OpenComConfig(kPort + 1, "COM200", 9600, kParityNone, 8, 1, 0, 0), 0);
}

TEST_F(SerialTest, NamesWithoutADeviceFailWithTheirOwnCodes)
{
    EXPECT_EQ(OpenCom(kPort, "COM201"), kComErrNotMapped) << "COM129-256 exist only as links";
    EXPECT_EQ(OpenCom(kPort, "COM0"), kComErrNotMapped);
    EXPECT_EQ(OpenCom(kPort, "COM300"), kComErrNotMapped);
    std::filesystem::create_symlink("/dev/nonexistent-tty", "ports/COM202");
    EXPECT_EQ(OpenCom(kPort, "COM202"), kComErrAbsent);
    EXPECT_EQ(OpenComConfig(kPort, "COM200", 9600, 5, 8, 1, 0, 0), kComErrSettings);
    EXPECT_STREQ(GetRS232ErrorString(kComErrBusy), "serial device busy: another program holds it");
}

TEST_F(SerialTest, EveryCallOnAPortThatIsNotOpenFailsAsNotOpen)
{
    char buf[4];
    EXPECT_EQ(ComRd(kPort, buf, 4), kComErrNotOpen);
    EXPECT_EQ(ComWrt(kPort, "ab", 2), kComErrNotOpen);
    EXPECT_EQ(FlushInQ(kPort), kComErrNotOpen);
    EXPECT_EQ(FlushOutQ(kPort), kComErrNotOpen);
    EXPECT_EQ(SetComTime(kPort, 0.2), kComErrNotOpen);
    EXPECT_EQ(CloseCom(kPort), 0) << "closing a closed port is harmless";
}

long CpuMilliseconds()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000;
}

long ResidentKiB()
{
    long pages = 0, resident = 0;
    FILE *f = std::fopen("/proc/self/statm", "r");
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::vector<std::string> gLost;

TEST_F(SerialTest, ADeviceThatGoesAwayClosesThePortOnceTellsTheProgramAndLeavesTheCpuIdle)
{
    gLost.clear();
    SetComLostCallback([](int port, const char *name, int code) {
        gLost.push_back(std::to_string(port) + " " + name + " " + std::to_string(code));
    });
    Open(0.2);
    close(master_); // the adapter is pulled out
    master_ = posix_openpt(O_RDWR | O_NOCTTY); // keep TearDown's close harmless
    long cpu = CpuMilliseconds();
    QTest::qWait(1000);
    EXPECT_LT(CpuMilliseconds() - cpu, 50) << "the hang-up must not keep the event loop busy";
    EXPECT_EQ(gLost, std::vector<std::string>{"222 COM200 -9"});
    char buf[4];
    EXPECT_EQ(ComRd(kPort, buf, 4), kComErrNotOpen);
    SetComLostCallback(nullptr);
}

TEST_F(SerialTest, AFloodOnAnIdleOpenPortKeepsMemoryFlatAndTheNextReplyIsReadWhole)
{
    Open(0.5);
    fcntl(master_, F_SETFL, O_NONBLOCK);
    std::atomic<bool> stop{false};
    std::atomic<long> sent{0};
    std::thread flood([&] {
        std::string chunk(65536, '\x55');
        while (!stop) {
            ssize_t n = write(master_, chunk.data(), chunk.size());
            if (n > 0)
                sent += n;
            else
                usleep(10);
        }
    });
    long before = ResidentKiB();
    QTest::qWait(1000);
    stop = true;
    flood.join();
    EXPECT_LT(ResidentKiB() - before, 2 * 1024) << sent << " bytes came in";

    fcntl(master_, F_SETFL, 0);
    ASSERT_EQ(FlushInQ(kPort), 0);
    Send(std::string("\x01\x03\x02\x00\x03\xf8\x45", 7));
    char buf[8] = {};
    ASSERT_EQ(ComRd(kPort, buf, 7), 7);
    EXPECT_EQ(std::string(buf, 7), std::string("\x01\x03\x02\x00\x03\xf8\x45", 7));
}

TEST(ComNaming, FixedRangesMapComNumbersToLinuxDevices)
{
    auto none = [](const char *) { return ciComLinkNone; };
    struct {
        const char *name;
        const char *path;
    } cases[] = {
        {"COM1", "/dev/ttyS0"},     {"COM32", "/dev/ttyS31"},    {"COM33", "/dev/ttyUSB0"},
        {"COM96", "/dev/ttyUSB63"}, {"COM97", "/dev/ttyACM0"},   {"COM128", "/dev/ttyACM31"},
        {"/dev/pts/7", "/dev/pts/7"},
    };
    for (auto &c : cases) {
        char out[64];
        ASSERT_TRUE(ComResolveName(c.name, "/x", none, out, sizeof out)) << c.name;
        EXPECT_STREQ(out, c.path);
    }
    char out[64];
    for (const char *bad : {"COM129", "COM256", "COM0", "COM257", "COM05", "com5", "COM5x", "LPT1", ""})
        EXPECT_FALSE(ComResolveName(bad, "/x", none, out, sizeof out)) << bad;
    EXPECT_FALSE(ComResolveName("COM1", "/x", none, out, 6)) << "a path that does not fit";
}

TEST(ComNaming, ALinkInThePortMapWinsOverTheFixedRange)
{
    auto all = [](const char *) { return ciComLinkLive; };
    char out[64];
    ASSERT_TRUE(ComResolveName("COM5", "/maps", all, out, sizeof out));
    EXPECT_STREQ(out, "/maps/COM5");
    ASSERT_TRUE(ComResolveName("COM200", "/maps", all, out, sizeof out));
    EXPECT_STREQ(out, "/maps/COM200");
}

TEST(ComSettings, ParityCodesDataAndStopBitsMapToTheLineSettings)
{
    const QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                            QSerialPort::EvenParity, QSerialPort::MarkParity,
                                            QSerialPort::SpaceParity};
    for (int code = 0; code < 5; ++code) {
        ComLineSettings s;
        ASSERT_TRUE(ComMapSettings(9600, code, 7, 2, &s));
        EXPECT_EQ(s.parity, parities[code]);
        EXPECT_EQ(s.dataBits, QSerialPort::Data7);
        EXPECT_EQ(s.stopBits, QSerialPort::TwoStop);
    }
    ComLineSettings s;
    ASSERT_TRUE(ComMapSettings(115200, 0, 8, 1, &s));
    EXPECT_EQ(s.dataBits, QSerialPort::Data8);
    EXPECT_EQ(s.stopBits, QSerialPort::OneStop);
    EXPECT_FALSE(ComMapSettings(9600, 5, 8, 1, &s));
    EXPECT_FALSE(ComMapSettings(9600, -1, 8, 1, &s));
    EXPECT_FALSE(ComMapSettings(9600, 0, 9, 1, &s));
    EXPECT_FALSE(ComMapSettings(9600, 0, 8, 3, &s));
    EXPECT_FALSE(ComMapSettings(0, 0, 8, 1, &s));
}
