#include "EdfStream.h"

#include <edflib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>

#include "platform/RegularFile.h"
#include "platform/ReplacementFile.h"

namespace records {

namespace {

constexpr long long annotationUnitsPerSecond = 10000;  // EDFlib's 100 microseconds
constexpr int durationUnitsPerSecond = 100000;         // EDFlib's 10 microseconds
constexpr int maxAnnotationSignals = 64;               // EDFlib's most

// The header's recording field: 80 bytes from byte 88.
constexpr long recordingFieldAt = 88;
constexpr std::size_t recordingFieldLength = 80;
constexpr const char* unknownStartField = "Startdate X X X trelmont-ecg start unknown";
// The years an EDF+ header can hold (its dates have two digits).
constexpr int firstEdfYear = 1985;
constexpr int lastEdfYear = 2084;
// A clock may run a little ahead of ours; a start beyond a day ahead is
// no clock's.
constexpr double latestStartAhead = 24.0 * 3600.0;

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The local time of the whole second `startSeconds` falls in, when EDF+ can
// hold it and it is not later than tomorrow: a recorder without a clock
// dates its files to the first day its file system knows (1980-01-01 on
// FAT), one with a flat battery to anything.
std::optional<std::tm> knownStart(double startSeconds) {
    // Not a number, or before 1970: long before EDF+'s first year.
    if (!(startSeconds >= 0.0 && startSeconds <= secondsNow() + latestStartAhead)) {
        return std::nullopt;
    }
    const auto start = static_cast<std::time_t>(std::floor(startSeconds));
    std::tm local{};
    if (localtime_r(&start, &local) == nullptr || local.tm_year + 1900 < firstEdfYear ||
        local.tm_year + 1900 > lastEdfYear) {
        return std::nullopt;
    }
    return local;
}

// The closed file at `path` for reading and writing, never through a link.
platform::File reopen(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return nullptr;
    }
    platform::File file(::fdopen(fd, "r+b"));
    if (!file) {
        ::close(fd);
    }
    return file;
}

// A number in the header's field of `length` bytes at `at`, or -1.
long long headerNumber(std::FILE* file, long at, std::size_t length) {
    char field[9] = {};
    if (length >= sizeof field || std::fseek(file, at, SEEK_SET) != 0 ||
        std::fread(field, 1, length, file) != length) {
        return -1;
    }
    char* end = nullptr;
    const long long value = std::strtoll(field, &end, 10);
    return end != field && value >= 0 ? value : -1;
}

// The length the header of `file` gives the whole file: its own size and
// `records` data records of its signals' samples, two bytes each; -1 when
// the header does not hold them or counts other records.
long long declaredLength(std::FILE* file, long long records) {
    constexpr long headerSizeAt = 184;
    constexpr long recordsAt = 236;
    constexpr long signalsAt = 252;
    constexpr long samplesFieldsAt = 216;  // from each signal's part of the header
    const long long headerSize = headerNumber(file, headerSizeAt, 8);
    const long long signals = headerNumber(file, signalsAt, 4);
    if (headerSize < 0 || signals <= 0 || headerNumber(file, recordsAt, 8) != records) {
        return -1;
    }
    long long recordBytes = 0;
    for (long long i = 0; i < signals; ++i) {
        const long long samples =
            headerNumber(file, static_cast<long>(256 + signals * samplesFieldsAt + i * 8), 8);
        if (samples < 0) {
            return -1;
        }
        recordBytes += 2 * samples;
    }
    return headerSize + records * recordBytes;
}

// EDFlib writes a known start date into the recording field; an unknown one
// is "X" there, written over what EDFlib put at its place in the closed
// file. Empty on success, otherwise why not.
std::string markStartUnknown(std::FILE* file, const std::string& name) {
    char field[recordingFieldLength];
    if (std::fseek(file, recordingFieldAt, SEEK_SET) != 0 ||
        std::fread(field, 1, sizeof field, file) != sizeof field ||
        std::strncmp(field, "Startdate ", 10) != 0) {
        return name + " cannot be completed: its header is not where EDF+ has it";
    }
    std::memset(field, ' ', sizeof field);
    std::memcpy(field, unknownStartField, std::strlen(unknownStartField));
    if (std::fseek(file, recordingFieldAt, SEEK_SET) != 0 ||
        std::fwrite(field, 1, sizeof field, file) != sizeof field || std::fflush(file) != 0) {
        return name + " cannot be completed";
    }
    return {};
}

}  // namespace

EdfStream::EdfStream(const std::string& path, const Signal& signal, double startSeconds,
                     bool startMeasured, const std::string& modeSource)
    : file_(std::make_unique<platform::ReplacementFile>(
          path, platform::ReplacementFile::ModeSources{modeSource})),
      block_(static_cast<std::size_t>(std::max(signal.samplesPerRecord, 1))) {
    if (!file_->isOpen()) {
        fail(file_->failure());
        return;
    }
    file_->reportWritesAs(path);
    // EDFlib opens the file by name: the one created, never what a link
    // put at its name meanwhile points to.
    handle_ = edfopen_file_writeonly(file_->pathForWriters().c_str(), EDFLIB_FILETYPE_EDFPLUS, 1);
    if (handle_ < 0) {
        fail(file_->temporaryPath() + " cannot be created");
        return;
    }
    // Whole seconds, as every reader takes the start: a fraction would move
    // the annotations against the samples in some of them. A start EDF+
    // cannot hold is unknown: 1985-01-01 00:00:00 in the header, as EDF+
    // has it, and "X" for the date in the recording field.
    const std::optional<std::tm> known = knownStart(startSeconds);
    startUnknown_ = !known;
    std::tm local{};
    local.tm_year = firstEdfYear - 1900;
    local.tm_mday = 1;
    if (known) {
        local = *known;
    }
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
        (startMeasured || startUnknown_ ||
         edf_set_recording_additional(h, "start estimated") == 0) &&
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

void EdfStream::complete(long long records) {
    // EDFlib writes through a buffer of its own and closes without a word
    // when the disk refused what was left in it: the replacement checks the
    // length the header gives before the file replaces anything.
    const platform::File file = reopen(file_->temporaryPath());
    struct stat info {};
    if (!file || ::fstat(::fileno(file.get()), &info) != 0) {
        fail(file_->target() + " cannot be completed");
        return;
    }
    // Cut short within its header (a disk full from the start): the
    // replacement asks the disk why.
    const long long headerBytes = 256LL * (2 + annotationSignals_);
    if (info.st_size < headerBytes) {
        file_->expectLength(static_cast<off_t>(headerBytes));
        return;
    }
    const long long length = declaredLength(file.get(), records);
    if (length < 0) {
        fail(file_->target() + " cannot be completed: its header is not where EDF+ has it");
        return;
    }
    file_->expectLength(static_cast<off_t>(length));
    if (startUnknown_) {
        fail(markStartUnknown(file.get(), file_->target()));
    }
}

std::string EdfStream::finish(double seconds) {
    if (failure_.empty() && filled_ > 0) {
        // The last record is padded with the last value.
        std::fill(block_.begin() + static_cast<std::ptrdiff_t>(filled_), block_.end(), last_);
        flushBlock();
    }
    annotate(seconds, 0.0, "end of recording");
    // EDFlib writes one data record at least. What it would drop without a
    // word: more annotations than its data records hold.
    const long long records = std::max((samples_ + samplesPerRecord_ - 1) / samplesPerRecord_, 1LL);
    if (failure_.empty() && annotations_ > records * annotationSignals_) {
        fail("the EDF+ file cannot hold its " + std::to_string(annotations_) + " annotations");
    }
    if (handle_ >= 0) {
        const int closed = edfclose_file(handle_);
        handle_ = -1;
        if (closed != 0) {
            fail(file_->target() + " cannot be completed");
        }
        if (failure_.empty()) {
            complete(records);
        }
    }
    if (!failure_.empty()) {
        return failure_;
    }
    return file_->commit();
}

}  // namespace records
