#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "ScratchDirectory.h"
#include "records/SampleFile.h"

namespace testsupport {

// A test that runs in a fresh private directory: the working file "REC.txt"
// and the slot files are relative names, and test programs run side by side.
// The working file is closed before the directory goes.
class ScratchDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override { scratch_.emplace(); }

    void TearDown() override {
        records::SampleFile::close();
        scratch_.reset();
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
        for (const auto& entry : std::filesystem::directory_iterator(scratch_->path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::optional<ScratchDirectory> scratch_;
};

}  // namespace testsupport
