// What a plain user meets (a port the user may not open, a folder that is
// not writable) cannot happen to root, which passes every permission check.
//
//   TEST_F(X, Y) {
//       RefusedPort refused;        // before AsPlainUser: root makes it for the child
//       if (!AsPlainUser()) return;
//       ...                         // runs as a plain user
//   }
//
// As a plain user AsPlainUser() returns true and the test goes on. As root
// it runs this one test again in a child process as the user "nobody",
// records the child's outcome as the test's (a skip with its reason when the
// child cannot run) and returns false.
#pragma once

#include <string>

bool AsPlainUser();

// A pseudo-terminal that exists but that the plain user may not open, though
// its group could: one made by root (mode 0660) and handed to the child, or,
// for a plain user, one of its own with mode 0060.
class RefusedPort {
public:
    RefusedPort();
    ~RefusedPort();
    RefusedPort(const RefusedPort &) = delete;
    RefusedPort &operator=(const RefusedPort &) = delete;

    const std::string &path() const { return path_; } // "/dev/pts/7"
    // Whether opening it fails with "permission denied" for this process.
    bool refused() const;

private:
    int master_ = -1;
    std::string path_;
};
