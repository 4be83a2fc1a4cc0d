#include "KeyRepeats.h"

#include <QKeyEvent>

namespace platform {

bool KeyRepeats::repeated(const QKeyEvent& press) {
    const Stamp stamp{press.key(), static_cast<unsigned long>(press.timestamp())};
    if (stamp == lastPress_) {
        return lastVerdict_;
    }
    lastPress_ = stamp;
    lastVerdict_ = press.isAutoRepeat() || down_.count(stamp.key) != 0 || stamp == lastRelease_;
    down_.insert(stamp.key);
    return lastVerdict_;
}

void KeyRepeats::released(const QKeyEvent& release) {
    lastRelease_ = {release.key(), static_cast<unsigned long>(release.timestamp())};
    down_.erase(release.key());
}

void KeyRepeats::forget() {
    down_.clear();
}

}  // namespace platform
