# A real proxy server (Debian's squid) on loopback, for the scenarios of an
# office whose web traffic goes out only through a proxy. It resolves
# vendor.test from a hosts file of its own, so a program pointed at that
# host reaches it only through the proxy. Source it, then:
#   start_proxy PORT   PROXY_LOG: its access log, a line per request
#   stop_proxy         ends it and removes its folder
#
# Run as root, squid drops to its own user ("proxy"), which must reach its
# configuration and write its logs. A clone may sit in a folder no other
# user can enter (root's home, or whatever mktemp -d made), so squid's folder
# is one of its own under the temporary folder, made for the run and
# removed by stop_proxy.

start_proxy() {
  local dir port=$1
  dir=$(mktemp -d "${TMPDIR:-/tmp}/pravonell-proxy.XXXXXX")
  chmod 755 "$dir"
  PROXY_DIR=$dir
  echo "127.0.0.1 vendor.test" >"$dir/hosts"
  cat >"$dir/squid.conf" <<CONF
http_port 127.0.0.1:$port
acl local src 127.0.0.1/32
http_access allow local
http_access deny all
cache deny all
hosts_file $dir/hosts
access_log stdio:$dir/access.log
cache_log $dir/cache.log
pid_filename $dir/squid.pid
coredump_dir $dir
shutdown_lifetime 0 seconds
CONF
  # The log must be readable by the tests, which run without root's rights.
  install -m 644 /dev/null "$dir/access.log"
  if [ "$(id -u)" -eq 0 ]; then
    echo "cache_effective_user proxy" >>"$dir/squid.conf"
    chown -R proxy "$dir"
  fi
  squid -N -f "$dir/squid.conf" >"$dir/squid.out" 2>&1 &
  PROXY_PID=$!
  PROXY_LOG="$dir/access.log"
  local i
  for i in $(seq 1 200); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then return 0; fi
    kill -0 "$PROXY_PID" 2>/dev/null || break
    sleep 0.05
  done
  echo "squid did not start:" >&2
  cat "$dir/squid.out" "$dir/cache.log" >&2 2>/dev/null
  return 1
}

stop_proxy() {
  if [ -n "${PROXY_PID:-}" ]; then kill "$PROXY_PID" 2>/dev/null || true; wait "$PROXY_PID" 2>/dev/null || true; fi
  PROXY_PID=""
  if [ -n "${PROXY_DIR:-}" ]; then rm -rf "$PROXY_DIR"; fi
  PROXY_DIR=""
}
