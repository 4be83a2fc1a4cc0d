#!/usr/bin/env bash
# Installs what is missing, builds the program (Release) and starts it with the
# arguments given. Where no sound card exists the built-in ECG front-end
# simulator is used.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TRELMONT_BUILD:-$root/build}"

"$root/scripts/install-deps.sh"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTRELMONT_TESTS=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target trelmont-ecg

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "run.sh: no graphical session (DISPLAY and WAYLAND_DISPLAY are unset)." >&2
    echo "run.sh: start it from a desktop session, or on a headless machine: xvfb-run -a scripts/run.sh" >&2
    exit 1
fi

args=("$@")
if [ "${#args[@]}" -eq 0 ] && ! compgen -G "/dev/snd/pcmC*D*c" >/dev/null; then
    echo "run.sh: no sound capture device found; starting the ECG front-end simulator" >&2
    args=(--simulate)
fi
exec "$build/app/trelmont-ecg" "${args[@]}"
