#!/usr/bin/env bash
# Installs what is missing, builds the tests with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test. Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TRELMONT_TEST_BUILD:-$root/build-test}"

"$root/scripts/install-deps.sh"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTRELMONT_SANITIZE=ON \
    -DTRELMONT_TESTS=ON -DTRELMONT_BENCH=ON
cmake --build "$build" --parallel "$(nproc)"

# Leak detection stays on for our code; only what Qt and the system libraries
# keep for the life of the process is suppressed.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
# Qt's runtime directory, private to this run, so parallel tests never race to
# create a shared one.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    chmod 700 "$XDG_RUNTIME_DIR"
    export XDG_RUNTIME_DIR
fi

cd "$build"
echo "== tests under AddressSanitizer (at ${SECONDS} s)"
ctest --output-on-failure --timeout 600 -j "$(nproc)"

# The Debian package, built once from the Release build that scripts/run.sh
# uses, and judged by lintian, desktop-file-validate and appstreamcli.
status=0
echo "== Debian package (at ${SECONDS} s)"
if ! "$root/scripts/check-package.sh"; then
    echo "the Debian package failed its checks" >&2
    status=1
fi

# The tests that start threads (the capture worker, the simulator's producer,
# the audio callback, the print job and the user-interface thread) once more
# under ThreadSanitizer. The spectrum kernels use their plain form there.
tsan_build="${TRELMONT_TSAN_BUILD:-$root/build-tsan}"
cmake -S "$root" -B "$tsan_build" -DCMAKE_BUILD_TYPE=Debug -DTRELMONT_SANITIZE=thread \
    -DTRELMONT_TESTS=ON -DTRELMONT_BENCH=OFF
cmake --build "$tsan_build" --parallel "$(nproc)" --target acquisition_tests platform_tests app_tests
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
export TSAN_OPTIONS="suppressions=$root/scripts/tsan.supp:halt_on_error=1:second_deadlock_stack=1"
# The three full recordings at every rate check the files and the clinical
# outputs, not the threads (every other window test starts the same ones),
# the tone in rooms the analysis of files in one thread (and a live one a
# recording the others make too), and the order of a start and an opening is
# the user-interface thread's alone: they run under AddressSanitizer only.
for tests in acquisition/acquisition_tests platform/platform_tests app/app_tests; do
    echo "== ThreadSanitizer: $tests (at ${SECONDS} s)"
    if ! timeout 1200 "$tsan_build/tests/$tests" --gtest_brief=1 \
            --gtest_filter=-*RateAcceptanceTest*:ToneInRooms.*:StartOrOpenTest.*:DisturbedToneTest.*; then
        echo "ThreadSanitizer run failed: $tests" >&2
        status=1
    fi
done

# The record fuzz target for a fixed budget, built with clang's libFuzzer: any
# bytes as the working recording, down the path a recording takes. The
# corpus starts from the record forms the program writes.
fuzz_build="${TRELMONT_FUZZ_BUILD:-$root/build-fuzz}"
fuzz_seconds="${TRELMONT_FUZZ_SECONDS:-60}"
CC=clang CXX=clang++ cmake -S "$root" -B "$fuzz_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTRELMONT_FUZZ=ON -DTRELMONT_TESTS=OFF -DTRELMONT_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined \
-fsanitize-coverage-ignorelist=$root/fuzz/coverage-ignore.txt"
cmake --build "$fuzz_build" --parallel "$(nproc)" --target record_fuzz record_reader_fuzz \
    tone_file_fuzz
# The target works in a directory of its own under TMPDIR; a memory file
# system keeps its synced writes fast.
fuzz_tmp=/dev/shm
[ -d "$fuzz_tmp" ] && [ -w "$fuzz_tmp" ] || fuzz_tmp="${TMPDIR:-/tmp}"
export ASAN_OPTIONS="detect_leaks=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
# Runs fuzz target $1 for $2 seconds from the corpus in folder $3.
fuzz() {
    echo "== fuzz target $1, $2 s (at ${SECONDS} s)"
    if ! (cd "$3" && TMPDIR="$fuzz_tmp" "$fuzz_build/fuzz/$1" \
            -max_total_time="$2" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
            -artifact_prefix="$3/" "$3" 2>&1 | tail -n 3); then
        echo "fuzz target $1 failed; the input is in $3" >&2
        status=1
    fi
}

# The whole path for the budget, then the reader alone for half of it.
for target in record_fuzz:"$fuzz_seconds" record_reader_fuzz:$((fuzz_seconds / 2)); do
    corpus=$(mktemp -d)
    cp "$root"/fuzz/seeds/* "$corpus"/
    fuzz "${target%%:*}" "${target##*:}" "$corpus"
done

# Tone files from outside for the same budget: any bytes down the decoder's
# path. The corpus starts from a second of the front end's tone in every form
# people record it, two MP3 and two WAV files joined as voicemail systems join
# them, Ogg files chained and cut, and a list naming another file, made here by the
# ffmpeg command.
corpus=$(mktemp -d)
tone="sine=frequency=1716:sample_rate=8000:duration=1"
for seed in "tone.wav:-c:a pcm_s16le" "tone.flac:-c:a flac" "tone.ogg:-c:a libvorbis" \
        "tone.opus:-c:a libopus -b:a 16k" "tone.mp3:-c:a libmp3lame -b:a 32k" \
        "tone.m4a:-c:a aac -b:a 32k" "stereo.mp3:-ac 2 -ar 44100 -c:a libmp3lame -b:a 32k"; do
    # shellcheck disable=SC2086
    ffmpeg -v error -y -f lavfi -i "$tone" ${seed#*:} "$corpus/${seed%%:*}"
done
cat "$corpus/stereo.mp3" "$corpus/tone.mp3" > "$corpus/joined.mp3"
rm "$corpus/stereo.mp3"
# Two Ogg streams chained (the clock starts again), and three seconds with
# the pages of the middle one cut out (the clock jumps ahead).
cat "$corpus/tone.opus" "$corpus/tone.opus" > "$corpus/chained.opus"
cat "$corpus/tone.wav" "$corpus/tone.wav" > "$corpus/joined.wav"
ffmpeg -v error -y -f lavfi -i "${tone%:duration=1}:duration=3" -c:a libopus -b:a 16k \
    "$corpus/long.opus"
size=$(stat -c %s "$corpus/long.opus")
{ head -c $((size / 3)) "$corpus/long.opus"; tail -c +$((2 * size / 3)) "$corpus/long.opus"; } \
    > "$corpus/gap.opus"
rm "$corpus/long.opus"
printf 'ffconcat version 1.0\nfile tone.wav\n' > "$corpus/list.wav"
fuzz tone_file_fuzz "$fuzz_seconds" "$corpus"
echo "== done (at ${SECONDS} s)"
exit "$status"
