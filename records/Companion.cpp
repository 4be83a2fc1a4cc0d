#include "Companion.h"

#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <system_error>

#include "RecordFormat.h"
#include "platform/ReplacementFile.h"

namespace records {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr const char* recordExtension = ".txt";
constexpr const char* companionExtension = ".hr.txt";

// Only regular files: a pipe or a device beside a record may never end.
File openRegular(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return nullptr;
    }
    return File(std::fopen(path.c_str(), "r"));
}

// Reads one line whole, however long, into `line`; false at the end. A
// last line without its newline is returned without one.
bool readWholeLine(std::FILE* in, std::string& line) {
    line.clear();
    char chunk[4096];
    while (std::fgets(chunk, sizeof chunk, in) != nullptr) {
        line += chunk;
        if (!line.empty() && line.back() == '\n') {
            return true;
        }
    }
    return !line.empty();
}

// The ten numbers of one complete line appended to `out`; false when the
// line holds anything else.
bool parseCompanionLine(const std::string& line, std::vector<double>& out) {
    const char* p = line.data();
    const char* const end = p + line.size();
    int count = 0;
    for (;;) {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) {
            ++p;
        }
        if (p == end) {
            break;
        }
        double value = 0.0;
        const auto result = std::from_chars(p, end, value, std::chars_format::general);
        if (result.ec != std::errc{} || !std::isfinite(value) || ++count > companionValuesPerLine) {
            return false;
        }
        out.push_back(value);
        p = result.ptr;
    }
    return count == companionValuesPerLine;
}

// The byte offset after the first `lines` complete lines, or -1 when the
// file holds fewer.
long offsetAfterLines(std::FILE* in, std::size_t lines) {
    if (lines == 0) {
        return 0;
    }
    std::size_t seen = 0;
    long offset = 0;
    for (int c = std::fgetc(in); c != EOF; c = std::fgetc(in)) {
        ++offset;
        if (c == '\n' && ++seen == lines) {
            return offset;
        }
    }
    return -1;
}

}  // namespace

std::string companionPath(const std::string& recordPath) {
    const std::string extension = recordExtension;
    if (recordPath.size() > extension.size() &&
        recordPath.compare(recordPath.size() - extension.size(), extension.size(), extension) ==
            0) {
        return recordPath.substr(0, recordPath.size() - extension.size()) + companionExtension;
    }
    return recordPath + companionExtension;
}

std::size_t formatCompanionLine(std::span<const double> tenValues, char* out) {
    std::size_t length = 0;
    char text[valueTextSize];
    for (std::size_t j = 0; j < tenValues.size(); ++j) {
        // "%f\n" of the value; the newline becomes the blank between values.
        const std::size_t n = formatValue(tenValues[j], LineEnd::Newline, text);
        for (std::size_t i = 0; i + 1 < n; ++i) {
            out[length++] = text[i];
        }
        out[length++] = j + 1 < tenValues.size() ? ' ' : '\n';
    }
    return length;
}

std::vector<double> readCompanion(const std::string& path, std::size_t maxLines) {
    const File in = openRegular(path);
    if (!in) {
        return {};
    }
    std::vector<double> values;
    std::string line;
    std::size_t lines = 0;
    while (lines < maxLines && readWholeLine(in.get(), line)) {
        if (line.back() != '\n') {
            // Cut short by a killed program: not a line of the companion.
            break;
        }
        if (!parseCompanionLine(line, values)) {
            return {};
        }
        ++lines;
    }
    if (std::ferror(in.get()) != 0) {
        return {};
    }
    return values;
}

bool companionBelongs(std::span<const double> companion, std::span<const double> decoded) {
    if (decoded.empty() || companion.size() != decoded.size() * companionValuesPerLine) {
        return false;
    }
    for (std::size_t k = 0; k < decoded.size(); ++k) {
        const auto line = companion.subspan(k * companionValuesPerLine, companionValuesPerLine);
        double sum = 0.0;
        double lowest = line[0];
        double highest = line[0];
        for (const double v : line) {
            sum += v;
            lowest = std::min(lowest, v);
            highest = std::max(highest, v);
        }
        // Where the tone sweeps within a buffer (a QRS) its strongest
        // frequency and its mean frequency part: the agreement widens by a
        // share of the sweep.
        const double allowed = companionAgreement + companionSweepShare * (highest - lowest);
        if (!(std::abs(sum / companionValuesPerLine - decoded[k]) <= allowed)) {
            return false;
        }
    }
    return true;
}

std::vector<double> loadCompanion(const std::string& recordPath, std::span<const double> decoded) {
    // One line more is read, so that a longer companion is seen as one.
    std::vector<double> companion = readCompanion(companionPath(recordPath), decoded.size() + 1);
    if (!companionBelongs(companion, decoded)) {
        return {};
    }
    return companion;
}

std::string writeCompanion(const std::string& recordPath, std::span<const double> values) {
    const std::string path = companionPath(recordPath);
    platform::ReplacementFile out(path, path + ".part");
    char text[companionLineSize];
    for (std::size_t k = 0; k + companionValuesPerLine <= values.size();
         k += companionValuesPerLine) {
        const std::size_t length =
            formatCompanionLine(values.subspan(k, companionValuesPerLine), text);
        out.write({text, length});
    }
    std::string reason = out.commit();
    if (!reason.empty()) {
        // What is left there belongs to the version the record no longer is.
        removeCompanion(recordPath);
    }
    return reason;
}

void removeCompanion(const std::string& recordPath) {
    ::unlink(companionPath(recordPath).c_str());
}

std::string copyCompanion(const std::string& destinationRecord, const std::string& sourceRecord,
                          std::size_t lines) {
    const File in = openRegular(companionPath(sourceRecord));
    const long length = in ? offsetAfterLines(in.get(), lines) : -1;
    if (length <= 0) {
        removeCompanion(destinationRecord);
        return {};
    }
    std::rewind(in.get());
    const std::string path = companionPath(destinationRecord);
    platform::ReplacementFile out(path, path + ".part");
    out.reportWritesAs(path);
    char chunk[8192];
    long left = length;
    while (left > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<long>(left, sizeof chunk));
        const std::size_t got = std::fread(chunk, 1, want, in.get());
        if (got == 0) {
            break;
        }
        out.write({chunk, got});
        left -= static_cast<long>(got);
    }
    std::string reason = left == 0 ? out.commit() : companionPath(sourceRecord) + " cannot be read";
    if (!reason.empty()) {
        removeCompanion(destinationRecord);
    }
    return reason;
}

void trimCompanion(const std::string& recordPath, std::size_t lines) {
    const std::string path = companionPath(recordPath);
    const File in = openRegular(path);
    if (!in) {
        return;
    }
    const long length = offsetAfterLines(in.get(), lines);
    if (length < 0) {
        return;
    }
    struct stat info {};
    if (::fstat(fileno(in.get()), &info) == 0 && info.st_size > length) {
        // A companion that cannot be cut no longer belongs to its record,
        // which is all a reader needs to know.
        const int cut = ::truncate(path.c_str(), length);
        static_cast<void>(cut);
    }
}

std::size_t countLines(const std::string& path) {
    const File in = openRegular(path);
    if (!in) {
        return 0;
    }
    std::size_t lines = 0;
    char chunk[8192];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, in.get())) > 0) {
        for (std::size_t i = 0; i < got; ++i) {
            lines += chunk[i] == '\n' ? 1 : 0;
        }
    }
    return lines;
}

}  // namespace records
