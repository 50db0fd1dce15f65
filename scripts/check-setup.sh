#!/usr/bin/env bash
# Usage: scripts/check-setup.sh
#
# Runs scripts/setup.sh against a fake apt-get, dpkg-query, dpkg and id (first on the PATH, in a
# temporary folder that is also the build folder), as a bad mirror and a broken archive meet it:
# no package installed, an index update that answers 100, an install that fails for the i386
# packages or for the 64-bit ones. Prints one line per case and exits non-zero if any went wrong.
set -uo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"

# apt-get answers what FAKE_UPDATE and FAKE_INSTALL_<i386|amd64> say; every call is logged.
cat >"$work/bin/apt-get" <<'EOF'
#!/bin/sh
echo "apt-get $*" >>"$FAKE_LOG"
case "$*" in
  *update*) exit "$FAKE_UPDATE" ;;
  *:i386*) exit "$FAKE_INSTALL_i386" ;;
  *) exit "$FAKE_INSTALL_amd64" ;;
esac
EOF
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"   # nothing installed
printf '#!/bin/sh\necho i386\n' >"$work/bin/dpkg"
printf '#!/bin/sh\necho 0\n' >"$work/bin/id"
chmod +x "$work/bin/"*

status=0
# update code, i386 install code, amd64 install code, expected exit, expected in the output
while IFS='|' read -r update i386 amd64 want_code want_text; do
  export FAKE_UPDATE=$update FAKE_INSTALL_i386=$i386 FAKE_INSTALL_amd64=$amd64
  export FAKE_LOG="$work/log"
  rm -f "$FAKE_LOG" "$work/setup-left-out"
  output="$(PATH="$work/bin:$PATH" RECORDER_BUILD_DIR="$work" RECORDER_SETUP_RETRY_SECONDS=0 \
    bash "$repo/scripts/setup.sh" 2>&1)"
  code=$?
  case_name="update $update, i386 install $i386, amd64 install $amd64"
  problems=()
  [ "$code" = "$want_code" ] || problems+=("exit code $code, not $want_code")
  [[ "$output" == *"$want_text"* ]] || problems+=("no \"$want_text\" in its output")
  updates=$(grep -c update "$FAKE_LOG")
  [ "$update" = 0 ] || [ "$updates" = 3 ] || problems+=("$updates index updates, not 3")
  if [ "$i386" != 0 ] && [ "$code" = 0 ]; then
    grep -qs '32-bit runtime' "$work/setup-left-out" || problems+=("no setup-left-out")
  fi
  if [ ${#problems[@]} = 0 ]; then
    echo "set-up: $case_name: as expected"
  else
    (IFS=';' && echo "set-up: $case_name: FAILED:${problems[*]/#/ }")
    echo "$output" | sed 's/^/  | /'
    status=1
  fi
done <<'EOF'
0|0|0|0|setup: installing wine32:i386
100|100|0|0|left out: the 32-bit runtime (wine32:i386 libasound2-plugins:i386) could not be installed
100|0|100|1|could not install what the 64-bit build and tests need
EOF
exit $status
