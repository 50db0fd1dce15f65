#!/usr/bin/env bash
# Usage: scripts/build.sh [--arch win32|win64|all] [targets...]
# Configures (CMake + Ninja, the MinGW-w64 toolchain of each architecture) and builds everything
# (or the targets named) into build/<arch>/ (or $RECORDER_BUILD_DIR/<arch>/). The program lands
# in build/win32/bin/AudioRecorder.exe and build/win64/bin/AudioRecorder.exe.
# --arch (or RECORDER_ARCH) picks the architectures; both by default.
# The build type is RelWithDebInfo (optimised, with debug information) unless
# RECORDER_BUILD_TYPE names another (Debug, Release, ...).
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
RECORDER_REPO_DIR="$repo"
# shellcheck source=arch.sh
source "$repo/scripts/arch.sh"

recorder_arches_asked "$@"
shift "$RECORDER_ARCH_ARGS"
arches="$RECORDER_ARCHES_ASKED"
build_type="${RECORDER_BUILD_TYPE:-RelWithDebInfo}"

targets=()
for target in "$@"; do targets+=(--target "$target"); done
for arch in $arches; do
  recorder_arch_valid "$arch" || { echo "build: unknown architecture $arch" >&2; exit 2; }
  build="$(recorder_arch_build_dir "$arch")"
  # Configured again whenever the build type asked for changes.
  if [ ! -f "$build/build.ninja" ] ||
    ! grep -qx "CMAKE_BUILD_TYPE:STRING=$build_type" "$build/CMakeCache.txt" 2>/dev/null; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" \
      -DCMAKE_TOOLCHAIN_FILE="$(recorder_arch_toolchain "$arch")" >/dev/null
  fi
  echo "build: $arch ($build_type) in $build"
  cmake --build "$build" "${targets[@]}" -- -j"${RECORDER_BUILD_JOBS:-$(nproc)}"
done
