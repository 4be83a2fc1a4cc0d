#include "RecordsFolder.h"

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
    std::filesystem::create_directories(folder_, error);
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
