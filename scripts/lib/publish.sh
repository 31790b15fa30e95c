# The vendor's list of the plan's files, written into a site folder:
#   publish_site SITE KEY [SERIAL]
# Each archive is unpacked into a scratch folder to measure the room its
# content takes (every file rounded up to a 4 KiB cluster, 4 KiB a folder),
# then build/native/pravonell-publish hashes, signs and writes the list.
# An archive that does not unpack stops it, unless PUBLISH_BROKEN_ON_PURPOSE
# is 1 (the tests' vendor that publishes a broken archive): then its room
# is its own size. Needs the native build.
PUBLISH_TOOL="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/native/pravonell-publish"

publish_site() (
  set -euo pipefail
  local site key scratch path room args=()
  site=$(realpath "$1") key=$(realpath "$2")
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  while read -r path; do
    rm -rf "$scratch/unpacked" && mkdir -p "$scratch/unpacked"
    if ! bsdtar -xf "$site$path" -C "$scratch/unpacked" 2>"$scratch/why"; then
      if [ "${PUBLISH_BROKEN_ON_PURPOSE:-}" != 1 ]; then
        echo "cannot unpack $site$path: $(cat "$scratch/why")" >&2
        return 1
      fi
      args+=(--room "$path=$(stat -c %s "$site$path")")
      continue
    fi
    room=$(find "$scratch/unpacked" -mindepth 1 \( -type f -printf '%s\n' -o -type d -printf '0\n' \) |
      awk '{ total += ($1 == 0 ? 4096 : int(($1 + 4095) / 4096) * 4096) } END { printf "%d", total }')
    args+=(--room "$path=$room")
  done < <("$PUBLISH_TOOL" --archives)
  [ $# -ge 3 ] && args+=(--serial "$3")
  "$PUBLISH_TOOL" "$site" "$key" "${args[@]}"
)
