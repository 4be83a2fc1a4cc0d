#include "records/EdfStream.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "records/DecodedOutput.h"
#include "tests/support/ScratchDirectoryTest.h"

namespace records {
namespace {

using Names = std::vector<std::string>;

// No file of this process may grow beyond `bytes` while it lives: writes
// past it fail with EFBIG, as a full disk makes them fail with ENOSPC.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : ignored_(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        const rlimit limit{bytes, previous_.rlim_max};
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, ignored_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_{};
    void (*ignored_)(int);
};

// The permission bits of every file in the folder but `except`.
std::vector<int> modesBut(const Names& names, const std::string& except) {
    std::vector<int> modes;
    for (const std::string& name : names) {
        struct stat info {};
        if (name != except && ::stat(name.c_str(), &info) == 0) {
            modes.push_back(static_cast<int>(info.st_mode & 0777));
        }
    }
    return modes;
}

class EdfStreamTest : public testsupport::ScratchDirectoryTest {};

// EDFlib loses what its buffer held when the disk refuses it and closes
// without a word; cut short in its data or in its very header, the export
// fails with the disk's reason, and the file it was to replace keeps every
// byte.
TEST_F(EdfStreamTest, AFileTheDiskCutShortReplacesNothing) {
    EdfStream::Signal signal;
    signal.recordSeconds = 2;
    signal.samplesPerRecord = 975;
    signal.annotationSignals = 4;
    for (const rlim_t limit : {rlim_t{200'000}, rlim_t{1'000}}) {
        SCOPED_TRACE(limit);
        writeFile("keep.edf", "old\n");
        std::string reason;
        {
            EdfStream edf("keep.edf", signal, 1.7e9, true, "keep.edf");
            const FileSizeLimit full(limit);
            for (int i = 0; i < 30 * 60 * 487; ++i) {
                edf.append(i % 2000 / 1000.0);
            }
            edf.annotate(10.0, 2.0, "no tone");
            reason = edf.finish(1800.0);
        }
        EXPECT_NE(reason.find("keep.edf cannot be written: File too large"), std::string::npos)
            << reason;
        EXPECT_TRUE(readFile("keep.edf") == "old\n") << "keep.edf was replaced";
        EXPECT_EQ(entries(), (Names{"keep.edf"}));
    }
}

// A tone only its owner may read gives files only its owner may read, from
// the moment they are created: one who opens a half-written file keeps
// reading it. A source its owner may not even write still lets the export
// be written, and ends as narrow as it.
TEST_F(EdfStreamTest, WhatIsWrittenIsNoWiderOpenThanTheToneWhileItIsWritten) {
    const mode_t umask = ::umask(022);
    writeFile("tone.flac", "");
    for (const int toneMode : {0600, 0400}) {
        SCOPED_TRACE(toneMode);
        ASSERT_EQ(::chmod("tone.flac", static_cast<mode_t>(toneMode)), 0);
        EdfStream::Signal signal;
        EdfStream edf("secret.edf", signal, 1.7e9, true, "tone.flac");
        if (toneMode == 0600) {
            edf.append(1.0);  // without a sample, EDFlib still writes a data record
        }
        EXPECT_EQ(modesBut(entries(), "tone.flac"), std::vector<int>{0600});
        EXPECT_EQ(edf.finish(1.0), "");
        EXPECT_EQ(modesBut(entries(), "tone.flac"), std::vector<int>{toneMode});
        std::filesystem::remove("secret.edf");
    }
    ASSERT_EQ(::chmod("tone.flac", 0600), 0);
    RecordingFacts facts;
    facts.valuesPerSecond = 48.75;
    DecodedRecordFiles text("secret.txt", "tone.flac", true);
    EXPECT_EQ(text.begin(facts), "");
    const std::vector<double> ten(10, 57.2);
    text.append(57.2, 1, ten);
    EXPECT_EQ(entries().size(), 3u);  // the tone, the record and its companion
    EXPECT_EQ(modesBut(entries(), ""), (std::vector<int>{0600, 0600, 0600}));
    ::umask(umask);
}

}  // namespace
}  // namespace records
