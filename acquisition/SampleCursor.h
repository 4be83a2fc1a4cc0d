#pragma once

#include <cstdint>

namespace acquisition {

class Recorder;

// Reads the integer samples of one completed wave buffer in order: as the
// recorder decodes its bytes, or 16-bit samples decoded already (a tone
// read from a file), which are the same integers.
class SampleCursor {
public:
    SampleCursor(const char* data, const Recorder& recorder, int count)
        : data_(data), recorder_(&recorder), count_(count) {}
    SampleCursor(const std::int16_t* samples, int count) : pcm_(samples), count_(count) {}

    int value() const;
    // The next `count` values into `out`, advancing past them.
    void read(int count, int* out);
    int size() const { return count_; }

private:
    const char* data_ = nullptr;
    const Recorder* recorder_ = nullptr;
    const std::int16_t* pcm_ = nullptr;
    int index_ = 0;
    int count_;
};

}  // namespace acquisition
