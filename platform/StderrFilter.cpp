#include "StderrFilter.h"

#include <cstdio>
#include <mutex>
#include <string_view>

#if defined(__GLIBC__)
#include <unistd.h>

#include <cerrno>
#endif

namespace platform {

namespace {

// PortAudio's form for a failed call: "Expression '...' failed in
// 'src/hostapi/alsa/pa_linux_alsa.c', line: N".
bool isLibraryLine(std::string_view text) {
    return text.starts_with("Expression '") && text.find("' failed in '") != std::string_view::npos;
}

constexpr std::string_view droppedNote =
    "(further failures reported by the sound library are left out)\n";

}  // namespace

StderrFilter::Counter::Verdict StderrFilter::Counter::judge(std::string_view text) {
    if (!isLibraryLine(text)) {
        return Verdict::pass;
    }
    // The count stops at the bound: a thread that fails for hours must not
    // wrap it round and open the flood again.
    int seen = libraryLines_.load(std::memory_order_relaxed);
    while (seen < passedLibraryLines &&
           !libraryLines_.compare_exchange_weak(seen, seen + 1, std::memory_order_relaxed)) {
    }
    if (seen >= passedLibraryLines) {
        return Verdict::drop;
    }
    return seen + 1 == passedLibraryLines ? Verdict::passWithNote : Verdict::pass;
}

#if defined(__GLIBC__)

namespace {

void writeAll(std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

// The stream is line-buffered, so each call carries a line (or a piece of a
// line longer than the buffer); the C library calls it under the stream's lock.
ssize_t writeFiltered(void* cookie, const char* data, std::size_t size) {
    auto& counter = *static_cast<StderrFilter::Counter*>(cookie);
    const std::string_view text(data, size);
    switch (counter.judge(text)) {
        case StderrFilter::Counter::Verdict::pass:
            writeAll(text);
            break;
        case StderrFilter::Counter::Verdict::passWithNote:
            writeAll(text);
            writeAll(droppedNote);
            break;
        case StderrFilter::Counter::Verdict::drop:
            break;
    }
    return static_cast<ssize_t>(size);
}

}  // namespace

void StderrFilter::install() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Both live for the rest of the process: the stream is the standard
        // error stream from now on, and the old one stays open on the same
        // descriptor for anything that kept a pointer to it.
        static auto* const counter = new Counter;
        cookie_io_functions_t functions{};
        functions.write = writeFiltered;
        std::FILE* filtered = ::fopencookie(counter, "w", functions);
        if (filtered == nullptr) {
            return;
        }
        std::setvbuf(filtered, nullptr, _IOLBF, BUFSIZ);
        std::fflush(stderr);
        stderr = filtered;
    });
}

#else

void StderrFilter::install() {}

#endif

}  // namespace platform
