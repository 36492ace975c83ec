// A fresh, empty working folder for each test, removed afterwards.
#pragma once

#include <string>

#include <gtest/gtest.h>

class ScratchDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string dir_;
    std::string oldDir_;
};

// What ReadFileBytes gives for a file that does not exist: no content of
// the program's files, so a missing file never passes for an empty one.
inline const std::string kNoFile = "(no such file)";

// The whole content of a file as bytes, kNoFile when it does not exist.
std::string ReadFileBytes(const std::string &path);
void WriteFileBytes(const std::string &path, const std::string &bytes);
bool FileExists(const std::string &path);
