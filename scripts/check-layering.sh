#!/usr/bin/env bash
# Checks that the libraries form a line, each including only headers of the
# libraries below it: resources, platform, records, render, acquisition, app.
# Only platform/ may include Qt or PortAudio. Exits non-zero on a violation.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
layers=(resources platform records render acquisition app)

level_of() {
  local i
  for i in "${!layers[@]}"; do
    if [ "${layers[$i]}" = "$1" ]; then
      echo "$i"
      return
    fi
  done
  echo -1
}

status=0
for library in "${layers[@]}"; do
  own=$(level_of "$library")
  while IFS= read -r -d '' file; do
    while IFS= read -r line; do
      target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]+"([A-Za-z_]+)\/.*/\1/' <<<"$line")
      level=$(level_of "$target")
      if [ "$level" -gt "$own" ]; then
        echo "layering: ${file#$root/} includes $target/, which lies above $library/" >&2
        status=1
      fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[A-Za-z_]+/' "$file" || true)
    if [ "$library" != platform ] &&
       grep -qE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(Q[A-Za-z]*|portaudio\.h)>' "$file"; then
      echo "layering: ${file#$root/} includes Qt or PortAudio outside platform/" >&2
      status=1
    fi
  done < <(find "$root/$library" -type f \( -name '*.h' -o -name '*.cpp' \) -print0)
done

if [ "$status" -eq 0 ]; then
  echo "layering: ${layers[*]} form a line"
fi
exit "$status"
