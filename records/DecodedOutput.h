#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>

#include "HoldBackFile.h"
#include "RecordingCommit.h"
#include "RecordingFacts.h"
#include "StoredRecording.h"

namespace records {

// Where a recording decoded from a tone file goes, line by line as the
// decoder keeps them: a record with its companion and facts, or an EDF+
// file. Nothing appears at the output's name unless finish() completed it.
class DecodedOutput {
public:
    virtual ~DecodedOutput() = default;
    // The recording's facts, its start at its first line. Empty on success.
    virtual std::string begin(const RecordingFacts& facts) = 0;
    // One line: a value (the capture's +-744 marker `sign`) and its ten
    // companion values.
    virtual void append(double value, int sign, std::span<const double> tenValues) = 0;
    // Every line is in; `facts` says where the tone was missing. Empty on
    // success, otherwise why not.
    virtual std::string finish(const RecordingFacts& facts) = 0;
    // A file to hold back buffers in, in the output's own folder; made
    // after begin(), so that a folder that cannot be written has failed
    // already. Null, with `why`, when it cannot be made.
    virtual std::unique_ptr<HoldBackFile> holdBack(std::string& why) = 0;
    // The most lines the output can hold (negative: no limit), and what to
    // do instead of a longer one.
    virtual long long lineLimit() const { return -1; }
    virtual std::string beyondLimit() const { return {}; }
};

// A record, its companion and its facts, staged beside `recordPath` and
// committed together (or handed over staged, for the window to commit after
// keeping what it replaces for Ctrl+Z).
class DecodedRecordFiles final : public DecodedOutput {
public:
    // `modeSource`: the tone file; nothing written is wider open than it.
    // `temporaryRecord`: the name the record is staged under (the companion
    // and facts beside it), or each file's own name with ".part" added.
    // At most `lineLimit` lines: a record longer than every reader takes
    // is refused, not written.
    DecodedRecordFiles(const std::string& recordPath, const std::string& modeSource,
                       bool commitWhenFinished,
                       std::optional<std::string> temporaryRecord = std::nullopt,
                       long long lineLimit = StoredRecording::maxValues);
    std::string begin(const RecordingFacts& facts) override;
    void append(double value, int sign, std::span<const double> tenValues) override;
    std::string finish(const RecordingFacts& facts) override;
    std::unique_ptr<HoldBackFile> holdBack(std::string& why) override;
    long long lineLimit() const override { return lineLimit_; }
    std::string beyondLimit() const override;
    // After finish() without committing: the staged recording.
    std::unique_ptr<RecordingCommit> release() { return std::move(commit_); }

private:
    std::unique_ptr<RecordingCommit> commit_;
    bool commitWhenFinished_;
    long long lineLimit_;
    double valuesPerSecond_ = 0.0;
};

class EdfStream;

// An EDF+ file as "SAVE  RECORDED" writes one: the companion's ten values a
// line in millivolts (487.5 a second at the default settings), the
// stretches without tone marked by annotations, written as it goes.
class DecodedEdf final : public DecodedOutput {
public:
    DecodedEdf(std::string path, std::string modeSource);
    ~DecodedEdf() override;
    std::string begin(const RecordingFacts& facts) override;
    void append(double value, int sign, std::span<const double> tenValues) override;
    std::string finish(const RecordingFacts& facts) override;
    std::unique_ptr<HoldBackFile> holdBack(std::string& why) override;

private:
    std::string path_;
    std::string modeSource_;
    RecordingFacts facts_;
    std::unique_ptr<EdfStream> edf_;
    long long lines_ = 0;
};

}  // namespace records
