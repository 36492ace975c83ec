// The device list: friendly names, the fixed COM numbers, and the Linux list
// with a port map over real pseudo-terminals.

#include <cstdlib>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/devices.h"
#include "platform/serial_map.h"
#include "scratch.h"

namespace fs = std::filesystem;

namespace {

struct NameRow {
    DeviceFacts facts;
    std::string name;
};

std::string Name(const DeviceFacts &facts)
{
    char out[ciFriendlyNameMax + 1];
    DeviceFriendlyName(&facts, out, sizeof out);
    return out;
}

} // namespace

TEST(DeviceFriendlyName, JoinsWhatThePortReportsWithKernelNameAndComNumber)
{
    const NameRow rows[] = {
        {{"", "", "ttyS0", -1, 1}, "Communications Port [ttyS0] (COM1)"},
        {{"", "", "pts/3", -1, 200}, "Virtual serial port [pts/3] (COM200)"},
        {{"FTDI", "FT232R USB UART", "ttyUSB0", 0x0403, 33}, "FTDI FT232R USB UART [ttyUSB0] (COM33)"},
        {{"", "USB-Serial Controller", "ttyUSB1", 0x067b, 34}, "Prolific USB-Serial Controller [ttyUSB1] (COM34)"},
        {{"Prolific Technology Inc.", "USB-Serial Controller", "ttyUSB0", 0x067b, 5},
         "Prolific Technology Inc. USB-Serial Controller [ttyUSB0] (COM5)"},
        {{"", "", "ttyAMA0", -1, 0}, "Serial Port [ttyAMA0]"},
        {{"Acme\nCorp", "Tab\there", "ttyACM0", -1, 97}, "Acme Corp Tab here [ttyACM0] (COM97)"},
        {{"", "USB Optical Mouse", "", -1, 0}, "USB Optical Mouse"},
    };
    for (const NameRow &row : rows)
        EXPECT_EQ(Name(row.facts), row.name);
}

TEST(DeviceFriendlyName, IsCutOnACharacterBoundaryToFit255BytesKeepingItsTail)
{
    std::string longText;
    for (int i = 0; i < 200; ++i)
        longText += "\xC3\xA9"; // é, two bytes
    for (int vendor : {-1, 0x067b}) {
        std::string name = Name({longText.c_str(), "", "ttyUSB0", vendor, 33});
        EXPECT_LE(name.size(), 255u);
        EXPECT_EQ(name.substr(name.size() - 20), "\xC3\xA9 [ttyUSB0] (COM33)");
        EXPECT_EQ(name.rfind("Prolific ", 0) == 0, vendor == 0x067b);
    }
}

TEST(ComNumberOfDevice, FollowsTheFixedRanges)
{
    const std::pair<const char *, int> rows[] = {
        {"/dev/ttyS0", 1},     {"/dev/ttyS31", 32},   {"/dev/ttyS32", 0},   {"/dev/ttyUSB0", 33},
        {"/dev/ttyUSB63", 96}, {"/dev/ttyUSB64", 0},  {"/dev/ttyACM0", 97}, {"/dev/ttyACM31", 128},
        {"/dev/ttyUSB01", 0},  {"/dev/ttyUSB", 0},    {"/dev/ttyS1x", 0},   {"/dev/pts/3", 0},
    };
    for (auto [path, com] : rows)
        EXPECT_EQ(ComNumberOfDevice(path), com) << path;
}

class DeviceList : public ScratchDirTest {};

TEST_F(DeviceList, PortMapLinksAreListedByTheirNumberOnlyWhenTheyLeadToADevice)
{
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    fs::create_directory("ports");
    setenv("TOVRA_PORTS_DIR", (dir_ + "/ports").c_str(), 1);
    fs::create_symlink(ptsname(master), "ports/COM200");
    fs::create_symlink("/nonexistent/ttyUSB9", "ports/COM201");
    WriteFileBytes("ports/COM202", "not a device");
    WriteFileBytes("ports/notes.txt", "");
    DumpPresentDevices("devices.txt");
    const std::string list = ReadFileBytes("devices.txt");
    std::string pts = std::string(ptsname(master)).substr(5);
    close(master);
    unsetenv("TOVRA_PORTS_DIR");
    EXPECT_NE(list.find("Virtual serial port [" + pts + "] (COM200)\n"), std::string::npos) << list;
    EXPECT_EQ(list.find("(COM201)"), std::string::npos);
    EXPECT_EQ(list.find("(COM202)"), std::string::npos);
}

// The port map holds a pseudo-terminal's link from the start; a second one
// appears after the list was gathered ahead, as an adapter plugged in late.
TEST_F(DeviceList, AListGatheredAheadIsTheListASearchGathersAndLaterSearchesGatherAgain)
{
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    fs::create_directory("ports");
    setenv("TOVRA_PORTS_DIR", (dir_ + "/ports").c_str(), 1);
    fs::create_symlink(ptsname(master), "ports/COM200");
    DumpPresentDevices("at-once.txt");
    PrefetchPresentDevices();
    DumpPresentDevices("ahead.txt");
    fs::create_symlink(ptsname(master), "ports/COM201");
    DumpPresentDevices("after.txt");
    const std::string pts = std::string(ptsname(master)).substr(5);
    close(master);
    unsetenv("TOVRA_PORTS_DIR");
    EXPECT_NE(ReadFileBytes("at-once.txt").find("[" + pts + "] (COM200)\n"), std::string::npos);
    EXPECT_EQ(ReadFileBytes("ahead.txt"), ReadFileBytes("at-once.txt"));
    EXPECT_NE(ReadFileBytes("after.txt").find("[" + pts + "] (COM201)\n"), std::string::npos)
        << ReadFileBytes("after.txt");
}
