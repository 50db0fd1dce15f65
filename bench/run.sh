#!/usr/bin/env bash
# Usage: bench/run.sh [--arch win32|win64] [--quick]
#
# Builds the recorder for one architecture (the 32-bit program where this machine runs it, else
# the 64-bit one; --arch or RECORDER_ARCH picks) into build/<arch>/ (or $RECORDER_BUILD_DIR/<arch>),
# optimised as scripts/build.sh builds it, and the benchmark's own programs
# (bench/bare_dialog.cpp, bench/bench_driver.cpp), then measures inside a private test
# environment (scripts/test-env.sh: Xvfb, Wine prefix with a warm wineserver, PulseAudio with
# the known capture signal) and prints the table. --quick shortens every measurement (for
# trying the bench out; its figures are not the ones to quote). Takes about 15 minutes in
# full, most of it the 10-minute memory recording on the fast device. Figures never fail the
# run; a measurement that cannot be made does.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
RECORDER_REPO_DIR="$repo"
if [ "${1:-}" = "--arch" ]; then
  RECORDER_ARCH="${2:?--arch needs win32 or win64}"
  shift 2
fi

bash "$repo/scripts/setup.sh"
# shellcheck source=../scripts/arch.sh
source "$repo/scripts/arch.sh"
export RECORDER_ARCH="${RECORDER_ARCH:-$(recorder_default_arch)}"
build="$(recorder_arch_build_dir "$RECORDER_ARCH")"
# arecord is the comparison for the recording cost.
if ! command -v arecord >/dev/null 2>&1; then
  echo "bench: installing alsa-utils (arecord)"
  as_root=()
  [ "$(id -u)" -ne 0 ] && as_root=(sudo)
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends alsa-utils ||
    { "${as_root[@]}" apt-get update -q && DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends alsa-utils; }
fi

# The program as the project's build makes it, and the driver's hook beside it.
bash "$repo/scripts/build.sh" --arch "$RECORDER_ARCH" AudioRecorder recorder_menu_hook
cmake -S "$repo/bench" -B "$build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$(recorder_arch_toolchain "$RECORDER_ARCH")" -DRECORDER_BUILD_DIR="$build" >/dev/null
cmake --build "$build/bench" -- -j"${RECORDER_BUILD_JOBS:-$(nproc)}"

echo "bench: $(date -u '+%Y-%m-%d %H:%M UTC'), $RECORDER_ARCH, command: bench/run.sh $*" >&2
exec bash "$repo/scripts/test-env.sh" python3 "$repo/bench/bench.py" "$build" "$@"
