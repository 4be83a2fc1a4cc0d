#pragma once

namespace acquisition {

// The acquisition settings every run starts from: 199680 samples a second in
// buffers of 4096, one value per buffer, 48.75 values a second. The value
// estimate reads every spectrum on this scale, whatever rate is chosen.
namespace defaults {

inline constexpr int sampleRate = 199680;
inline constexpr int fftPoints = 4096;
inline constexpr int samplesPerBuffer = fftPoints;

}  // namespace defaults
}  // namespace acquisition
