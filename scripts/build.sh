#!/usr/bin/env bash
# Usage: scripts/build.sh [targets...]
# Configures (CMake + Ninja, MinGW-w64 i686 toolchain) and builds everything (or the targets
# named) into build/ (or into $RECORDER_BUILD_DIR). The program lands in
# build/bin/AudioRecorder.exe.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${RECORDER_BUILD_DIR:-$repo/build}"

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$repo" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake"
fi
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build "$build" "${targets[@]}" -- -j"${RECORDER_BUILD_JOBS:-$(nproc)}"
