// The spectrum's kernels are compiled for several instruction sets, and the
// processor decides which one runs. Every version must give the very bits of
// the plain code, so that a value never depends on the machine.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <iostream>
#include <random>
#include <vector>

#include "FakeWaveInput.h"
#include "acquisition/RecorderM16.h"
#include "acquisition/SampleCursor.h"
#include "acquisition/SpectrumAnalyzer.h"
#include "acquisition/ValueEstimate.h"
#include "tests/support/Pcm.h"

namespace acquisition {
namespace {

using spectrum_kernels::Version;

constexpr int defaultRate = 199680;

const char* nameOf(Version version) {
    switch (version) {
        case Version::automatic:
            return "automatic";
        case Version::plain:
            return "plain";
        case Version::avx2:
            return "avx2";
        case Version::avx512f:
            return "avx512f";
    }
    return "?";
}

// What one analyzer gave: every bin and every magnitude, the peak search's
// pass over the runs of the lower half, and the value and prominence, as bits.
struct Result {
    std::vector<std::uint64_t> bins;
    std::vector<std::uint64_t> magnitudes;
    std::vector<std::uint64_t> search;
};

Result analyse(Version version, int points, int blockSize, unsigned seed) {
    FakeWaveInput device;
    const RecorderM16 recorder(device, blockSize, defaultRate);
    SpectrumAnalyzer analyzer(points, defaultRate, version);
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    Result result;
    // A few blocks, so that the window slides and the transform runs again.
    for (int block = 0; block < 3; ++block) {
        std::vector<int> samples;
        for (int i = 0; i < blockSize; ++i) {
            samples.push_back(sample(generator));
        }
        const std::vector<char> bytes = testsupport::pcm16(samples);
        SampleCursor cursor(bytes.data(), recorder, blockSize);
        analyzer.loadBlock(cursor);
        analyzer.transform();
        for (int k = 0; k < points; ++k) {
            const SpectrumAnalyzer::Complex bin = analyzer.bin(k);
            result.bins.push_back(std::bit_cast<std::uint64_t>(bin.re));
            result.bins.push_back(std::bit_cast<std::uint64_t>(bin.im));
        }
        std::vector<double> magnitudes(static_cast<std::size_t>(points));
        analyzer.magnitudes(0, points, magnitudes.data());
        for (double m : magnitudes) {
            result.magnitudes.push_back(std::bit_cast<std::uint64_t>(m));
        }
        // Runs of every length the parts treat apart: whole groups of eight
        // and a rest.
        spectrum_kernels::RunParts parts;
        for (int first = 0; first < points / 2; first += 13) {
            const int count = std::min(13, points / 2 - first);
            analyzer.magnitudes(first, count, magnitudes.data(), parts);
            for (int j = 0; j < spectrum_kernels::partCount; ++j) {
                result.search.push_back(std::bit_cast<std::uint64_t>(parts.sum[j]));
                result.search.push_back(static_cast<std::uint64_t>(parts.top[j]));
                result.search.push_back(static_cast<std::uint64_t>(parts.last[j]));
            }
        }
        const PeakReading reading = readPeak(analyzer);
        result.search.push_back(std::bit_cast<std::uint64_t>(reading.value));
        result.search.push_back(std::bit_cast<std::uint64_t>(reading.prominence));
    }
    return result;
}

TEST(SpectrumKernelVersionsTest, EveryVersionGivesThePlainBits) {
    std::vector<Version> versions = {Version::automatic};
    for (const Version version : {Version::avx2, Version::avx512f}) {
        if (spectrum_kernels::runs(version)) {
            versions.push_back(version);
        } else {
            std::cout << "[          ] this processor does not run " << nameOf(version)
                      << "; not compared\n";
        }
    }
    ASSERT_TRUE(spectrum_kernels::runs(Version::plain));
    // Every size the transform treats in its own way: no radix-4 pass, an
    // odd and an even count of stages, the sizes the program offers.
    for (const int points : {2, 4, 8, 16, 32, 64, 128, 1024, 2048, 4096, 8192}) {
        const int blockSize = points >= 2048 ? points - 1024 : points;
        const Result plain = analyse(Version::plain, points, blockSize, 11);
        for (const Version version : versions) {
            const Result result = analyse(version, points, blockSize, 11);
            EXPECT_EQ(result.bins, plain.bins) << nameOf(version) << ", N = " << points;
            EXPECT_EQ(result.magnitudes, plain.magnitudes) << nameOf(version) << ", N = " << points;
            EXPECT_EQ(result.search, plain.search) << nameOf(version) << ", N = " << points;
        }
    }
}

}  // namespace
}  // namespace acquisition
