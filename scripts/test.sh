#!/usr/bin/env bash
# Usage: scripts/test.sh [--long] [--repeat N] [--load] [extra ctest arguments...]
#
# Installs what is missing, builds both programs (win32 and win64, scripts/build.sh) and runs
# the tests inside a private environment for each architecture this machine can run
# (scripts/test-env.sh: Xvfb, a fresh Wine prefix, PulseAudio with the known capture signal),
# plus a clang-format check of src/ and tests/, a check that no include in src/ climbs to a
# higher room and that every source file there says which thread runs it
# (scripts/check-layout.sh), the set-up script against a failing mirror
# (scripts/check-setup.sh), and the release packages made and tested
# (scripts/test-packages.sh). Exits non-zero on any failure, and ends with a
# summary of what ran on which architecture and what could not run, and why.
#
# Which architectures run is found by starting each of Wine's loaders (scripts/arch.sh). Where
# both run, the whole suite runs on win64 and the end-to-end tests (label e2e: the real program
# worked from outside) on win32, so the command stays within 20 minutes on two cores.
# RECORDER_TEST_ARCHES="win32 win64" runs the whole suite on each one named.
# --long (or RECORDER_LONG=1) adds the long campaigns: tests labelled "long" run, and tests read
# RECORDER_LONG=1 to lengthen their loops.
# --repeat N runs the whole test run N times (each in a fresh environment); --load keeps every
# core busy with a CPU hog for the whole run, to show the tests do not fail by chance on a busy
# machine. Together: scripts/test.sh --repeat 3 --load.
set -uo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
RECORDER_REPO_DIR="$repo"
# shellcheck source=arch.sh
source "$repo/scripts/arch.sh"

ctest_args=()
repeat=1
load=0
while [ $# -gt 0 ]; do
  case "$1" in
    --long) export RECORDER_LONG=1 ;;
    --repeat) repeat="${2:?--repeat needs a count}"; shift ;;
    --load) load=1 ;;
    *) ctest_args+=("$1") ;;
  esac
  shift
done
if [ "${RECORDER_LONG:-0}" != 1 ]; then
  export RECORDER_LONG=0
  ctest_args=(-LE long "${ctest_args[@]}")
fi

bash "$repo/scripts/setup.sh" || exit 1
bash "$repo/scripts/build.sh" --arch all || exit 1

status=0
echo "== clang-format check"
mapfile -d '' sources < <(cd "$repo" && find src tests \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
if (cd "$repo" && clang-format --dry-run -Werror "${sources[@]}"); then
  echo "clang-format: ${#sources[@]} files formatted"
else
  echo "clang-format: violations found (run clang-format -i on the files above)"
  status=1
fi

echo "== layout check"
bash "$repo/scripts/check-layout.sh" || status=1

echo "== set-up check"
bash "$repo/scripts/check-setup.sh" || status=1

# What runs where: "arch:full", "arch:e2e" or "arch:none:<why>".
plan=()
runnable=()
for arch in $RECORDER_ARCHES; do
  if recorder_arch_probe "$arch"; then
    runnable+=("$arch")
  else
    plan+=("$arch:none:$RECORDER_ARCH_WHY")
  fi
done
for arch in "${runnable[@]}"; do
  if [ -n "${RECORDER_TEST_ARCHES:-}" ]; then
    case " $RECORDER_TEST_ARCHES " in
      *" $arch "*) plan+=("$arch:full") ;;
      *) plan+=("$arch:none:left out by RECORDER_TEST_ARCHES") ;;
    esac
  elif [ "${#runnable[@]}" -gt 1 ] && [ "$arch" = win32 ]; then
    plan+=("$arch:e2e")
  else
    plan+=("$arch:full")
  fi
done

hogs=()
stop_hogs() {
  local pid
  for pid in "${hogs[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${hogs[@]}"; do wait "$pid" 2>/dev/null; done
  hogs=()
}
trap stop_hogs EXIT
if [ "$load" = 1 ]; then
  for _ in $(seq "$(nproc)"); do
    (while :; do :; done) &
    hogs+=($!)
  done
  echo "== load: ${#hogs[@]} CPU hogs running"
fi

summary=()
for round in $(seq "$repeat"); do
  for entry in "${plan[@]}"; do
    arch="${entry%%:*}"
    scope="${entry#*:}"
    if [ "${scope%%:*}" = none ]; then
      [ "$round" = 1 ] && summary+=("$arch: not run: ${scope#none:} (its build was compiled)")
      continue
    fi
    selection=()
    [ "$scope" = e2e ] && selection=(-L e2e)
    echo "== tests: $arch ($([ "$scope" = e2e ] && echo "end-to-end tests" || echo "whole suite")), round $round of $repeat"
    log="$(recorder_arch_build_dir "$arch")/last-test-run.log"
    started=$SECONDS
    RECORDER_ARCH="$arch" bash "$repo/scripts/test-env.sh" \
      ctest --test-dir "$(recorder_arch_build_dir "$arch")" --output-on-failure \
      -j"${RECORDER_TEST_JOBS:-2}" "${selection[@]}" "${ctest_args[@]}" 2>&1 | tee "$log"
    code=${PIPESTATUS[0]}
    elapsed=$((SECONDS - started))
    result="$(grep -E '^[0-9]+% tests passed' "$log" | tail -n 1)"
    if [ "$code" = 125 ]; then
      result="the test environment did not start (see the [test-env] line above)"
    fi
    summary+=("$arch ($scope, round $round): ${result:-ctest exited with $code} in $((elapsed / 60)) min $((elapsed % 60)) s")
    [ "$code" = 0 ] || status=1
  done
done
stop_hogs

# The release packages, once whatever the repeat count: built optimised, installed, upgraded
# and removed, each in a fresh environment of its own (scripts/test-packages.sh).
echo "== packages"
log="$repo/build/last-package-test.log"
bash "$repo/scripts/test-packages.sh" 2>&1 | tee "$log"
[ "${PIPESTATUS[0]}" = 0 ] || status=1
mapfile -t package_results < <(grep '^packages: ' "$log")
[ ${#package_results[@]} -gt 0 ] || package_results=("packages: not tested: the packages could not be made (see above)")
summary+=("${package_results[@]}")

echo "== summary"
for line in "${summary[@]}"; do echo "$line"; done
exit $status
