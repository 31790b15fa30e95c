# Shared by the scripts: the packages the project needs and the builds.

PACKAGES=(
  cmake make g++ googletest libgtest-dev libgmock-dev curl procps clang libclang-rt-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
  wine wine64 xvfb x11-utils imagemagick fonts-wine
  libarchive-tools p7zip-full liblnk-utils osslsigncode openssl libssl-dev git squid
  winbind perl
)

# Installs whatever of PACKAGES is missing (as root, or through sudo).
ensure_packages() {
  local missing=() p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing: ${missing[*]}"
  local as_root=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "run as root to install: ${missing[*]}" >&2; return 1; }
    as_root=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -q >/dev/null
  "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}

JOBS=${JOBS:-$(nproc 2>/dev/null || echo 2)}

# The loopback ports the test build's two vendor hosts point at.
TEST_SITE_PORT=47080
TEST_DOWNLOAD_PORT=47081
# The loopback proxies of the proxy scenarios: one that lets everything
# through, one that asks for a password (Basic), one that asks for NTLM and
# one that asks for NTLM and closes the connection after its first 407.
TEST_PROXY_PORT=47128
TEST_BASIC_PROXY_PORT=47129
TEST_NTLM_PROXY_PORT=47130
TEST_NTLM_CLOSE_PROXY_PORT=47131

build_native() {
  cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/native -j "$JOBS"
}

# The test builds check every file against the stand-in vendor's list,
# published with this throwaway key (never a release's), and accept lists
# from this serial on.
TEST_VENDOR_KEY_FILE=tests/keys/vendor-test.pem
TEST_LIST_FLOOR=100
# The key's public half, as the build setting takes it (X then Y, in hex).
test_vendor_key() {
  openssl ec -in "$TEST_VENDOR_KEY_FILE" -pubout -outform DER 2>/dev/null | tail -c 64 | od -An -tx1 | tr -d ' \n'
}

# The x86_64 build runs under Wine with its hosts on loopback (a test build
# may be pointed at other hosts when it starts). The shipped i686 program is
# built by scripts/release.
build_windows() {
  cmake -S . -B build/win64 --toolchain cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DPRAVONELL_VENDOR_KEY="$(test_vendor_key)" -DPRAVONELL_VENDOR_LIST_FLOOR="$TEST_LIST_FLOOR" \
    -DPRAVONELL_SITE_HOST="127.0.0.1:$TEST_SITE_PORT" \
    -DPRAVONELL_DOWNLOAD_HOST="127.0.0.1:$TEST_DOWNLOAD_PORT" >/dev/null
  cmake --build build/win64 -j "$JOBS"
}

# The i686 program with the test build's loopback hosts and test hooks, for
# the 32-bit stage of the tests.
build_pe32() {
  cmake -S . -B build/win32-test --toolchain cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release \
    -DPRAVONELL_TESTS=OFF -DPRAVONELL_TEST_HOOKS=ON \
    -DPRAVONELL_VENDOR_KEY="$(test_vendor_key)" -DPRAVONELL_VENDOR_LIST_FLOOR="$TEST_LIST_FLOOR" \
    -DPRAVONELL_SITE_HOST="127.0.0.1:$TEST_SITE_PORT" \
    -DPRAVONELL_DOWNLOAD_HOST="127.0.0.1:$TEST_DOWNLOAD_PORT" >/dev/null
  cmake --build build/win32-test --target pravonell -j "$JOBS"
}
