#include "RecordFormat.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace records {

std::string besideRecord(const std::string& recordPath, std::string_view ending) {
    constexpr std::string_view extension = ".txt";
    const std::size_t n = recordPath.size();
    const bool isRecord = n > extension.size() &&
                          std::string_view(recordPath).substr(n - extension.size()) == extension;
    return (isRecord ? recordPath.substr(0, n - extension.size()) : recordPath) +
           std::string(ending);
}

std::size_t formatValue(double value, LineEnd end, char* out) {
    char* const last = out + valueTextSize - 2;
    const auto result = std::to_chars(out, last, value, std::chars_format::fixed, 6);
    char* p = result.ec == std::errc{} ? result.ptr : out;
    if (end == LineEnd::BlankNewline) {
        *p++ = ' ';
    }
    *p++ = '\n';
    return static_cast<std::size_t>(p - out);
}

namespace {

bool isCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "0x" or "0X" followed by a hexadecimal digit, or by a point and one.
bool hasHexPrefix(const char* first, const char* last) {
    if (last - first < 3 || first[0] != '0' || (first[1] != 'x' && first[1] != 'X')) {
        return false;
    }
    const char* digits = first + 2;
    if (*digits == '.') {
        ++digits;
    }
    return digits < last && isHexDigit(*digits);
}

}  // namespace

double parseValue(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && isCSpace(line[i])) {
        ++i;
    }
    bool negative = false;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) {
        negative = line[i] == '-';
        ++i;
    }
    // from_chars takes no sign of its own before the digits but a '-', and no
    // '+': the sign is handled here so that "-x" and "+x" read like atof.
    if (i < line.size() && line[i] == '-') {
        return 0.0;
    }
    double value = 0.0;
    const char* first = line.data() + i;
    const char* last = line.data() + line.size();
    // atof also reads hexadecimal ("0x1A", "0x1p3"); from_chars takes it only
    // without the prefix. A bare "0x" reads as the 0 before it.
    auto format = std::chars_format::general;
    if (hasHexPrefix(first, last)) {
        first += 2;
        format = std::chars_format::hex;
    }
    const auto result = std::from_chars(first, last, value, format);
    if (result.ec != std::errc{} || result.ptr == first || !std::isfinite(value)) {
        return 0.0;
    }
    return negative ? -value : value;
}

}  // namespace records
