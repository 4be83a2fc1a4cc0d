#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform {
class ReplacementFile;
}

namespace records {

// An EDF+C file with one signal "ECG" in millivolts, written with EDFlib as
// its samples come, a data record at a time, so that a recording of any
// length takes no more memory than one record. It is written under a
// temporary name and appears under its own only when finish() completed it.
class EdfStream {
public:
    // 16-bit samples at 1 microvolt each: +-32.767 mV, clipped beyond.
    static constexpr double physicalLimit = 32.767;
    static constexpr int digitalLimit = 32767;

    struct Signal {
        // A data record: its length in seconds and its samples.
        int recordSeconds = 1;
        int samplesPerRecord = 1;
        std::string prefilter;
        std::string transducer;
        // EDFlib keeps one annotation a data record in each annotation
        // signal: as many as the most annotations a data record may need
        // on average, so that none is lost.
        int annotationSignals = 1;
    };
    // The annotation signals for `marksPerRecord` annotations a data
    // record: at least 1, at most EDFlib's 64.
    static int annotationSignalsFor(double marksPerRecord);

    // Starts `path` for a recording whose first sample was taken at
    // `startSeconds` (since the epoch; the header holds the whole second),
    // "start estimated" in the recording field unless a clock measured it.
    // A start EDF+ cannot hold (before 1985) or no clock can have given
    // (later than a day from now) is unknown: 01.01.85 00.00.00 in the
    // header and "Startdate X X X trelmont-ecg start unknown" in the
    // recording field. No file replaces `path` unless it was finished; it is
    // never wider open than the file at `modeSource`.
    EdfStream(const std::string& path, const Signal& signal, double startSeconds,
              bool startMeasured, const std::string& modeSource);
    ~EdfStream();
    EdfStream(const EdfStream&) = delete;
    EdfStream& operator=(const EdfStream&) = delete;

    // Why the file cannot be written, empty while it can.
    const std::string& failure() const { return failure_; }
    void append(double millivolts);
    // An annotation `text` at `atSeconds` from the start, lasting
    // `seconds` (none for 0). No more than the annotation signals hold:
    // one more fails the file rather than vanish from it.
    void annotate(double atSeconds, double seconds, const std::string& text);
    // Pads the last data record with the last sample, marks "end of
    // recording" at `seconds`, completes the file and puts it in place.
    // Empty on success, otherwise why not (and no file was written).
    std::string finish(double seconds);

    // Millivolts in microvolts, clipped to the 16-bit range.
    static int digitalValue(double millivolts);

private:
    void flushBlock();
    // Checks the file EDFlib closed with `records` data records and marks an
    // unknown start in it.
    void complete(long long records);
    void fail(const std::string& why);

    std::unique_ptr<platform::ReplacementFile> file_;
    int handle_ = -1;
    std::vector<int> block_;
    std::size_t filled_ = 0;
    int last_ = 0;
    long long samples_ = 0;
    int samplesPerRecord_ = 1;
    int annotationSignals_ = 1;
    long long annotations_ = 0;
    std::string failure_;
    bool startUnknown_ = false;
};

}  // namespace records
