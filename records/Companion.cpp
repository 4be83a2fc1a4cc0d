#include "Companion.h"

#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <system_error>

#include "RecordFormat.h"
#include "platform/RegularFile.h"

namespace records {

namespace {

constexpr const char* companionExtension = ".hr.txt";

// The ten numbers of one complete line appended to `out`; false when the
// line holds anything else.
bool parseCompanionLine(std::string_view line, std::vector<double>& out) {
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
    return besideRecord(recordPath, companionExtension);
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

bool forEachCompanionLine(const std::string& path, std::size_t maxLines,
                          const std::function<bool(std::size_t, std::span<const double>)>& line,
                          std::size_t* lines) {
    std::size_t done = 0;
    if (lines != nullptr) {
        *lines = 0;
    }
    const platform::File in = platform::openRegularForReading(path);
    if (!in) {
        return false;
    }
    std::vector<double> values;
    values.reserve(companionValuesPerLine);
    // Room for the longest line of ten values, its newline and one more:
    // a line that fills it is no companion line.
    char text[companionLineSize + 2];
    while (done < maxLines && std::fgets(text, sizeof text, in.get()) != nullptr) {
        const std::size_t length = std::strlen(text);
        if (length == 0 || text[length - 1] != '\n') {
            if (length + 1 >= sizeof text) {
                return false;
            }
            // Cut short by a killed program: not a line of the companion.
            break;
        }
        values.clear();
        if (!parseCompanionLine({text, length}, values)) {
            return false;
        }
        ++done;
        if (lines != nullptr) {
            *lines = done;
        }
        if (!line(done - 1, values)) {
            return true;
        }
    }
    return std::ferror(in.get()) == 0;
}

std::vector<double> readCompanion(const std::string& path, std::size_t maxLines) {
    std::vector<double> values;
    const bool read =
        forEachCompanionLine(path, maxLines, [&](std::size_t, std::span<const double> ten) {
            values.insert(values.end(), ten.begin(), ten.end());
            return true;
        });
    return read ? values : std::vector<double>{};
}

std::vector<double> readCompanionLines(const std::string& path, std::size_t first,
                                       std::size_t count) {
    std::vector<double> values;
    if (count == 0) {
        return values;
    }
    values.reserve(count * companionValuesPerLine);
    const bool read =
        forEachCompanionLine(path, first + count, [&](std::size_t k, std::span<const double> ten) {
            if (k >= first) {
                values.insert(values.end(), ten.begin(), ten.end());
            }
            return true;
        });
    if (!read || values.size() != count * companionValuesPerLine) {
        return {};
    }
    return values;
}

void removeCompanion(const std::string& recordPath) {
    ::unlink(companionPath(recordPath).c_str());
}

void trimCompanion(const std::string& recordPath, std::size_t lines) {
    const std::string path = companionPath(recordPath);
    const platform::File in = platform::openRegularForReading(path);
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
    const platform::File in = platform::openRegularForReading(path);
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
