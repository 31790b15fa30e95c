# The loopback stand-in of the vendor's hosts (build/native/pravonell-test-server).
#   start_test_server ROOT LOG PORT...   serves ROOT, logs each request line;
#                                        SERVER_PORTS: the ports (0 picks one)
#   stop_test_server

TEST_SERVER="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/native/pravonell-test-server"

start_test_server() {
  local root=$1 log=$2 port
  shift 2
  local args=(--root "$root" --log "$log")
  for port in "$@"; do args+=(--listen "$port"); done
  local out
  out=$(mktemp)
  "$TEST_SERVER" "${args[@]}" >"$out" 2>&1 &
  SERVER_PID=$!
  local i
  for i in $(seq 1 100); do
    if grep -q listening "$out"; then
      SERVER_PORTS=$(sed -n 's/^listening //p' "$out")
      rm -f "$out"
      return 0
    fi
    kill -0 "$SERVER_PID" 2>/dev/null || break
    sleep 0.05
  done
  echo "the test server did not start:" >&2
  cat "$out" >&2
  return 1
}

stop_test_server() {
  if [ -n "${SERVER_PID:-}" ]; then
    kill "$SERVER_PID" 2>/dev/null || true
    wait "$SERVER_PID" 2>/dev/null || true
    SERVER_PID=""
  fi
}
