// Starts the device simulator tovra-devsim for a test and stops it again.
//
//   DevSim sim({"--com", "201", "--fault", "no-reply"});
//   ASSERT_TRUE(sim.ready()) << sim.output();
//   OpenCom(222, sim.comName().c_str());   // "COM201"
//
// The binary is the one named by $TOVRA_DEVSIM (set by tovra_add_test). All
// simulators of a test process share one private port-map folder, made on
// first use, put into $TOVRA_PORTS_DIR of the test process (and so of the
// child) and removed when the process ends; the user's own map is never used.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

class DevSim {
public:
    // Starts the simulator with `args` and waits up to 5 s for its ready line.
    explicit DevSim(std::vector<std::string> args = {});
    ~DevSim(); // stop()
    DevSim(const DevSim &) = delete;
    DevSim &operator=(const DevSim &) = delete;

    bool ready() const { return ready_; }
    int com() const { return com_; }                   // from the ready line
    std::string comName() const;                       // "COM200"
    std::string ptyPath() const { return ptyPath_; }   // "/dev/pts/3"
    std::string linkPath() const { return linkPath_; } // <portsDir>/COMn
    std::string statePath() const { return statePath_; }
    // Everything the simulator printed so far, stdout and stderr.
    std::string output() const;
    // Waits until the output holds `text` at least `count` times.
    bool waitForOutput(const std::string &text, int count = 1, int timeoutMs = 2000) const;
    // SIGTERM, then waits (SIGKILL after 5 s). Returns the exit status, or
    // 128 + the signal number when it died of a signal. Repeated calls
    // return the first result.
    int stop();

    // The private port-map folder of this test process.
    static std::string portsDir();

private:
    void readLoop(int fd);

    pid_t pid_ = -1;
    int status_ = -1;
    bool ready_ = false;
    int com_ = 0;
    std::string ptyPath_, linkPath_, statePath_;
    std::thread reader_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::string output_;
    bool eof_ = false;
};
