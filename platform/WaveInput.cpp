#include "WaveInput.h"

namespace platform {

std::string standardErrorText(MMResult code) {
    switch (code) {
        case MMSYSERR_NOERROR:
            return "The command completed successfully.";
        case MMSYSERR_ERROR:
            return "Undefined external error.";
        case MMSYSERR_BADDEVICEID:
            return "A device ID has been used that is out of range for your system.";
        case MMSYSERR_NOTENABLED:
            return "The driver was not enabled.";
        case MMSYSERR_ALLOCATED:
            return "The specified device is already in use. Wait until it is free, and then try "
                   "again.";
        case MMSYSERR_INVALHANDLE:
            return "The specified device handle is invalid.";
        case MMSYSERR_NODRIVER:
            return "There is no driver installed on your system.";
        case MMSYSERR_NOMEM:
            return "There is not enough memory available for this task.";
        case MMSYSERR_INVALPARAM:
            return "An invalid parameter was passed to a system function.";
        case WAVERR_BADFORMAT:
            return "The specified format is not supported or cannot be translated.";
        case WAVERR_STILLPLAYING:
            return "Cannot perform this operation while media data is still playing.";
        case WAVERR_UNPREPARED:
            return "The wave header was not prepared.";
        default:
            return "Unknown error.";
    }
}

}  // namespace platform
