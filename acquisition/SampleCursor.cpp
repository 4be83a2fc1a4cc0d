#include "SampleCursor.h"

#include "Recorder.h"

namespace acquisition {

int SampleCursor::value() const {
    return pcm_ != nullptr ? pcm_[index_] : recorder_->sample(data_, index_);
}

void SampleCursor::read(int count, int* out) {
    if (pcm_ != nullptr) {
        for (int i = 0; i < count; ++i) {
            out[i] = pcm_[index_ + i];
        }
    } else {
        recorder_->samples(data_, index_, count, out);
    }
    index_ += count;
}

}  // namespace acquisition
