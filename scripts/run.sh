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

program="$build/app/trelmont-ecg"

# Without a display the program cannot show its window: run a 15-second
# recording from the simulator on a virtual display instead, in a folder of
# its own so that no recording of the user's is touched.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    demo="$build/demo"
    mkdir -p "$demo"
    rm -f "$demo"/REC*.txt "$demo/screenshot.png"
    echo "run.sh: no graphical session (DISPLAY and WAYLAND_DISPLAY are unset)." >&2
    echo "run.sh: running a 15-second demonstration from the ECG front-end simulator on a virtual display" >&2
    (cd "$demo" && xvfb-run -a "$program" --simulate --record 15 --screenshot screenshot.png)
    echo "run.sh: screenshot of the main window: $demo/screenshot.png"
    echo "run.sh: the recording: $demo/REC.txt (stored in slot 1 as $demo/REC1.txt, $(wc -l <"$demo/REC1.txt") values)"
    echo "run.sh: to use the program itself, start it from a desktop session"
    exit 0
fi

args=("$@")
if [ "${#args[@]}" -eq 0 ] && ! compgen -G "/dev/snd/pcmC*D*c" >/dev/null; then
    echo "run.sh: no sound capture device found; starting the ECG front-end simulator" >&2
    args=(--simulate)
fi
exec "$program" "${args[@]}"
