#include "SampleCursor.h"

#include "Recorder.h"

namespace acquisition {

int SampleCursor::value() const { return recorder_->sample(data_, index_); }

}  // namespace acquisition
