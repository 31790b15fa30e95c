# The 32-bit stage: the shipped kind of program (i686) run under Wine in a
# WoW64 prefix, driven by the x86_64 test programs. Source it, then
#   pe32_prepare        installs 32-bit Wine, and qemu-i386 where needed
#   pe32_run CMD...     runs CMD where 32-bit programs can start
#
# Measured on the CI machines (Debian 12, a kernel that refuses to exec
# 32-bit Linux programs: "Exec format error"):
# - Debian's wine32:i386 cannot start natively there. Through qemu-i386 user
#   emulation, registered in binfmt_misc with flag F, it works. qemu 7.2 of
#   Debian 12 is far too slow (about 100 s per program start); the static
#   qemu-i386 of Debian 13's qemu-user (10.0) runs on Debian 12 as it is and
#   starts the 32-bit window in about 35 s.
# - binfmt_misc is registered inside a private user and mount namespace, so
#   the machine's own table is left alone; only this stage runs inside it.
# - With wine32 installed, /usr/bin/wine starts every program through the
#   32-bit loader, even 64-bit ones: winerun calls the 64-bit loader itself.
# - On a kernel that runs 32-bit programs none of the qemu part is needed;
#   pe32_prepare finds out by starting the 32-bit loader.

PE32_STATE=${PE32_STATE:-build/pe32}
PE32_WINE32=/usr/lib/wine/wine

# True when this kernel starts the 32-bit Wine loader by itself.
pe32_native() {
  "$PE32_WINE32" --version >/dev/null 2>&1
}

pe32_prepare() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "== adding the i386 architecture for 32-bit Wine"
    dpkg --add-architecture i386
    apt-get update -q >/dev/null
  fi
  if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
    echo "== installing wine32:i386"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends wine32:i386 >/dev/null
  fi
  pe32_native && return 0
  [ -x "$PE32_STATE/qemu-i386" ] && return 0
  echo "== fetching the static qemu-i386 of Debian 13's qemu-user (this kernel cannot run 32-bit programs)"
  local apt="$PE32_STATE/apt" mirror
  # The Debian mirror this machine's apt already uses.
  mirror=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null |
             grep -v security | head -1)
  [ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $0 !~ /security/ {print $2; exit}' /etc/apt/sources.list)
  rm -rf "$apt" && mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror trixie main" >"$apt/sources.list"
  local options=(-o Dir::Etc::SourceList="$PWD/$apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
                 -o Dir::State::Lists="$PWD/$apt/lists" -o Dir::Cache="$PWD/$apt/cache")
  apt-get "${options[@]}" update -q >/dev/null
  (cd "$apt" && apt-get "${options[@]}" download qemu-user >/dev/null)
  dpkg-deb --fsys-tarfile "$apt"/qemu-user_*.deb | tar -x -C "$apt" ./usr/bin/qemu-i386
  mv "$apt/usr/bin/qemu-i386" "$PE32_STATE/qemu-i386"
  rm -rf "$apt"
  "$PE32_STATE/qemu-i386" --version | head -1
}

# Runs the command where 32-bit programs start: as it is on a kernel that
# runs them, otherwise in a namespace whose binfmt_misc sends i386 programs
# to qemu-i386.
pe32_run() {
  if pe32_native; then
    "$@"
    return
  fi
  local qemu
  qemu=$(realpath "$PE32_STATE/qemu-i386")
  unshare --user --map-root-user --mount bash -c '
    set -e
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    magic="\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00"
    mask="\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff"
    echo ":qemu-i386:M::$magic:$mask:$1:F" >/proc/sys/fs/binfmt_misc/register
    shift
    exec "$@"' pe32 "$qemu" "$@"
}
