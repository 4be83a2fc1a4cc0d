#pragma once

#include <string>

namespace app {

// `--print-pdf FILE`: prints the working recording of the current directory
// to a PDF file as the print job lays it out on paper, without a window or a
// dialog. Returns the exit code; on failure a one-line reason goes to
// standard error and no file is written.
int printWorkingRecordingToPdf(const std::string& path);

}  // namespace app
