#pragma once

#include "acquisition/CaptureOutcome.h"

namespace app {

// Says what kept capture from starting or from taking new settings, in the
// box the capture's failures have always had: the sound input's words under
// "Recorder", a failed rebuild under "Exception". Nothing when there is
// nothing to say. Called once the capture worker's lock is free.
void reportCapture(const acquisition::CaptureOutcome& outcome);

}  // namespace app
