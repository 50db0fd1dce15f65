# shellcheck shell=bash
# The two Windows architectures the program is built for, and which of them this machine runs.
# Sourced by build.sh, package.sh, env.sh, test.sh, run.sh and bench/run.sh.
#
#   win32   i686 MinGW-w64, Wine's 32-bit loader, a WINEARCH=win32 prefix
#   win64   x86_64 MinGW-w64, Wine's 64-bit loader, a WINEARCH=win64 prefix
#
# Each architecture builds into its own folder: $RECORDER_BUILD_DIR/<arch> (build/win32,
# build/win64), the program in <folder>/bin/AudioRecorder.exe.

RECORDER_ARCHES="win32 win64"

recorder_arch_valid() { [ "$1" = win32 ] || [ "$1" = win64 ]; }

recorder_arch_triplet() {
  case "$1" in
    win32) echo i686-w64-mingw32 ;;
    win64) echo x86_64-w64-mingw32 ;;
  esac
}

recorder_arch_toolchain() { echo "$RECORDER_REPO_DIR/cmake/mingw-$(recorder_arch_triplet "$1" | cut -d- -f1).cmake"; }

# Debian's /usr/bin/wine and wineboot always start the 32-bit loader when it is installed, so
# each architecture names its own.
recorder_arch_loader() {
  case "$1" in
    win32) echo /usr/lib/wine/wine ;;
    win64) echo /usr/lib/wine/wine64 ;;
  esac
}

# The architectures a script's arguments name: "--arch win32|win64|all" as the first two, else
# RECORDER_ARCH, else all. Sets RECORDER_ARCHES_ASKED and RECORDER_ARCH_ARGS (how many
# arguments it took, for the caller to shift).
recorder_arches_asked() {
  RECORDER_ARCHES_ASKED="${RECORDER_ARCH:-all}"
  RECORDER_ARCH_ARGS=0
  if [ "${1:-}" = "--arch" ]; then
    RECORDER_ARCHES_ASKED="${2:?--arch needs win32, win64 or all}"
    RECORDER_ARCH_ARGS=2
  fi
  [ "$RECORDER_ARCHES_ASKED" = all ] && RECORDER_ARCHES_ASKED="$RECORDER_ARCHES"
  return 0
}

recorder_arch_build_dir() { echo "${RECORDER_BUILD_DIR:-$RECORDER_REPO_DIR/build}/$1"; }

# Runs the architecture's loader once. Returns 0 if it runs; otherwise RECORDER_ARCH_WHY says
# why in a few words, for example "this machine cannot run 32-bit programs (Exec format error)".
recorder_arch_probe() {
  local arch=$1 loader output
  loader="$(recorder_arch_loader "$arch")"
  RECORDER_ARCH_WHY=""
  if [ ! -e "$loader" ]; then
    RECORDER_ARCH_WHY="Wine's ${arch#win}-bit loader ($loader) is not installed"
    local left_out
    left_out="$(recorder_arch_build_dir setup-left-out)"
    [ -f "$left_out" ] && RECORDER_ARCH_WHY="$RECORDER_ARCH_WHY: $(head -n 1 "$left_out")"
    return 1
  fi
  if output="$("$loader" --version 2>&1)"; then
    return 0
  fi
  case "$output" in
    *"Exec format error"*)
      RECORDER_ARCH_WHY="this machine cannot run ${arch#win}-bit programs (Exec format error)" ;;
    *) RECORDER_ARCH_WHY="Wine's ${arch#win}-bit loader fails: $(echo "$output" | head -n 1)" ;;
  esac
  return 1
}

# The architecture to run when none is asked for: the 32-bit program where it runs, else the
# 64-bit one.
recorder_default_arch() {
  if recorder_arch_probe win32; then echo win32; else echo win64; fi
}
