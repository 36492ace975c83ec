// The device dump over SetupAPI. scripts/wine-check.sh registers COM5, the
// simulator's pseudo-terminal, as a Ports-class device whose friendly name
// is caChineseName.
#include "platform/devices.h"
#include "tests/wine/wine_check.h"

#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr const char *caChineseName = "通訊連接埠 (COM5)";
constexpr const char *caDump = "Dev_Mng_00_All_DEV.txt";

std::vector<std::string> Lines(const char *file)
{
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool Has(const std::vector<std::string> &lines, const std::string &wanted)
{
    for (const std::string &line : lines)
        if (line == wanted)
            return true;
    return false;
}

} // namespace

int main()
{
    std::ofstream(caDump) << "Stale Serial Port (COM9)\n";
    DumpSystemDevices(caDump);
    std::vector<std::string> lines = Lines(caDump);
    WineCheck(Has(lines, caChineseName),
              "the device dump lists the registered COM5 by its Chinese friendly name, intact");
    if (!Has(lines, caChineseName))
        for (const std::string &line : lines)
            std::printf("  dump: %s\n", line.c_str());
    WineCheck(!lines.empty() && !Has(lines, "Stale Serial Port (COM9)"),
              "the device dump replaces the previous one: a port gone is no longer listed");
    return giWineFailed ? 1 : 0;
}
