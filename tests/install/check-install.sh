#!/usr/bin/env bash
# Installs a build into a temporary prefix, as a packager does, and checks what
# arrives: the program, the menu entry, the icons, the AppStream metadata, the
# manual page and the package's documents, each valid and naming the same
# program, version and icon. Usage: check-install.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

status=0
fail() {
    echo "installed files: $*" >&2
    status=1
}
share="$prefix/share"
id=org.trelmont.ecg

program="$prefix/bin/trelmont-ecg"
[ -x "$program" ] || { echo "installed files: no program in bin/" >&2; exit 1; }
version=$("$program" --version | awk '{print $2}')
[ -n "$version" ] || fail "the installed program tells no version"

desktop="$share/applications/$id.desktop"
metainfo="$share/metainfo/$id.metainfo.xml"
man="$share/man/man1/trelmont-ecg.1.gz"
for file in "$desktop" "$metainfo" "$man" "$share/icons/hicolor/scalable/apps/$id.svg" \
    "$share/doc/trelmont-ecg/copyright" "$share/doc/trelmont-ecg/changelog.gz"; do
    [ -s "$file" ] || fail "missing: ${file#$prefix/}"
done

# Each PNG is as large as the folder it lies in says (the IHDR width and height).
for size in 16 22 24 32 48 64 128 256; do
    png="$share/icons/hicolor/${size}x${size}/apps/$id.png"
    if [ ! -s "$png" ]; then
        fail "missing: ${png#$prefix/}"
        continue
    fi
    read -r width height < <(od -An -j16 -N8 -tu1 "$png" |
        awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [ "$width" = "$size" ] && [ "$height" = "$size" ] ||
        fail "$id.png in ${size}x${size} is ${width}x${height}"
done

desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the menu entry"
appstreamcli validate --no-net --no-color "$metainfo" >/dev/null ||
    fail "appstreamcli rejects the metadata"
grep -qx "Exec=trelmont-ecg --documents" "$desktop" || fail "the menu entry does not start --documents"
grep -qx "Icon=$id" "$desktop" || fail "the menu entry names another icon"
grep -qx "StartupWMClass=trelmont-ecg" "$desktop" || fail "the menu entry names another window class"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "the metadata does not launch the menu entry"

# The newest release everywhere is the program's own version.
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metadata has no release $version"
zcat "$share/doc/trelmont-ecg/changelog.gz" | head -n 1 | grep -qF "trelmont-ecg ($version)" ||
    fail "the changelog's newest entry is not $version"
page=$(zcat "$man" | sed 's/\\-/-/g')
grep -q "^\.TH TRELMONT-ECG 1 .*trelmont-ecg $version" <<<"$page" ||
    fail "the manual page is not of version $version"

# The manual page says what --help says: every option, the exit codes.
for option in $("$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -qF -- "$option" <<<"$page" || fail "the manual page lacks $option"
done
for section in "EXIT STATUS" "FILES" "THE RECORDS FOLDER"; do
    grep -q "^\.SH $section" <<<"$page" || fail "the manual page lacks $section"
done
exit "$status"
