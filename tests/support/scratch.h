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

// The whole content of a file as bytes ("" when it does not exist).
std::string ReadFileBytes(const std::string &path);
void WriteFileBytes(const std::string &path, const std::string &bytes);
bool FileExists(const std::string &path);
