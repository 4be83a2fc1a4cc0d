#pragma once

namespace acquisition {

class Recorder;

// Reads the integer samples of one completed wave buffer in order.
class SampleCursor {
public:
    SampleCursor(const char* data, const Recorder& recorder, int count)
        : data_(data), recorder_(&recorder), count_(count) {}

    int value() const;
    // The next `count` values into `out`, advancing past them.
    void read(int count, int* out);
    int size() const { return count_; }

private:
    const char* data_;
    const Recorder* recorder_;
    int index_ = 0;
    int count_;
};

}  // namespace acquisition
