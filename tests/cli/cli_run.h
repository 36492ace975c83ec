// tovra-cli as a process for the tests: its arguments and environment byte
// for byte (a path need not be UTF-8), what it printed on stdout and stderr,
// and its exit status.
#pragma once

#include <string>
#include <vector>

#include <QJsonObject>

class DevSim;

using Args = std::vector<std::string>;

struct Outcome {
    int status; // the exit status, -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs tovra-cli with `args`; `env` entries ("NAME=value") replace or add
// to the test's own environment.
Outcome Cli(const Args &args, const Args &env = {});
// `command --com <the simulator's> args...`
Outcome Cli(const DevSim &sim, const std::string &command, Args args = {});
// The one JSON object of stdout (a test failure when it is not one).
QJsonObject Json(const Outcome &run);
bool Contains(const std::string &text, const std::string &piece);
