#include "RecordTime.h"

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

double recordingStart(const std::timespec& lastStored, long long count, double valuesPerSecond) {
    const double stored = static_cast<double>(lastStored.tv_sec) +
                          static_cast<double>(lastStored.tv_nsec) / nanosecondsPerSecond;
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
