# Wine and Xvfb for running the Windows build on Linux. Source it, then:
#   wine_init DIR        state folder (template prefix, HOME, logs)
#   wine_start_display   an Xvfb of our own unless a display is given
#   wine_new_prefix DIR  a fresh prefix copied from the template
#   wine_stop            ends the prefix's wineserver and our Xvfb
#   winerun CMD...       runs wine, wineserver... in the prefix (see winerun)
# Everything stays inside DIR: tests never write into the real home.

WINERUN="$(dirname "${BASH_SOURCE[0]}")/winerun"
winerun() { "$WINERUN" "$@"; }

wine_init() {
  WINE_STATE=$(realpath -m "$1")
  mkdir -p "$WINE_STATE/home"
  export HOME="$WINE_STATE/home"
  # Wine's own messages stay quiet, but for the one that says it could not
  # start a program (wine_gtest starts such a program again).
  export WINEARCH=win64 WINEDEBUG=-all,err+virtual
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  XVFB_PID=""
}

wine_start_display() {
  if [ -n "${DISPLAY:-}" ] && [ "${WINE_OWN_DISPLAY:-0}" != 1 ]; then return 0; fi
  wine_own_display "$WINE_STATE"
}

# An Xvfb of our own in any case, on a display number the server picks
# itself (-displayfd), so displays started side by side never collide. Its
# log goes into DIR.
wine_own_display() {
  local dir=$1 number i
  rm -f "$dir/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  XVFB_PID=$!
  for i in $(seq 1 200); do
    number=$(cat "$dir/display" 2>/dev/null)
    if [ -n "$number" ]; then
      export DISPLAY=":$number"
      return 0
    fi
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.05
  done
  echo "could not start Xvfb:" >&2
  cat "$dir/xvfb.log" >&2
  return 1
}

wine_stop_display() {
  if [ -n "${XVFB_PID:-}" ]; then kill "$XVFB_PID" 2>/dev/null || true; wait "$XVFB_PID" 2>/dev/null || true; fi
  XVFB_PID=""
}

# The template prefix is made once per state folder: boot, the fonts Wine
# ships (Tahoma and Marlett among them), and a virtual desktop so windows get
# frames under an X server without a window manager.
wine_template() {
  local template="$WINE_STATE/template"
  [ -f "$template/.ready" ] && return 0
  rm -rf "$template"
  WINEPREFIX="$template" winerun wineboot -i >"$WINE_STATE/wineboot.log" 2>&1
  WINEPREFIX="$template" winerun wineserver -w
  cp /usr/share/wine/fonts/*.ttf "$template/drive_c/windows/Fonts/"
  cat >"$WINE_STATE/vdesk.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1024x768"
REG
  WINEPREFIX="$template" winerun wine regedit /S "$(winepath_of "$WINE_STATE/vdesk.reg")" >/dev/null 2>&1
  WINEPREFIX="$template" winerun wineserver -w
  touch "$template/.ready"
}

winepath_of() { printf 'Z:%s' "$(printf '%s' "$1" | sed 's|/|\\|g')"; }

# A fresh prefix whose user folders (Desktop among them) are folders of its
# own, not links into HOME, so scenarios never see each other's shortcuts.
wine_new_prefix() {
  local prefix
  prefix=$(realpath -m "$1")
  wine_template
  rm -rf "$prefix"
  cp -a "$WINE_STATE/template" "$prefix"
  local link
  for link in "$prefix"/drive_c/users/*/*; do
    if [ -L "$link" ]; then rm "$link"; mkdir "$link"; fi
  done
  export WINEPREFIX="$prefix"
}

wine_stop() {
  [ -n "${WINEPREFIX:-}" ] && winerun wineserver -k >/dev/null 2>&1 || true
  wine_stop_display
}

# True when the output is that of a program Wine could not start: its
# loader's own error, and not one line of the program's.
wine_could_not_start() {
  grep -q 'failed to map the shared user data' "$1" && ! grep -q '^\[==========\] Running' "$1"
}

# Runs a GoogleTest program under Wine and passes only when it ran to its own
# summary: a program killed from outside (wineserver -k) can end with status
# 0 through wine, and must not count as passed. A run in which no test ran
# fails too, and so does a --gtest_filter naming a test (no wildcard) that
# did not run: a renamed test must not turn into a filter that selects nothing.
#
# Wine cannot start a program now and then (about once in ten thousand
# starts, measured with scripts/start-loop): the new process cannot map the
# page every process shares (0x7ffe0000, "failed to map the shared user
# data") because the kernel's random layout put something there first, and
# it ends before its first line. A test program that ended so, without a
# line of its own, is started again, up to twice; one that began (printed
# GoogleTest's first line) is never run again, whatever it did.
wine_gtest() {
  local out rc arg name names attempt
  out=$(mktemp)
  for attempt in 1 2 3; do
    winerun wine "$@" 2>&1 | tee "$out"
    rc=${PIPESTATUS[0]}
    [ "$rc" -ne 0 ] && wine_could_not_start "$out" && [ "$attempt" -lt 3 ] || break
    echo "== Wine could not start $(basename "$1") (the shared user data could not be mapped): started again"
  done
  if [ "$rc" -eq 0 ] && ! grep -q '^\[  PASSED  \] [0-9]* test' "$out"; then
    echo "FAIL $(basename "$1") ended without its summary: it was killed or it crashed"
    rc=1
  fi
  if [ "$rc" -eq 0 ] && grep -q '^\[  PASSED  \] 0 tests' "$out"; then
    echo "FAIL $(basename "$1") ran no test"
    rc=1
  fi
  for arg in "$@"; do
    case $arg in --gtest_filter=*) ;; *) continue ;; esac
    IFS=: read -ra names <<<"${arg#--gtest_filter=}"
    for name in "${names[@]}"; do
      case $name in *'*'*|*'?'*|-*|'') continue ;; esac
      if ! grep -qxF "[ RUN      ] $name" <(tr -d '\r' <"$out"); then
        echo "FAIL $(basename "$1"): the test $name named by the filter did not run"
        rc=1
      fi
    done
  done
  rm -f "$out"
  return "$rc"
}
