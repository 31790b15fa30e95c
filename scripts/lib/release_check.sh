# Checks scripts/release: check_release
# - the same commit built in two folders gives the same bytes (the first
#   differing offset is named when not);
# - both are 32-bit GUI programs that import only KnownDLLs;
# - signed with a throwaway certificate, the file verifies, and a byte
#   changed afterwards makes the verification fail.
# It runs in a subshell of its own whose exit removes the scratch folder,
# however the check ends (a failed command under set -e included).
check_release() (
  local work epoch
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  epoch=$(git log -1 --format=%ct 2>/dev/null || echo 0)
  mkdir -p "$work/another folder/pravonell"
  git ls-files -co --exclude-standard -z | tar --null -T - -cf - |
    tar -xf - -C "$work/another folder/pravonell"
  (cd "$work/another folder/pravonell" &&
     SOURCE_DATE_EPOCH=$epoch PRAVONELL_SIGN_PFX='' scripts/release >/dev/null)
  SOURCE_DATE_EPOCH=$epoch PRAVONELL_SIGN_PFX='' scripts/release | sed 's/^/     /'
  local here=build/release/pravonell.exe there="$work/another folder/pravonell/build/release/pravonell.exe"
  if ! cmp -s "$here" "$there"; then
    local first
    first=$(cmp "$here" "$there" 2>&1 | sed -n 's/.* byte \([0-9]*\).*/\1/p')
    echo "FAIL the release is not reproducible: the builds in $PWD and in another folder differ" \
         "first at offset $((${first:-1} - 1))"
    return 1
  fi
  echo "ok   the release built in another folder is byte for byte the same"
  check_exe "$here" pe32 && check_exe "$there" pe32 || return 1

  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
    -subj "/CN=Varnisca (teste)/O=Varnisca" -addext "extendedKeyUsage=codeSigning" >/dev/null 2>&1
  openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/sign.pfx" \
    -passout pass:descartavel
  PRAVONELL_RELEASE_DIR="$work/signed" PRAVONELL_SIGN_PFX="$work/sign.pfx" \
    PRAVONELL_SIGN_PASSWORD=descartavel scripts/release | grep '^signed' | sed 's/^/     /'
  local signed="$work/signed/pravonell.exe" status=0
  if osslsigncode verify -CAfile "$work/cert.pem" -in "$signed" >"$work/verify.log" 2>&1; then
    echo "ok   the signed release verifies against its certificate"
  else
    cat "$work/verify.log"
    echo "FAIL the signed release does not verify"
    status=1
  fi
  # One byte in the middle of the file, changed after signing.
  local offset byte
  offset=$(( $(stat -c %s "$signed") / 2 ))
  byte=$(od -An -tu1 -j "$offset" -N1 "$signed" | tr -d ' ')
  printf "$(printf '\\%03o' $(( byte ^ 0xff )))" | dd of="$signed" bs=1 seek="$offset" conv=notrunc status=none
  if osslsigncode verify -CAfile "$work/cert.pem" -in "$signed" >/dev/null 2>&1; then
    echo "FAIL a signed release changed after signing still verifies"
    status=1
  else
    echo "ok   a byte changed after signing makes the verification fail"
  fi
  check_exe "$signed" pe32 || status=1
  return $status
)
