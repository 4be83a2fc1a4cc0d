#include "EdfStream.h"

#include <edflib.h>

#include <algorithm>
#include <cmath>
#include <ctime>

#include "platform/ReplacementFile.h"

namespace records {

namespace {

constexpr long long annotationUnitsPerSecond = 10000;  // EDFlib's 100 microseconds
constexpr int durationUnitsPerSecond = 100000;         // EDFlib's 10 microseconds
constexpr int maxAnnotationSignals = 64;               // EDFlib's most

}  // namespace

EdfStream::EdfStream(const std::string& path, const Signal& signal, double startSeconds,
                     bool startMeasured, const std::string& modeSource)
    : file_(std::make_unique<platform::ReplacementFile>(path)),
      block_(static_cast<std::size_t>(std::max(signal.samplesPerRecord, 1))) {
    if (!file_->isOpen()) {
        fail(file_->failure());
        return;
    }
    // A copy of the recording in another form: no wider open than it.
    file_->limitModeTo(modeSource);
    const std::string temporary = file_->temporaryPath();
    handle_ = edfopen_file_writeonly(temporary.c_str(), EDFLIB_FILETYPE_EDFPLUS, 1);
    if (handle_ < 0) {
        fail(temporary + " cannot be created");
        return;
    }
    // Whole seconds, as every reader takes the start: a fraction would move
    // the annotations against the samples in some of them.
    const auto start = static_cast<std::time_t>(std::floor(startSeconds));
    std::tm local{};
    localtime_r(&start, &local);
    const int h = handle_;
    annotationSignals_ = std::clamp(signal.annotationSignals, 1, maxAnnotationSignals);
    samplesPerRecord_ = std::max(signal.samplesPerRecord, 1);
    const bool headerSet =
        edf_set_number_of_annotation_signals(h, annotationSignals_) == 0 &&
        edf_set_samplefrequency(h, 0, signal.samplesPerRecord) == 0 &&
        edf_set_datarecord_duration(h, signal.recordSeconds * durationUnitsPerSecond) == 0 &&
        edf_set_physical_maximum(h, 0, physicalLimit) == 0 &&
        edf_set_physical_minimum(h, 0, -physicalLimit) == 0 &&
        edf_set_digital_maximum(h, 0, digitalLimit) == 0 &&
        edf_set_digital_minimum(h, 0, -digitalLimit) == 0 && edf_set_label(h, 0, "ECG") == 0 &&
        edf_set_physical_dimension(h, 0, "mV") == 0 &&
        edf_set_transducer(h, 0, signal.transducer.c_str()) == 0 &&
        edf_set_prefilter(h, 0, signal.prefilter.c_str()) == 0 &&
        edf_set_equipment(h, "trelmont-ecg") == 0 &&
        (startMeasured || edf_set_recording_additional(h, "start estimated") == 0) &&
        edf_set_startdatetime(h, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                              local.tm_hour, local.tm_min, local.tm_sec) == 0;
    if (!headerSet) {
        fail("the EDF+ header cannot be set");
    }
}

EdfStream::~EdfStream() {
    if (handle_ >= 0) {
        edfclose_file(handle_);
    }
    // An unfinished file goes with the replacement.
}

void EdfStream::fail(const std::string& why) {
    if (failure_.empty()) {
        failure_ = why;
    }
}

int EdfStream::digitalValue(double millivolts) {
    if (std::isnan(millivolts)) {
        return 0;
    }
    const double microvolts = std::round(millivolts * 1000.0);
    return static_cast<int>(std::clamp(microvolts, static_cast<double>(-digitalLimit),
                                       static_cast<double>(digitalLimit)));
}

void EdfStream::append(double millivolts) {
    if (!failure_.empty()) {
        return;
    }
    last_ = digitalValue(millivolts);
    block_[filled_++] = last_;
    ++samples_;
    if (filled_ == block_.size()) {
        flushBlock();
    }
}

void EdfStream::flushBlock() {
    if (edfwrite_digital_samples(handle_, block_.data()) != 0) {
        fail(file_->target() + " cannot be written");
    }
    filled_ = 0;
}

int EdfStream::annotationSignalsFor(double marksPerRecord) {
    if (!(marksPerRecord > 1.0)) {
        return 1;
    }
    return static_cast<int>(std::min(std::ceil(marksPerRecord), double{maxAnnotationSignals}));
}

void EdfStream::annotate(double atSeconds, double seconds, const std::string& text) {
    if (!failure_.empty()) {
        return;
    }
    ++annotations_;
    // A duration rounds up to the next unit: it covers its last sample.
    const long long duration =
        seconds > 0.0 ? static_cast<long long>(std::ceil(seconds * annotationUnitsPerSecond - 1e-6))
                      : -1;
    if (edfwrite_annotation_utf8(handle_, std::llround(atSeconds * annotationUnitsPerSecond),
                                 duration, text.c_str()) != 0) {
        fail("the annotation \"" + text + "\" cannot be written");
    }
}

std::string EdfStream::finish(double seconds) {
    if (failure_.empty() && filled_ > 0) {
        // The last record is padded with the last value.
        std::fill(block_.begin() + static_cast<std::ptrdiff_t>(filled_), block_.end(), last_);
        flushBlock();
    }
    annotate(seconds, 0.0, "end of recording");
    // What EDFlib would drop without a word: more annotations than its data
    // records hold.
    const long long records = (samples_ + samplesPerRecord_ - 1) / samplesPerRecord_;
    if (failure_.empty() && annotations_ > std::max(records, 1LL) * annotationSignals_) {
        fail("the EDF+ file cannot hold its " + std::to_string(annotations_) + " annotations");
    }
    if (handle_ >= 0) {
        const int closed = edfclose_file(handle_);
        handle_ = -1;
        if (closed != 0) {
            fail(file_->target() + " cannot be completed");
        }
    }
    if (!failure_.empty()) {
        return failure_;
    }
    return file_->commit();
}

}  // namespace records
