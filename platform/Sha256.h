#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace platform {

// SHA-256 of a stream of bytes, as lowercase hexadecimal: what ties a
// recording's record, companion and facts together.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void update(std::string_view bytes);
    // The digest of everything given so far (64 hexadecimal digits).
    std::string hex() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform
