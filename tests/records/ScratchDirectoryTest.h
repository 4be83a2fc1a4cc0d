#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "records/SampleFile.h"

namespace records {

// A test that runs in a fresh private directory: the working file "REC.txt"
// and the slot files are relative names, and test programs run side by side.
// The working file is closed before the directory goes.
class ScratchDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::string pattern =
            (std::filesystem::temp_directory_path() / "trelmont-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
        std::filesystem::current_path(directory_);
    }

    void TearDown() override {
        SampleFile::close();
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
        std::filesystem::remove_all(directory_, ignored);
    }

    static void writeFile(const std::string& name, const std::string& content) {
        std::ofstream out(name, std::ios::binary | std::ios::trunc);
        out << content;
    }

    static std::string readFile(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    static bool exists(const std::string& name) { return std::filesystem::exists(name); }

    // The names in the directory, sorted.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(directory_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path previous_;
    std::filesystem::path directory_;
};

}  // namespace records
