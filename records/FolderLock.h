#pragma once

#include <memory>
#include <string>

namespace records {

// A records folder held by one program at a time, so that no second one
// finishes a change of a recording's files that the first is still making:
// a write lock on the lock file ".trelmont-ecg.lock" in the folder, created
// with the mode the umask gives and left in place. Held for the life of the
// object; the system lets it go when the program ends, however it ends. On
// a file system that keeps no locks at all, the folder is used unlocked.
class FolderLock {
public:
    static constexpr const char* fileName = ".trelmont-ecg.lock";

    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // The folder for this program alone, or null when another program holds
    // it (then `why` names the folder and says so) or the lock file cannot
    // be made there.
    static std::unique_ptr<FolderLock> take(const std::string& folder, std::string* why = nullptr);

private:
    explicit FolderLock(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace records
