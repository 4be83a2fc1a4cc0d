#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace records {

// Where a decoding holds back what may turn out to be the end of a tone file
// (minutes of buffers without the front end's tone): a file without a name
// in the output's own folder, so that it goes with the process whatever
// happens and takes room where the output itself will need it, not in a
// /tmp that may be memory. Every write and read is checked: a hold-back
// that cannot be kept fails the decoding, never a stretch quietly lost.
class HoldBackFile {
public:
    // A new, empty one in `folder`; null, with `why` naming the folder and
    // the reason, when it cannot be made.
    static std::unique_ptr<HoldBackFile> create(const std::string& folder, std::string& why);
    ~HoldBackFile();
    HoldBackFile(const HoldBackFile&) = delete;
    HoldBackFile& operator=(const HoldBackFile&) = delete;

    // Appends `size` bytes. Empty on success, otherwise why not.
    std::string append(const void* data, std::size_t size);
    // The next `size` bytes from the start, or from where the last read
    // ended. Empty on success, otherwise why not (also when fewer are left).
    std::string read(void* data, std::size_t size);
    // Empties it; the next read starts at its beginning.
    std::string clear();

private:
    HoldBackFile(int fd, std::string folder);
    std::string failed(const char* what, int error) const;

    int fd_;
    std::string folder_;
    long long written_ = 0;
    long long readAt_ = 0;
};

}  // namespace records
