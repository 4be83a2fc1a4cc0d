#pragma once

namespace platform {

// Sends the process's standard error to the null device for its lifetime and
// restores it afterwards. Used only around PortAudio's start-up, where the
// audio libraries (JACK in particular) print what they tried and failed.
class StderrSilencer {
public:
    StderrSilencer();
    ~StderrSilencer();
    StderrSilencer(const StderrSilencer&) = delete;
    StderrSilencer& operator=(const StderrSilencer&) = delete;

private:
    int saved_ = -1;
};

}  // namespace platform
