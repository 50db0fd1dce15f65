#!/usr/bin/env bash
# Usage: bench/run.sh [--quick]
#
# Builds the recorder (into build/, or $RECORDER_BUILD_DIR) and the benchmark's own programs
# (bench/bare_dialog.cpp, bench/bench_driver.cpp), then measures inside a private test
# environment (scripts/test-env.sh: Xvfb, Wine prefix with a warm wineserver, PulseAudio with
# the known capture signal) and prints the table. --quick shortens every measurement (for
# trying the bench out; its figures are not the ones to quote). Takes about 15 minutes in
# full, most of it the 10-minute memory recording on the fast device. Figures never fail the
# run; a measurement that cannot be made does.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${RECORDER_BUILD_DIR:-$repo/build}"
export RECORDER_BUILD_DIR="$build"

bash "$repo/scripts/setup.sh"
# arecord is the comparison for the recording cost.
if ! command -v arecord >/dev/null 2>&1; then
  echo "bench: installing alsa-utils (arecord)"
  as_root=()
  [ "$(id -u)" -ne 0 ] && as_root=(sudo)
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends alsa-utils ||
    { "${as_root[@]}" apt-get update -q && DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends alsa-utils; }
fi

# The program as the project's build makes it, and the driver's hook beside it.
bash "$repo/scripts/build.sh" AudioRecorder recorder_menu_hook
cmake -S "$repo/bench" -B "$build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake" -DRECORDER_BUILD_DIR="$build" >/dev/null
cmake --build "$build/bench" -- -j"${RECORDER_BUILD_JOBS:-$(nproc)}"

echo "bench: $(date -u '+%Y-%m-%d %H:%M UTC'), command: bench/run.sh $*" >&2
exec bash "$repo/scripts/test-env.sh" python3 "$repo/bench/bench.py" "$build" "$@"
