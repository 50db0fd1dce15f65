#!/usr/bin/env bash
# Runs scripts/setup.sh against a fake apt-get, dpkg-query, dpkg and id first on the PATH (no
# package installed, run as root) as a bad mirror meets it: an index update that answers 100,
# an install that fails for the i386 packages or the 64-bit ones. Exits non-zero on a surprise.
set -uo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
printf '#!/bin/sh\necho "$*" >>"%s/log"\ncase "$*" in *update*) exit $UPDATE ;; *:i386*) exit $I386 ;; esac\nexit $AMD64\n' \
  "$work" >"$work/bin/apt-get"
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
printf '#!/bin/sh\necho i386\n' >"$work/bin/dpkg"
printf '#!/bin/sh\necho 0\n' >"$work/bin/id"
chmod +x "$work/bin/"*

status=0
# What the index update and the two installs answer | the exit code and text expected
while IFS='|' read -r UPDATE I386 AMD64 want_code want_text; do
  export UPDATE I386 AMD64
  rm -f "$work/log" "$work/setup-left-out"
  output="$(PATH="$work/bin:$PATH" RECORDER_BUILD_DIR="$work" RECORDER_SETUP_RETRY_SECONDS=0 \
    bash "$repo/scripts/setup.sh" 2>&1)"
  code=$?
  updates=$(grep -c update "$work/log")
  left_out="$(cat "$work/setup-left-out" 2>/dev/null)"
  if [ "$code" = "$want_code" ] && [[ "$output" == *"$want_text"* ]] &&
    { [ "$UPDATE" = 0 ] || [ "$updates" = 3 ]; } &&
    { [ "$I386" = 0 ] || [ "$code" != 0 ] || [[ "$left_out" == *"32-bit runtime"* ]]; }; then
    echo "set-up: update $UPDATE, i386 $I386, amd64 $AMD64: as expected"
  else
    echo "set-up: update $UPDATE, i386 $I386, amd64 $AMD64: FAILED: exit code $code (not" \
      "$want_code), $updates updates, setup-left-out \"$left_out\"; output:"
    sed 's/^/  | /' <<<"$output"
    status=1
  fi
done <<'EOF'
0|0|0|0|setup: installing wine32:i386
100|100|0|0|left out: the 32-bit runtime (wine32:i386 libasound2-plugins:i386) could not be installed
100|0|100|1|could not install what the 64-bit build and tests need
EOF
exit $status
