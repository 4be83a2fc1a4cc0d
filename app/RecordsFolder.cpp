#include "RecordsFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "platform/StandardFolders.h"

namespace app {

namespace {

std::string cannotWrite(const std::filesystem::path& folder, const std::string& reason) {
    return "The records folder " + folder.string() + " cannot be written: " + reason +
           ".\nThe recordings are kept there (REC.txt, REC1.txt to REC10.txt); choose another "
           "folder with --records DIR.";
}

// Creates the folders of `path` that are missing, each open to its owner
// alone (0700): they hold health data.
void createPrivately(const std::filesystem::path& path, std::error_code& error) {
    std::filesystem::path built;
    for (const std::filesystem::path& part : path) {
        built /= part;
        if (part.empty() || std::filesystem::exists(built, error)) {
            continue;
        }
        if (::mkdir(built.c_str(), S_IRWXU) != 0 && errno != EEXIST) {
            error = std::error_code(errno, std::generic_category());
            return;
        }
    }
    if (!std::filesystem::is_directory(path, error) && !error) {
        error = std::make_error_code(std::errc::not_a_directory);
    }
}

}  // namespace

RecordsFolder::RecordsFolder(std::filesystem::path folder) : folder_(std::move(folder)) {}

RecordsFolder RecordsFolder::fromCommandLine(const CommandLine& line) {
    if (line.documents) {
        return RecordsFolder(std::filesystem::path(platform::documentsFolder()) /
                             CommandLine::documentsSubfolder);
    }
    return RecordsFolder(line.recordsFolder);
}

std::string RecordsFolder::enter() const {
    if (folder_.empty()) {
        return {};
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(folder_, error);
    const std::filesystem::path& named = error ? folder_ : absolute;
    createPrivately(named.lexically_normal(), error);
    if (!error) {
        std::filesystem::current_path(folder_, error);
    }
    return error ? cannotWrite(named, error.message()) : std::string();
}

std::string RecordsFolder::checkWritable() {
    std::error_code error;
    const std::filesystem::path here = std::filesystem::current_path(error);
    if (error) {
        return cannotWrite(".", error.message());
    }
    // Creating a file is the one test that also sees read-only mounts,
    // access lists and quotas of zero.
    std::string probe = (here / ".trelmont-ecg-write-test-XXXXXX").string();
    const int fd = mkstemp(probe.data());
    if (fd < 0) {
        return cannotWrite(here, std::strerror(errno));
    }
    close(fd);
    unlink(probe.c_str());
    return {};
}

}  // namespace app
