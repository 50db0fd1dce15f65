#!/usr/bin/env bash
# Usage: scripts/test.sh [--long] [extra ctest arguments...]
#
# Installs what is missing, builds into build/ and runs every test inside a private environment
# (scripts/test-env.sh: Xvfb, a fresh Wine prefix, PulseAudio with the known capture signal),
# plus a clang-format check of src/ and tests/. Exits non-zero on any failure.
# --long (or RECORDER_LONG=1) adds the long campaigns: tests labelled "long" run, and tests read
# RECORDER_LONG=1 to lengthen their loops.
set -uo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${RECORDER_BUILD_DIR:-$repo/build}"
export RECORDER_BUILD_DIR="$build"

ctest_args=()
for argument in "$@"; do
  case "$argument" in
    --long) export RECORDER_LONG=1 ;;
    *) ctest_args+=("$argument") ;;
  esac
done
if [ "${RECORDER_LONG:-0}" != 1 ]; then
  export RECORDER_LONG=0
  ctest_args=(-LE long "${ctest_args[@]}")
fi

bash "$repo/scripts/setup.sh" || exit 1
bash "$repo/scripts/build.sh" || exit 1

status=0
echo "== clang-format check"
mapfile -d '' sources < <(cd "$repo" && find src tests \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
if (cd "$repo" && clang-format --dry-run -Werror "${sources[@]}"); then
  echo "clang-format: ${#sources[@]} files formatted"
else
  echo "clang-format: violations found (run clang-format -i on the files above)"
  status=1
fi

echo "== tests"
# shellcheck source=env.sh
source "$repo/scripts/env.sh"
trap 'recorder_env_stop' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
if ! recorder_env_start; then
  echo "test: could not start the test environment" >&2
  exit 1
fi
(cd "$build" && ctest --output-on-failure -j"${RECORDER_TEST_JOBS:-2}" "${ctest_args[@]}") || status=1
exit $status
