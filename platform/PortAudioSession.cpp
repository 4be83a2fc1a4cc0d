#include "PortAudioSession.h"

#include <portaudio.h>

#include <cstdlib>

#include "StderrFilter.h"
#include "StderrSilencer.h"

#if defined(__linux__)
#include <alsa/asoundlib.h>
#endif

namespace platform {

namespace {

#if defined(__linux__)
// ALSA reports every configuration node it cannot evaluate while PortAudio
// enumerates devices (missing cards, absent sound servers). None of it is for
// the user; failures that matter come back as PortAudio error codes.
void dropAlsaMessage(const char*, int, const char*, int, const char*, ...) {}
#endif

int startQuietly() {
    StderrFilter::install();
#if defined(__linux__)
    snd_lib_error_set_handler(dropAlsaMessage);
    // JACK only checks that the variable exists; an explicit user setting stays.
    ::setenv("JACK_NO_START_SERVER", "1", 0);
#endif
    const StderrSilencer quiet;
    return Pa_Initialize();
}

}  // namespace

PortAudioSession::PortAudioSession() : error_(startQuietly()) {}

PortAudioSession::~PortAudioSession() {
    if (initialised()) {
        Pa_Terminate();
    }
}

}  // namespace platform
