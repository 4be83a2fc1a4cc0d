#pragma once

namespace acquisition {

// How far a buffer's values can be trusted: the front end's tone clear and
// steady; there but troubled (echoes, noise, a codec), its values perhaps
// wrong; or not there at all (silence, speech, noise).
enum class ToneQuality { good, doubtful, withoutTone };

}  // namespace acquisition
