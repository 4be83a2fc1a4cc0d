#!/usr/bin/env bash
# Builds the program (Release, the build that scripts/run.sh uses) and writes
# the Debian package dist/trelmont-ecg_<version>_<arch>.deb with CPack. Prints
# the package's path as its last line.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TRELMONT_BUILD:-$root/build}"

"$root/scripts/install-deps.sh"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTRELMONT_TESTS=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target trelmont-ecg desktop_files

staging="$build/cpack"
rm -rf "$staging"
(cd "$build" && cpack -G DEB -B "$staging" >/dev/null)
debs=("$staging"/trelmont-ecg_*.deb)
mkdir -p "$root/dist"
cp "${debs[0]}" "$root/dist/"
echo "$root/dist/$(basename "${debs[0]}")"
