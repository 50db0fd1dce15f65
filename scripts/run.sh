#!/usr/bin/env bash
# Usage: scripts/run.sh [--arch win32|win64] [--screenshot FILE [--open WAVEFILE]]
#
# Installs what is missing, builds, and starts the recorder under Wine: the 32-bit program where
# this machine runs 32-bit programs, the 64-bit one otherwise; --arch (or RECORDER_ARCH) picks.
# With an X display (DISPLAY set and reachable) the window opens there and the script returns
# when the program ends; it uses its own Wine prefix, build/<arch>/wine-prefix.
# Without one (or with --screenshot) it starts a private Xvfb and Wine prefix (scripts/env.sh),
# waits for the window "Audio Recorder", saves a screenshot (build/screenshot.png unless FILE is
# given), closes the program with WM_CLOSE and exits with the program's exit code. --open loads
# a wave file first (through the recent-files list), so the screenshot shows a loaded sound.
set -uo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
RECORDER_REPO_DIR="$repo"
screenshot=""
open_file=""
while [ $# -gt 0 ]; do
  case "$1" in
    --screenshot) screenshot="${2:?--screenshot needs a file name}"; shift 2 ;;
    --open) open_file="$(realpath "${2:?--open needs a wave file}")"; shift 2 ;;
    --arch) RECORDER_ARCH="${2:?--arch needs win32 or win64}"; shift 2 ;;
    *) echo "run: unknown argument $1" >&2; exit 2 ;;
  esac
done

bash "$repo/scripts/setup.sh" || exit 1
# shellcheck source=arch.sh
source "$repo/scripts/arch.sh"
if [ -z "${RECORDER_ARCH:-}" ]; then
  if recorder_arch_probe win32; then
    RECORDER_ARCH=win32
  else
    RECORDER_ARCH=win64
    echo "run: $RECORDER_ARCH_WHY; starting the 64-bit program"
  fi
fi
export RECORDER_ARCH
recorder_arch_valid "$RECORDER_ARCH" || { echo "run: unknown architecture $RECORDER_ARCH" >&2; exit 2; }
bash "$repo/scripts/build.sh" --arch "$RECORDER_ARCH" AudioRecorder || exit 1
build="$(recorder_arch_build_dir "$RECORDER_ARCH")"
exe="$build/bin/AudioRecorder.exe"

if [ -z "$screenshot" ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  recorder_arch_probe "$RECORDER_ARCH" || { echo "run: $RECORDER_ARCH_WHY" >&2; exit 1; }
  loader="$(recorder_arch_loader "$RECORDER_ARCH")"
  export WINEPREFIX="$build/wine-prefix" WINEARCH="$RECORDER_ARCH" WINELOADER="$loader"
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "run: creating the Wine prefix $WINEPREFIX (once, about 10 s)"
    "$loader" wineboot.exe -i >"$build/wineboot.log" 2>&1 ||
      { echo "run: wineboot failed: $(tail -n 1 "$build/wineboot.log"); see $build/wineboot.log" >&2; exit 1; }
    wineserver -w 2>/dev/null
    [ -f /usr/share/wine/fonts/marlett.ttf ] &&
      cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  exec "$loader" "$exe"
fi

screenshot="${screenshot:-$build/screenshot.png}"
mkdir -p "$(dirname "$screenshot")"
screenshot="$(cd "$(dirname "$screenshot")" && pwd)/$(basename "$screenshot")"
# shellcheck source=env.sh
source "$repo/scripts/env.sh"
trap 'recorder_env_stop' EXIT
if ! recorder_env_start; then
  echo "run: could not start the private display and Wine prefix" >&2
  exit 1
fi
tool="$RECORDER_CACHE_DIR/window_tool-$RECORDER_ARCH-$(sha1sum "$repo/scripts/window_tool.c" | cut -c1-12).exe"
if [ ! -f "$tool" ]; then
  "$(recorder_arch_triplet "$RECORDER_ARCH")-gcc-posix" -O2 -static -o "$tool.tmp.$$" "$repo/scripts/window_tool.c" && mv "$tool.tmp.$$" "$tool" || exit 1
fi
# A paced recording device, so the program starts as it would on a machine with a sound card.
export ALSA_CONFIG_PATH="$repo/tests/alsa/paced16.conf"
if [ -n "$open_file" ]; then
  wine reg add 'HKCU\Software\Velmora\Quenby Pro Recorder' /v File1 /t REG_SZ \
    /d "Z:${open_file//\//\\}" /f >/dev/null 2>&1 || { echo "run: could not list $open_file" >&2; exit 1; }
fi

wine "$exe" &
program=$!
window=""
for _ in $(seq 300); do
  window="$(xwininfo -name "Audio Recorder" 2>/dev/null | sed -n 's/^xwininfo: Window id: \(0x[0-9a-f]*\).*/\1/p')"
  [ -n "$window" ] && break
  kill -0 "$program" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "run: the window \"Audio Recorder\" did not appear" >&2
  kill "$program" 2>/dev/null
  exit 1
fi
caption="Audio Recorder"
if [ -n "$open_file" ]; then
  # The first recent-files command (IDM_RECENT_BASE + 1).
  wine "$tool" command "$caption" 8001 || echo "run: could not open $open_file" >&2
  caption="Audio Recorder - $(basename "$open_file")"
  for _ in $(seq 100); do
    xwininfo -name "$caption" >/dev/null 2>&1 && break
    sleep 0.1
  done
fi
sleep 1 # let it paint
if ! import -window "$window" "$screenshot" 2>/dev/null; then
  xwd -id "$window" -silent | convert xwd:- "$screenshot" || { echo "run: no screenshot" >&2; }
fi
[ -f "$screenshot" ] && echo "run: screenshot saved to $screenshot"

wine "$tool" close "$caption" || echo "run: could not post WM_CLOSE" >&2
code=124
for _ in $(seq 200); do
  if ! kill -0 "$program" 2>/dev/null; then
    wait "$program"
    code=$?
    break
  fi
  sleep 0.05
done
if [ "$code" = 124 ]; then
  echo "run: the program did not end after WM_CLOSE" >&2
  kill "$program" 2>/dev/null
fi
echo "run: the program ended with exit code $code"
exit "$code"
