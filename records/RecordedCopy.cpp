#include "RecordedCopy.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "EdfExport.h"
#include "platform/RegularFile.h"
#include "platform/ReplacementFile.h"

namespace records {

namespace {

std::string describe(const std::string& what, int error) {
    return what + ": " + std::strerror(error != 0 ? error : EIO);
}

}  // namespace

std::string copyFileBytes(const std::string& source, const std::string& target) {
    std::string why;
    const platform::File in = platform::openRegularForReading(source, &why);
    if (!in) {
        return why.empty() ? source + " does not exist: there is no stored recording yet" : why;
    }
    struct stat info {};
    if (::fstat(fileno(in.get()), &info) != 0) {
        return describe(source + " cannot be read", errno);
    }
    // A copy of health data is no wider open than its source.
    platform::ReplacementFile out(target, platform::ReplacementFile::ModeSources{source});
    out.keepTime(info.st_mtim);
    char buffer[1 << 15];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) {
        out.write({buffer, got});
    }
    if (std::ferror(in.get()) != 0) {
        return describe(source + " cannot be read", errno);
    }
    return out.commit();
}

bool wantsEdf(const std::string& path) {
    constexpr std::string_view edf = ".edf";
    if (path.size() < edf.size()) {
        return false;
    }
    const std::string tail = path.substr(path.size() - edf.size());
    return std::equal(tail.begin(), tail.end(), edf.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

std::string writeRecordedCopy(const std::string& source, const std::string& target, int sampleRate,
                              int samplesPerBuffer) {
    return wantsEdf(target) ? EdfExport(sampleRate, samplesPerBuffer).write(source, target)
                            : copyFileBytes(source, target);
}

}  // namespace records
