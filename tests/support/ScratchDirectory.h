#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace testsupport {

// Makes a fresh directory the current one for its lifetime, so that tests
// running in parallel each have their own "REC.txt".
class ScratchDirectory {
public:
    ScratchDirectory() : ScratchDirectory(std::filesystem::temp_directory_path()) {}
    // In `base` instead of the temporary directory.
    explicit ScratchDirectory(const std::filesystem::path& base)
        : previous_(std::filesystem::current_path()) {
        std::string pattern = (base / "trelmont-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
        std::filesystem::current_path(path_);
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // A base in memory where the system has one (for tests that sync many
    // files, where a disk makes each sync wait), else the temporary
    // directory.
    static std::filesystem::path memoryBase() {
        const char* memory = "/dev/shm";
        return ::access(memory, W_OK | X_OK) == 0 ? std::filesystem::path(memory)
                                                  : std::filesystem::temp_directory_path();
    }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

inline std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace testsupport
