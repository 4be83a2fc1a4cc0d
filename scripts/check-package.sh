#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh) and judges it as Debian does:
# lintian without an error and without overrides, and desktop-file-validate
# and appstreamcli (which fails on warnings) on the files it installs; its
# dependencies are the runtime libraries and plugins only. Exits non-zero on
# any finding.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

deb=$("$root/scripts/package.sh" | tail -n 1)
echo "check-package: $deb"
status=0
fail() {
    echo "check-package: $*" >&2
    status=1
}

if dpkg-deb -c "$deb" | grep -q 'lintian/overrides'; then
    fail "the package carries lintian overrides"
fi
# Every finding is shown; only errors fail the check.
lintian --fail-on error "$deb" || fail "lintian reports errors"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/org.trelmont.ecg.desktop" ||
    fail "desktop-file-validate rejects the menu entry"
appstreamcli validate --no-net --no-color \
    "$unpacked/usr/share/metainfo/org.trelmont.ecg.metainfo.xml" ||
    fail "appstreamcli rejects the metadata"

# The program people run holds no test hooks (a file step made to fail, an
# exit after a step, a synthetic drop or held key, a capture worker held
# back): read off the Release build's symbols before the package strips them.
binary="${TRELMONT_BUILD:-$root/build}/app/trelmont-ecg"
symbols=$(nm -C "$binary")
grep -q 'MainDialog::dropped' <<<"$symbols" || fail "the symbols of $binary cannot be read"
hooks=$(grep -E 'ForTests|MainDialog::drop\(|MainDialog::holdKey|failingStep|lastStep|exitCodeAfterLast|WorkerHold|holdEvery|roomSound' <<<"$symbols" || true)
[ -z "$hooks" ] || fail "the program holds test hooks: $hooks"

depends=$(dpkg-deb -f "$deb" Depends)
echo "check-package: Depends: $depends"
for needed in libqt6widgets6 libportaudio2 libedf1 qt6-qpa-plugins qt6-wayland libqt6svg6; do
    grep -q "\b$needed\b" <<<"$depends" || fail "Depends lacks $needed"
done
for unwanted in fftw gtest gmock benchmark poppler biosig; do
    ! grep -qi "$unwanted" <<<"$depends" || fail "Depends names a test or benchmark package: $unwanted"
done
exit "$status"
