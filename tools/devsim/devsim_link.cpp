// The simulator's entry in the COM-port map: a symbolic link COMn in the
// port-map folder pointing to the pseudo-terminal's device path, marked as
// the simulator's by COMn.pid beside it.
#include "devsim.h"

#include "platform/sim_link.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

std::string mf_Dev_PortsDir__default()
{
    if (const char *dir = std::getenv("TOVRA_PORTS_DIR"); dir && *dir)
        return dir;
    const char *home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd *pw = getpwuid(getuid());
        home = pw ? pw->pw_dir : "/";
    }
    return std::string(home) + "/.config/tovra/ports";
}

bool mf_Dev_Link__make(const std::string &dir, int com, const std::string &target,
                       std::string &linkPath, std::string &error)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        error = "cannot create the port-map folder " + dir + ": " + ec.message();
        return false;
    }
    linkPath = dir + "/COM" + std::to_string(com);

    struct stat st;
    if (lstat(linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = linkPath + " exists and is not a link; not replaced";
            return false;
        }
        std::string old = fs::read_symlink(linkPath, ec).string();
        bool dangling = stat(linkPath.c_str(), &st) != 0;
        // A link to our own pseudo-terminal is one that an earlier, killed
        // simulator left behind before the kernel handed the number to us;
        // a marked link whose simulator is gone is left over as well.
        if (!dangling && old != target && !ComSimLinkStale(linkPath.c_str())) {
            error = linkPath + " already points to " + old +
                    ", which exists; choose another --com, or remove the link if it is "
                    "left over";
            return false;
        }
    }
    // Create beside it and rename over it, so the name is never missing or
    // half made; the mark first, so the new link is never unmarked.
    std::string tmp = dir + "/.COM" + std::to_string(com) + ".tmp" + std::to_string(getpid());
    unlink(tmp.c_str());
    bool marked = static_cast<bool>(std::ofstream(tmp) << getpid() << '\n') &&
                  rename(tmp.c_str(), ComSimPidPath(linkPath).c_str()) == 0;
    if (!marked || symlink(target.c_str(), tmp.c_str()) != 0 ||
        rename(tmp.c_str(), linkPath.c_str()) != 0) {
        error = "cannot link " + linkPath + " to " + target + ": " + std::strerror(errno);
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

// The mark goes with the link; a mark that another simulator has rewritten
// since (it replaced our link) stays.
void mf_Dev_Link__remove(const std::string &linkPath, const std::string &target)
{
    std::error_code ec;
    if (fs::read_symlink(linkPath, ec).string() == target && !ec)
        unlink(linkPath.c_str());
    long pid = 0;
    if (std::ifstream(ComSimPidPath(linkPath)) >> pid && pid == getpid())
        unlink(ComSimPidPath(linkPath).c_str());
}
