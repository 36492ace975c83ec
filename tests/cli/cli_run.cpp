#include "cli_run.h"

#include <QJsonDocument>

#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "devsim.h"

extern char **environ;

namespace {

// Everything written to an anonymous file, from its start.
std::string ReadAll(int fd)
{
    std::string text;
    char buffer[4096];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    return text;
}

} // namespace

Outcome Cli(const Args &args, const Args &env)
{
    std::vector<std::string> argStore = {TOVRA_CLI};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // The test's environment, with the entries of `env` in place of their names'.
    std::vector<std::string> envStore = env;
    for (char **e = environ; *e; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('=') + 1);
        if (std::none_of(env.begin(), env.end(), [&](const std::string &v) { return v.rfind(name, 0) == 0; }))
            envStore.push_back(entry);
    }
    std::vector<char *> envp;
    for (std::string &e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    // Files rather than pipes: no reader needed while it runs, nothing in the folder.
    int out = memfd_create("cli-out", 0);
    int err = memfd_create("cli-err", 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_adddup2(&actions, err, 2);
    Outcome run = {-1, "", ""};
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            run.status = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = ReadAll(out);
    run.err = ReadAll(err);
    close(out);
    close(err);
    return run;
}

Outcome Cli(const DevSim &sim, const std::string &command, Args args)
{
    args.insert(args.begin(), {command, "--com", std::to_string(sim.com())});
    return Cli(args);
}

QJsonObject Json(const Outcome &run)
{
    QJsonParseError error;
    QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out;
    EXPECT_TRUE(doc.isObject()) << run.out;
    return doc.object();
}

bool Contains(const std::string &text, const std::string &piece)
{
    return text.find(piece) != std::string::npos;
}
