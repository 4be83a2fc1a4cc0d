#include "SampleCursor.h"

#include "Recorder.h"

namespace acquisition {

int SampleCursor::value() const {
    return recorder_->sample(data_, index_);
}

void SampleCursor::read(int count, int* out) {
    recorder_->samples(data_, index_, count, out);
    index_ += count;
}

}  // namespace acquisition
