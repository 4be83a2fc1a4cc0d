#include "FileIdentity.h"

#include <algorithm>

#include "platform/RegularFile.h"

namespace records {

void IdentityCounter::update(std::string_view bytes) {
    hash_.update(bytes);
    lines_ += static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
}

FileIdentity IdentityCounter::result() const {
    return {lines_, hash_.hex()};
}

std::optional<FileIdentity> identifyFile(const std::string& path, std::string* why) {
    const platform::File in = platform::openRegularForReading(path, why);
    if (!in) {
        return std::nullopt;
    }
    IdentityCounter counter;
    char buffer[1 << 15];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) {
        counter.update({buffer, got});
    }
    if (std::ferror(in.get()) != 0) {
        if (why != nullptr) {
            *why = path + " cannot be read";
        }
        return std::nullopt;
    }
    return counter.result();
}

}  // namespace records
