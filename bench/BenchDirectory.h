#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "records/SampleFile.h"

// A fresh temporary directory that is the current one for the object's
// lifetime, so that the working file "REC.txt" a benchmark writes lies there.
class BenchDirectory {
public:
    BenchDirectory() : previous_(std::filesystem::current_path()) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "trelmont-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a scratch directory");
        }
        path_ = pattern;
        std::filesystem::current_path(path_);
    }
    ~BenchDirectory() {
        records::SampleFile::close();
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    BenchDirectory(const BenchDirectory&) = delete;
    BenchDirectory& operator=(const BenchDirectory&) = delete;

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};
