#include "devsim.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace fs = std::filesystem;

namespace {

constexpr const char *caREADY = "tovra-devsim: ready ";
constexpr int ciREADY_WAIT_MS = 5000;
constexpr int ciSTOP_WAIT_MS = 5000;

std::string gvPortsDir;

void fn_remove_ports_dir()
{
    std::error_code ec;
    fs::remove_all(gvPortsDir, ec);
}

// The value of `--name X` or `--name=X` in args, or "".
std::string fn_option(const std::vector<std::string> &args, const std::string &name)
{
    for (size_t i = 0; i < args.size(); i++) {
        if (args[i] == name && i + 1 < args.size())
            return args[i + 1];
        if (args[i].rfind(name + "=", 0) == 0)
            return args[i].substr(name.size() + 1);
    }
    return "";
}

} // namespace

std::string DevSim::portsDir()
{
    if (gvPortsDir.empty()) {
        std::string tmpl = (fs::temp_directory_path() / "tovra-ports-XXXXXX").string();
        if (mkdtemp(tmpl.data())) {
            gvPortsDir = tmpl;
            std::atexit(fn_remove_ports_dir);
        }
    }
    setenv("TOVRA_PORTS_DIR", gvPortsDir.c_str(), 1);
    return gvPortsDir;
}

DevSim::DevSim(std::vector<std::string> args)
{
    std::string state = fn_option(args, "--state");
    statePath_ = fs::absolute(state.empty() ? "tovra-devsim-state.txt" : state).string();
    const char *binary = std::getenv("TOVRA_DEVSIM");
    if (!binary || !*binary || portsDir().empty()) {
        output_ = !binary || !*binary ? "DevSim: TOVRA_DEVSIM is not set\n"
                                      : "DevSim: cannot make a ports folder\n";
        eof_ = true;
        return;
    }

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        output_ = std::string("DevSim: pipe: ") + std::strerror(errno) + "\n";
        eof_ = true;
        return;
    }
    std::vector<char *> argv{const_cast<char *>(binary)};
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    int rc = posix_spawn(&pid_, binary, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (rc != 0) {
        close(pipeFds[0]);
        pid_ = -1;
        output_ = std::string("DevSim: cannot start ") + binary + ": " + std::strerror(rc) + "\n";
        eof_ = true;
        return;
    }
    // Drained all the time, so a chatty simulator never blocks on a full pipe.
    reader_ = std::thread(&DevSim::readLoop, this, pipeFds[0]);

    std::unique_lock lock(mutex_);
    auto readyLine = [&] { return output_.find(caREADY); };
    changed_.wait_for(lock, std::chrono::milliseconds(ciREADY_WAIT_MS),
                      [&] { return eof_ || output_.find('\n', readyLine()) != std::string::npos; });
    size_t at = readyLine();
    if (at == std::string::npos || output_.find('\n', at) == std::string::npos)
        return;
    // "tovra-devsim: ready COM<n> <pty path> slave=<id> link=<path to end of line>"
    std::string line = output_.substr(at, output_.find('\n', at) - at);
    std::istringstream words(line.substr(std::strlen(caREADY)));
    std::string com;
    words >> com >> ptyPath_;
    size_t link = line.find(" link=");
    if (com.rfind("COM", 0) != 0 || link == std::string::npos)
        return;
    com_ = std::atoi(com.c_str() + 3);
    linkPath_ = line.substr(link + 6);
    ready_ = com_ > 0;
}

DevSim::~DevSim() { stop(); }

std::string DevSim::comName() const { return "COM" + std::to_string(com_); }

std::string DevSim::output() const
{
    std::lock_guard lock(mutex_);
    return output_;
}

bool DevSim::waitForOutput(const std::string &text, int count, int timeoutMs) const
{
    auto found = [&] {
        int n = 0;
        for (size_t at = output_.find(text); at != std::string::npos;
             at = output_.find(text, at + 1))
            n++;
        return n >= count;
    };
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), found);
}

void DevSim::readLoop(int fd)
{
    char buf[4096];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        std::lock_guard lock(mutex_);
        if (n <= 0) {
            eof_ = true;
            changed_.notify_all();
            break;
        }
        output_.append(buf, size_t(n));
        changed_.notify_all();
    }
    close(fd);
}

int DevSim::stop()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int wstatus = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ciSTOP_WAIT_MS);
        pid_t r;
        while ((r = waitpid(pid_, &wstatus, WNOHANG)) == 0) {
            if (std::chrono::steady_clock::now() > deadline)
                kill(pid_, SIGKILL);
            usleep(2000);
        }
        if (r == pid_)
            status_ = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
        pid_ = -1;
    }
    if (reader_.joinable())
        reader_.join();
    return status_;
}
