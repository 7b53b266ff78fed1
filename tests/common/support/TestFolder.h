// A fresh folder under /tmp for one test, removed with everything in it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace Vaxo
{

class TestFolder
{
public:
    TestFolder()
    {
        char pattern[] = "/tmp/vaxo_test_XXXXXX";
        // Without a folder of its own the destructor would empty /tmp.
        if (mkdtemp(pattern) == nullptr)
            throw std::runtime_error("cannot make a folder below /tmp");
        mPath = std::string(pattern) + "/";
    }
    ~TestFolder() { std::filesystem::remove_all(mPath); }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    // The full path of name inside the folder.
    std::string operator/(const std::string& name) const { return mPath + name; }
    // Writes bytes to name (making its folders) and returns the full path.
    std::string Write(const std::string& name, const std::string& bytes) const
    {
        std::filesystem::create_directories(std::filesystem::path(mPath + name).parent_path());
        std::ofstream(mPath + name, std::ios::binary) << bytes;
        return mPath + name;
    }

    std::string mPath; // ends in "/"
};

} // namespace Vaxo
