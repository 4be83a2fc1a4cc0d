#include "RecordTime.h"

#include "RecordingFacts.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>

namespace records {

namespace {

constexpr long nanosecondsPerSecond = 1'000'000'000L;

}  // namespace

std::optional<std::timespec> modificationTime(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return info.st_mtim;
}

std::timespec shiftedTime(const std::timespec& time, double seconds) {
    const double whole = std::floor(seconds);
    long long sec = static_cast<long long>(time.tv_sec) + static_cast<long long>(whole);
    long long nsec = time.tv_nsec + std::llround((seconds - whole) * nanosecondsPerSecond);
    while (nsec >= nanosecondsPerSecond) {
        nsec -= nanosecondsPerSecond;
        sec += 1;
    }
    std::timespec shifted{};
    shifted.tv_sec = static_cast<std::time_t>(sec);
    shifted.tv_nsec = static_cast<long>(nsec);
    return shifted;
}

double secondsOf(const std::timespec& time) {
    return static_cast<double>(time.tv_sec) +
           static_cast<double>(time.tv_nsec) / nanosecondsPerSecond;
}

double recordingStart(const std::timespec& lastStored, long long count, double valuesPerSecond) {
    const double stored = secondsOf(lastStored);
    if (!(valuesPerSecond > 0.0) || count <= 0) {
        return stored;
    }
    return stored - static_cast<double>(count) / valuesPerSecond;
}

std::optional<double> recordingStart(const std::string& path, long long count,
                                     double valuesPerSecond) {
    const std::optional<std::timespec> time = modificationTime(path);
    if (!time) {
        return std::nullopt;
    }
    return recordingStart(*time, count, valuesPerSecond);
}

std::optional<double> recordedAtFromTag(const std::string& text, double now) {
    int fields[6] = {};
    std::size_t at = 0;
    // Six numbers, whatever stands between them: year, month, day, hour,
    // minute, second.
    for (int& field : fields) {
        while (at < text.size() && (text[at] < '0' || text[at] > '9')) {
            ++at;
        }
        if (at == text.size()) {
            return std::nullopt;
        }
        long long value = 0;
        std::size_t digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 5) {
            value = value * 10 + (text[at++] - '0');
            ++digits;
        }
        field = static_cast<int>(value);
    }
    const auto [year, month, day, hour, minute, second] = fields;
    if (year < 1990 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 60) {
        return std::nullopt;
    }
    // An offset or a Z after the time of day: ISO 8601 says it whole.
    double seconds = 0.0;
    if (const std::optional<double> iso = parseIsoTime(text)) {
        seconds = *iso;
    } else {
        std::tm local{};
        local.tm_year = year - 1900;
        local.tm_mon = month - 1;
        local.tm_mday = day;
        local.tm_hour = hour;
        local.tm_min = minute;
        local.tm_sec = second;
        local.tm_isdst = -1;
        seconds = static_cast<double>(std::mktime(&local));
    }
    if (!(seconds <= now)) {
        return std::nullopt;
    }
    return seconds;
}

std::string localIsoTime(double secondsSinceEpoch) {
    const std::time_t t = static_cast<std::time_t>(std::floor(secondsSinceEpoch));
    std::tm local{};
    localtime_r(&t, &local);
    char time[32];
    char zone[8];
    std::strftime(time, sizeof time, "%Y-%m-%dT%H:%M:%S", &local);
    std::strftime(zone, sizeof zone, "%z", &local);
    // strftime writes the offset as +0100; ISO 8601's extended form is +01:00.
    char text[48];
    std::snprintf(text, sizeof text, "%s%.3s:%.2s", time, zone, zone + 3);
    return text;
}

}  // namespace records
