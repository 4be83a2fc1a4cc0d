#pragma once

#include <cmath>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "records/Companion.h"
#include "records/FileIdentity.h"
#include "records/RecordEncoding.h"
#include "records/RecordFormat.h"
#include "records/RecordingFacts.h"
#include "tests/support/RecordingFiles.h"

namespace testsupport {

// A record of `lines` values with the companion that belongs to it: ten
// values a line spread around each value.
struct SyntheticLines {
    std::vector<double> values;
    std::vector<double> companion;
};

inline SyntheticLines makeLines(int lines, double phase = 0.0) {
    SyntheticLines r;
    for (int k = 0; k < lines; ++k) {
        const double value = 57.2 + 3.0 * std::sin(0.3 * k + phase);
        r.values.push_back(value);
        for (int j = 0; j < records::companionValuesPerLine; ++j) {
            r.companion.push_back(value + 0.02 * (j - 4.5));
        }
    }
    return r;
}

inline bool writeBytes(const std::string& path, const std::string& bytes) {
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
}

// The values as a record stores them: `marker` added on even and taken off
// on odd lines (the capture's 744, FILTER's 1000), "%f \n" each.
inline bool storeValues(const std::string& record, const std::vector<double>& values,
                        double marker = records::captureMarker) {
    std::string text;
    char value[records::valueTextSize];
    for (std::size_t k = 0; k < values.size(); ++k) {
        const double sign = k % 2 == 0 ? 1.0 : -1.0;
        text.append(value, records::formatValue(values[k] + sign * marker,
                                                records::LineEnd::BlankNewline, value));
    }
    return writeBytes(record, text);
}

// Facts of a recording at the default settings, without identities.
inline records::RecordingFacts defaultFacts() {
    records::RecordingFacts facts;
    facts.startSeconds = 1'700'000'000.25;
    facts.valuesPerSecond = 48.75;
    facts.sampleRate = 199680;
    facts.samplesPerBuffer = 4096;
    facts.fftPoints = 4096;
    facts.bits = 16;
    facts.zeroValue = 57.2;
    facts.valuesPerMillivolt = 5.48;
    facts.source = "simulator at 72 per minute";
    return facts;
}

// Facts as a finished capture leaves them, naming the record and companion
// as they are now.
inline bool storeFacts(const std::string& record) {
    records::RecordingFacts facts = defaultFacts();
    facts.record = records::identifyFile(record);
    facts.companion = records::identifyFile(records::companionPath(record));
    return writeBytes(records::factsPath(record), records::formatFacts(facts));
}

// A whole recording as a capture leaves it: record, companion and complete
// facts, its last value stored at `seconds`.
inline bool storeRecording(const std::string& record, const SyntheticLines& r,
                           long long seconds = 1'700'000'100) {
    const bool stored =
        storeValues(record, r.values) && writeCompanion(record, r.companion) && storeFacts(record);
    setModificationTime(record, {static_cast<std::time_t>(seconds), 250'000'000});
    return stored;
}

}  // namespace testsupport
