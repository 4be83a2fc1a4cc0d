#!/usr/bin/env bash
# Installs every Debian package that the build, the program, the tests and the
# benchmarks need. Safe to run again: when everything is present it only checks
# and returns, without touching the package lists.
set -euo pipefail

packages=(
  cmake
  g++
  make
  pkg-config
  qt6-base-dev
  libgl-dev
  portaudio19-dev
  libasound2-dev
  libxcb1-dev
  libasound2-plugins
  alsa-utils
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  libfftw3-dev
  xvfb
  xauth
  poppler-utils
  fonts-dejavu-core
  libedf-dev
  libavformat-dev
  libavcodec-dev
  libswresample-dev
  libavutil-dev
  ffmpeg
  qt6-svg-dev
  librsvg2-bin
  lintian
  desktop-file-utils
  appstream
  biosig-tools
  clang-format
  clang
  libclang-rt-14-dev
  locales
)

# The record-format tests write and read records under a locale with a decimal
# comma; generate one unless the system already has it.
ensure_decimal_comma_locale() {
  if locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    return 0
  fi
  local as_root=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
      echo "install-deps: cannot generate de_DE.UTF-8 without root or sudo" >&2
      return 0
    fi
    as_root=(sudo)
  fi
  if ! grep -qx 'de_DE.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'de_DE.UTF-8 UTF-8' | "${as_root[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${as_root[@]}" locale-gen >/dev/null || echo "install-deps: locale-gen failed" >&2
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  ensure_decimal_comma_locale
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo_cmd=(sudo)
  else
    echo "install-deps: missing packages and neither root nor sudo: ${missing[*]}" >&2
    exit 1
  fi
fi

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
ensure_decimal_comma_locale
