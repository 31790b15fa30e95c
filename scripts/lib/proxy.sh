# A real proxy server (Debian's squid) on loopback, for the scenarios of an
# office whose web traffic goes out only through a proxy. It resolves
# vendor.test from a hosts file of its own, so a program pointed at that
# host reaches it only through the proxy. Source it, then:
#   start_proxy PORT [KIND]   PROXY_LOG: its access log, a line per request
#   stop_proxy                ends them all and removes their folders
#
# Run as root, squid drops to its own user ("proxy"), which must reach its
# configuration and write its logs. A clone may sit in a folder no other
# user can enter (root's home, or whatever mktemp -d made), so squid's folder
# is one of its own under the temporary folder, made for the run and
# removed by stop_proxy.

# start_proxy PORT [KIND]: KIND is one of
#   open         lets every request from loopback through (the default);
#   basic        asks for a user and password (Basic), from PROXY_USERS, a
#                password file ("user:hash" lines, openssl passwd -apr1);
#   ntlm         asks for NTLM, and takes any login (ntlm-proxy-helper, beside
#                this file: squid's own ntlm_fake_auth writes a challenge
#                that Windows' and Samba's NTLM refuse);
#   ntlm-close   the same, closing the connection after its first 407 (a
#                client must connect again in the middle of the handshake).
# Each call starts a squid of its own; PROXY_LOG is the last one's log.
start_proxy() {
  local dir port=$1 kind=${2:-open}
  dir=$(mktemp -d "${TMPDIR:-/tmp}/pravonell-proxy.XXXXXX")
  chmod 755 "$dir"
  PROXY_DIRS+=("$dir")
  echo "127.0.0.1 vendor.test" >"$dir/hosts"
  local auth="" allow="http_access allow local"
  case $kind in
    open) ;;
    basic)
      install -m 644 "$PROXY_USERS" "$dir/users"
      auth="auth_param basic program /usr/lib/squid/basic_ncsa_auth $dir/users
auth_param basic realm Proxy da empresa
acl logged proxy_auth REQUIRED"
      allow="http_access allow local logged" ;;
    ntlm|ntlm-close)
      install -m 755 "$PROXY_SH_DIR/ntlm-proxy-helper" "$dir/ntlm-helper"
      auth="auth_param ntlm program $dir/ntlm-helper
auth_param ntlm children 2
auth_param ntlm keep_alive $([ "$kind" = ntlm-close ] && echo off || echo on)
acl logged proxy_auth REQUIRED"
      allow="http_access allow local logged" ;;
    *) echo "start_proxy: no proxy of kind $kind" >&2; return 1 ;;
  esac
  cat >"$dir/squid.conf" <<CONF
http_port 127.0.0.1:$port
$auth
acl local src 127.0.0.1/32
$allow
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
  PROXY_PIDS+=($!)
  PROXY_LOG="$dir/access.log"
  local i pid=$!
  for i in $(seq 1 200); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then return 0; fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "squid did not start:" >&2
  cat "$dir/squid.out" "$dir/cache.log" >&2 2>/dev/null
  return 1
}

stop_proxy() {
  local pid dir
  for pid in "${PROXY_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  for dir in "${PROXY_DIRS[@]}"; do rm -rf "$dir"; done
  PROXY_PIDS=() PROXY_DIRS=()
}
PROXY_PIDS=() PROXY_DIRS=()
PROXY_SH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
