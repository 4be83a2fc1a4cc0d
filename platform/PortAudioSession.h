#pragma once

namespace platform {

// PortAudio initialised for the lifetime of the object (Pa_Initialize in the
// constructor, Pa_Terminate in the destructor when the start succeeded).
//
// Start-up is quiet: on Linux, PortAudio probes ALSA and JACK, and both print
// every plugin and server they cannot reach. ALSA's messages go to an error
// handler that drops them; JACK is told not to start a server and its
// messages, which only go to standard error, are swallowed while PortAudio
// starts.
class PortAudioSession {
public:
    PortAudioSession();
    ~PortAudioSession();
    PortAudioSession(const PortAudioSession&) = delete;
    PortAudioSession& operator=(const PortAudioSession&) = delete;

    bool initialised() const { return error_ == 0; }
    // PortAudio's result of Pa_Initialize (a PaError; 0 on success).
    int error() const { return error_; }

private:
    int error_;
};

}  // namespace platform
