// Times the program's everyday exchange, a read of two registers, against
// the device simulator over a pseudo-terminal, and the pure work inside it.
// Prints figures; it exits non-zero only
// when it cannot set up.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench.h"
#include "devsim.h"
#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "modbus/Modbus_core.h"
#include "platform/serial.h"
#include "platform/ui.h"

namespace {

using Clock = BenchClock;

// CPU work of one exchange without the line: CRC, both trace lines, sorting.
double PureMicroseconds()
{
    constexpr int kRounds = 100000;
    const unsigned char reply[9] = {0x01, 0x03, 0x04, 0x00, 0x03, 0x00, 0x01, 0xCB, 0xF3};
    unsigned char request[8];
    char text[ciMB_TRACE_TEXT];
    short values[2];
    unsigned sink = 0;
    auto start = Clock::now();
    for (int i = 0; i < kRounds; ++i) {
        mf_Tovra_MB_Request__Build(request, 1, 3, 0x1101, 2);
        mf_Tovra_Get_CRC(request, 8);
        sink += (unsigned)mf_Tovra_Trace__Tx(222, request, 8, text, sizeof text);
        sink += (unsigned)mf_Tovra_MB_Reply__Sort(request, 9, reply, 9, values);
        sink += (unsigned)mf_Tovra_Trace__Rx(222, reply, 9, text, sizeof text) + (unsigned)text[3];
    }
    double us = Ms(Clock::now() - start) * 1000.0 / kRounds;
    return sink == 1 ? -us : us; // keeps the loop from being optimised away
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("TOVRA_DEVSIM", TOVRA_DEVSIM_PATH, 0);
    UiInit(&argc, argv); // the serial port needs the application object
    constexpr int kReads = 50;

    std::printf("pure work per exchange (CRC, trace lines, sorting): %.2f us\n", PureMicroseconds());

    DevSim sim;
    if (!sim.ready()) {
        std::printf("cannot set up: the simulator did not start\n%s", sim.output().c_str());
        return kCannotSetUp;
    }
    if (OpenComConfig(ciPORT_umb, sim.comName().c_str(), 9600, 0, 8, 1, 0, 0) != 0 ||
        SetComTime(ciPORT_umb, 0.2) != 0) {
        std::printf("cannot set up: cannot open %s\n", sim.comName().c_str());
        return kCannotSetUp;
    }
    // Traced into a real log, written line by line as the program writes it.
    std::string folder = EnterScratch("tovra-bench");
    if (folder.empty())
        return kCannotSetUp;
    std::FILE *on = std::fopen(caLogSwitchFile, "w");
    std::fputs("1", on);
    std::fclose(on);
    mf_Tovra_Log__Clear();
    mf_Tovra_Log__Append();
    short values[2];
    for (int i = 0; i < 3; ++i) // warm-up
        mf_Tovra_Modbus_dev_RW_16(3, 0x1101, 2, values);

    // As the window's Read comes, from a click: the line has been quiet
    // since the last reply. Back to back, each read first waits out the 3.5
    // characters of silence after the last one's reply (3.6 ms at 9600 8N1).
    std::vector<double> ms, back;
    int failures = 0;
    for (int i = 0; i < kReads; ++i) {
        usleep(10000);
        auto start = Clock::now();
        failures += mf_Tovra_Modbus_dev_RW_16(3, 0x1101, 2, values) != 0;
        ms.push_back(Ms(Clock::now() - start));
    }
    for (int i = 0; i < kReads; ++i) {
        auto start = Clock::now();
        failures += mf_Tovra_Modbus_dev_RW_16(3, 0x1101, 2, values) != 0;
        back.push_back(Ms(Clock::now() - start));
    }
    CloseCom(ciPORT_umb);
    mf_Tovra_Log__Close();
    std::remove(caLogSwitchFile);
    std::remove(caLogFile);
    rmdir(folder.c_str());

    std::sort(ms.begin(), ms.end());
    std::sort(back.begin(), back.end());
    const double settle = cdMB_SETTLE * 1000.0;
    double median = Median(ms);
    std::printf("read of two registers over a pty, %d times each way (%d failed):\n", kReads, failures);
    std::printf("  back to back: median %.3f ms, %.3f ms beyond the settle\n", Median(back),
                Median(back) - settle);
    std::printf("  10 ms apart, as a click comes:\n");
    std::printf("  median %.3f ms, min %.3f ms, 90%% %.3f ms, max %.3f ms\n", median, ms.front(),
                ms[kReads * 9 / 10], ms.back());
    std::printf("  beyond the %.0f ms settle: median %.3f ms, min %.3f ms (target < 1 ms median)\n",
                settle, median - settle, ms.front() - settle);
    return 0;
}
