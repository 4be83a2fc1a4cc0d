#pragma once

#include "CommandLine.h"

namespace app {

// `--decode TONE OUT [--channel N]`: decodes an audio file of the front
// end's tone into an EDF+ file or a record with its companion and facts,
// without a window. On a terminal, one line on standard error shows the
// progress; Ctrl+C stops it and leaves no output. Returns the exit code: 0
// when an ECG was written, 1 with the reason on standard error otherwise.
int decodeToneFile(const CommandLine& line);

}  // namespace app
