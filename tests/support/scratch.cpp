#include "scratch.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace fs = std::filesystem;

void ScratchDirTest::SetUp()
{
    oldDir_ = fs::current_path().string();
    std::string tmpl = (fs::temp_directory_path() / "tovra-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    fs::current_path(dir_);
}

void ScratchDirTest::TearDown()
{
    fs::current_path(oldDir_);
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

std::string ReadFileBytes(const std::string &path)
{
    if (!fs::exists(path))
        return kNoFile;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFileBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool FileExists(const std::string &path)
{
    return fs::exists(path);
}
