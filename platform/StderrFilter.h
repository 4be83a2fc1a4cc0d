#pragma once

#include <atomic>
#include <cstddef>
#include <string_view>

namespace platform {

// Bounds what the sound library writes to standard error. PortAudio prints a
// line for every ALSA call that fails, and its audio thread, left retrying a
// sound card that was pulled out, fails several calls in a loop without a
// pause: tens of megabytes a second into a log. Installed once, before
// PortAudio starts, the filter passes everything else through unchanged and
// only the first `passedLibraryLines` of those lines, then says once that the
// rest are left out.
class StderrFilter {
public:
    static constexpr int passedLibraryLines = 40;

    // Replaces the C library's standard error stream by the filter, once per
    // process; later calls do nothing. Not on systems without fopencookie.
    static void install();

    // Decides for one line (or piece of output) and counts it; exposed so that
    // the decision can be tested without touching the process's stream.
    class Counter {
    public:
        enum class Verdict { pass, passWithNote, drop };
        Verdict judge(std::string_view text);

    private:
        // The C library calls the filter under its stream's lock, which the
        // thread checker does not see; the count keeps itself consistent.
        std::atomic<int> libraryLines_{0};
    };
};

}  // namespace platform
