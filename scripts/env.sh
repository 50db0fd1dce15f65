# shellcheck shell=bash
# The private run-time environment of the tests, sourced by test.sh, test-env.sh and run.sh.
#
#   recorder_env_start   creates a temp folder and starts, inside it:
#                        - an Xvfb server on a free display,
#                        - a fresh copy of a cached Wine prefix of the architecture RECORDER_ARCH
#                          (win32 or win64; by default the one recorder_default_arch picks),
#                          with X11 Managed=N, ALSA audio and the Marlett font, `wineserver -p`
#                          and one hidden keep-alive window,
#                        - a PulseAudio daemon with two null sinks (cap16: s16le 44100 Hz stereo,
#                          cap8: u8 11025 Hz mono), each fed the known signal for the whole run.
#                        Exports DISPLAY, WINEPREFIX, WINEARCH, WINELOADER, WINEDEBUG,
#                        WINEDLLOVERRIDES, PULSE_SERVER, RECORDER_ARCH, RECORDER_ENV_DIR and
#                        RECORDER_KNOWN_SIGNAL_FILE, and puts a folder first on PATH whose `wine`
#                        and `wineboot` start the architecture's own loader.
#                        On failure it says why in one line and keeps the folder with its logs.
#   recorder_env_stop    ends all of it and removes the folder (RECORDER_KEEP_ENV=1 keeps it).
#
# Several environments may run at once: each one has its own folder, display, prefix and socket.
# The template prefixes and the small helper binaries are cached in RECORDER_CACHE_DIR
# (default ~/.cache/audio-recorder), one of each per architecture, built once under a lock.

RECORDER_SCRIPTS_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
RECORDER_REPO_DIR="$(cd "$RECORDER_SCRIPTS_DIR/.." && pwd)"
# shellcheck source=arch.sh
source "$RECORDER_SCRIPTS_DIR/arch.sh"
RECORDER_CACHE_DIR="${RECORDER_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/audio-recorder}"

_recorder_log() { echo "[test-env] $*" >&2; }

_recorder_wait_for() { # seconds command... : polls every 50 ms until the command succeeds
  local limit=$(($1 * 20)) i=0
  shift
  until "$@" >/dev/null 2>&1; do
    i=$((i + 1))
    [ "$i" -ge "$limit" ] && return 1
    sleep 0.05
  done
}

_recorder_xvfb_is_ours() { # display number: our Xvfb holds the display's lock
  [ "$(tr -d ' \n' <"/tmp/.X$1-lock" 2>/dev/null)" = "$RECORDER_XVFB_PID" ]
}

_recorder_start_xvfb() {
  local n first=$((50 + RANDOM % 100)) i
  for i in $(seq 0 199); do
    n=$((50 + (first - 50 + i) % 200))
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$RECORDER_ENV_DIR/logs/xvfb.log" 2>&1 &
    RECORDER_XVFB_PID=$!
    # Another run may have taken the same number at the same moment: the lock file names the
    # server that won.
    if _recorder_wait_for 10 test -S "/tmp/.X11-unix/X$n" && _recorder_xvfb_is_ours "$n" &&
      DISPLAY=":$n" _recorder_wait_for 5 xdpyinfo && kill -0 "$RECORDER_XVFB_PID" 2>/dev/null; then
      export DISPLAY=":$n"
      return 0
    fi
    kill "$RECORDER_XVFB_PID" 2>/dev/null
    wait "$RECORDER_XVFB_PID" 2>/dev/null
    RECORDER_XVFB_PID=
  done
  _recorder_log "no free X display found"
  return 1
}

# Files of the template that Wine only reads are hard-linked into each copy (fast, no space);
# everything else is copied, so nothing a run writes can reach the template.
_recorder_copy_prefix() { # template target
  local template=$1 target=$2 f
  cp -al "$template" "$target" || return 1
  rm -f "$target/wineserver"
  while IFS= read -r -d '' f; do
    cp -p "$f" "$f.copy" && mv -f "$f.copy" "$f" || return 1
  done < <(find "$target" -type f -links +1 ! \( -name '*.dll' -o -name '*.exe' -o -name '*.nls' \
    -o -name '*.sys' -o -name '*.drv' -o -name '*.vxd' -o -name '*.ocx' -o -name '*.cpl' \
    -o -name '*.acm' -o -name '*.tlb' -o -name '*.ds' -o -name '*.com' -o -name '*.ax' \
    -o -name '*.msstyles' -o -name '*.mod' -o -name '*.icm' \) -print0)
}

# Debian's Wine does not load the fonts of its own data folder, so without a copy of Marlett in
# the prefix the caption buttons are drawn as the letters "0 1 r".
_recorder_make_template() { # folder
  local template=$1 work="$1.work.$$" log="$RECORDER_ENV_DIR/logs/template.log"
  rm -rf "$work"
  _recorder_log "creating the template $RECORDER_ARCH Wine prefix (once, about 10 s)"
  (
    export WINEPREFIX="$work" WINEARCH="$RECORDER_ARCH"
    wineboot -i &&
      wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f &&
      wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /t REG_SZ /d alsa /f &&
      wineserver -w &&
      { [ ! -f /usr/share/wine/fonts/marlett.ttf ] ||
        cp /usr/share/wine/fonts/marlett.ttf "$work/drive_c/windows/Fonts/"; }
  ) >"$log" 2>&1 || {
    _recorder_log "wineboot failed: $(grep -v '^[[:space:]]*$' "$log" | tail -n 1); see $log"
    rm -rf "$work"
    return 1
  }
  rm -f "$work/wineserver"
  mv "$work" "$template"
}

# `wine` and `wineboot` of the architecture, first on PATH for everything the environment runs
# (ctest's emulator, the fault scripts, the bench).
_recorder_make_loader_bin() { # folder
  local bin=$1 loader
  loader="$(recorder_arch_loader "$RECORDER_ARCH")"
  mkdir -p "$bin" || return 1
  printf '#!/bin/sh\nexec %s "$@"\n' "$loader" >"$bin/wine" &&
    printf '#!/bin/sh\nexec %s wineboot.exe "$@"\n' "$loader" >"$bin/wineboot" &&
    chmod +x "$bin/wine" "$bin/wineboot"
}

_recorder_prepare_cache() {
  mkdir -p "$RECORDER_CACHE_DIR" || return 1
  local version stamp
  version="$(wine --version 2>/dev/null | tr -c 'A-Za-z0-9.\n' '_')"
  stamp="$(cat "$RECORDER_SCRIPTS_DIR/keepalive.c" "$RECORDER_SCRIPTS_DIR/known_signal.py" | sha1sum | cut -c1-12)"
  RECORDER_TEMPLATE_PREFIX="$RECORDER_CACHE_DIR/prefix-$RECORDER_ARCH-$version-v2"
  RECORDER_KEEPALIVE_EXE="$RECORDER_CACHE_DIR/keepalive-$RECORDER_ARCH-$stamp.exe"
  RECORDER_KNOWN_SIGNAL_FILE="$RECORDER_CACHE_DIR/known-signal-$stamp.raw"
  (
    flock 9
    if [ ! -d "$RECORDER_TEMPLATE_PREFIX" ]; then
      _recorder_make_template "$RECORDER_TEMPLATE_PREFIX" || exit 1
    fi
    if [ ! -f "$RECORDER_KEEPALIVE_EXE" ]; then
      "$(recorder_arch_triplet "$RECORDER_ARCH")-gcc-posix" -O2 -static -mwindows -o "$RECORDER_KEEPALIVE_EXE.tmp" \
        "$RECORDER_SCRIPTS_DIR/keepalive.c" && mv "$RECORDER_KEEPALIVE_EXE.tmp" "$RECORDER_KEEPALIVE_EXE" || exit 1
    fi
    if [ ! -f "$RECORDER_KNOWN_SIGNAL_FILE" ]; then
      python3 "$RECORDER_SCRIPTS_DIR/known_signal.py" --write "$RECORDER_KNOWN_SIGNAL_FILE.tmp" &&
        mv "$RECORDER_KNOWN_SIGNAL_FILE.tmp" "$RECORDER_KNOWN_SIGNAL_FILE" || exit 1
    fi
  ) 9>"$RECORDER_CACHE_DIR/lock"
}

_recorder_start_pulse() {
  local dir="$RECORDER_ENV_DIR/pulse"
  mkdir -p "$dir/runtime" "$dir/state" "$dir/home"
  # Its own runtime, state and home folders, so several daemons never meet.
  HOME="$dir/home" XDG_CONFIG_HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" \
    PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state" \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --system=no \
    -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
    -L "module-null-sink sink_name=cap16 format=s16le rate=44100 channels=2" \
    -L "module-null-sink sink_name=cap8 format=u8 rate=11025 channels=1" \
    >"$RECORDER_ENV_DIR/logs/pulseaudio.log" 2>&1 &
  RECORDER_PULSE_PID=$!
  export PULSE_SERVER="unix:$dir/native"
  if ! _recorder_wait_for 10 pactl info; then
    _recorder_log "PulseAudio did not start; see $RECORDER_ENV_DIR/logs/pulseaudio.log"
    return 1
  fi
  # Null sinks deliver capture data only while something plays into them: feed each one the
  # known signal for the whole run.
  python3 "$RECORDER_SCRIPTS_DIR/known_signal.py" --stream-file "$RECORDER_KNOWN_SIGNAL_FILE" |
    pacat --playback -d cap16 --raw --format=s16le --rate=44100 --channels=2 \
      --latency-msec=1000 --client-name=feeder16 2>>"$RECORDER_ENV_DIR/logs/feeders.log" &
  RECORDER_FEEDER_PIDS="$!"
  python3 "$RECORDER_SCRIPTS_DIR/known_signal.py" --stream-file "$RECORDER_KNOWN_SIGNAL_FILE" |
    pacat --playback -d cap8 --raw --format=u8 --rate=11025 --channels=1 \
      --latency-msec=1000 --client-name=feeder8 2>>"$RECORDER_ENV_DIR/logs/feeders.log" &
  RECORDER_FEEDER_PIDS="$RECORDER_FEEDER_PIDS $!"
  # The feeders keep a second of sound queued in the daemon, so a busy machine never starves a
  # sink; a small reader on each monitor makes the sinks work in 20 ms steps, so a recording
  # gets its first data at once rather than after a whole second.
  parec -d cap16.monitor --raw --format=s16le --rate=44100 --channels=2 --latency-msec=20 \
    --client-name=pace16 >/dev/null 2>>"$RECORDER_ENV_DIR/logs/feeders.log" &
  RECORDER_FEEDER_PIDS="$RECORDER_FEEDER_PIDS $!"
  parec -d cap8.monitor --raw --format=u8 --rate=11025 --channels=1 --latency-msec=20 \
    --client-name=pace8 >/dev/null 2>>"$RECORDER_ENV_DIR/logs/feeders.log" &
  RECORDER_FEEDER_PIDS="$RECORDER_FEEDER_PIDS $!"
  local i
  for i in $(seq 100); do
    [ "$(pactl list short sink-inputs 2>/dev/null | wc -l)" -ge 2 ] &&
      [ "$(pactl list short source-outputs 2>/dev/null | wc -l)" -ge 2 ] && return 0
    sleep 0.05
  done
  _recorder_log "the signal feeders did not connect; see $RECORDER_ENV_DIR/logs/feeders.log"
  return 1
}

recorder_env_start() {
  _recorder_env_start && return 0
  # Whatever failed named a log in the folder: keep it for the reader.
  RECORDER_KEEP_ENV=1
  return 1
}

_recorder_env_start() {
  RECORDER_ENV_DIR="$(mktemp -d "${TMPDIR:-/tmp}/recorder-env.XXXXXX")" || return 1
  export RECORDER_ENV_DIR
  mkdir -p "$RECORDER_ENV_DIR/logs"
  RECORDER_ARCH="${RECORDER_ARCH:-$(recorder_default_arch)}"
  export RECORDER_ARCH
  if ! recorder_arch_valid "$RECORDER_ARCH"; then
    _recorder_log "unknown architecture $RECORDER_ARCH (win32 or win64)"
    return 1
  fi
  if ! recorder_arch_probe "$RECORDER_ARCH"; then
    _recorder_log "cannot start a $RECORDER_ARCH environment: $RECORDER_ARCH_WHY"
    return 1
  fi
  _recorder_make_loader_bin "$RECORDER_ENV_DIR/bin" || return 1
  export PATH="$RECORDER_ENV_DIR/bin:$PATH"
  export WINELOADER
  WINELOADER="$(recorder_arch_loader "$RECORDER_ARCH")"
  export WINEARCH="$RECORDER_ARCH" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  _recorder_start_xvfb || return 1
  _recorder_prepare_cache || return 1
  export RECORDER_KNOWN_SIGNAL_FILE
  export WINEPREFIX="$RECORDER_ENV_DIR/prefix"
  _recorder_copy_prefix "$RECORDER_TEMPLATE_PREFIX" "$WINEPREFIX" || {
    _recorder_log "could not copy the template prefix"
    return 1
  }
  if ! wineserver -p >"$RECORDER_ENV_DIR/logs/wineserver.log" 2>&1; then
    _recorder_log "wineserver did not start: $(tail -n 1 "$RECORDER_ENV_DIR/logs/wineserver.log")"
    return 1
  fi
  RECORDER_WINESERVER_STARTED=1
  wine "$RECORDER_KEEPALIVE_EXE" >"$RECORDER_ENV_DIR/logs/keepalive.log" 2>&1 &
  RECORDER_KEEPALIVE_PID=$!
  _recorder_start_pulse || return 1
  # Wine reads the prefix's audio choice (ALSA); the ALSA pulse plugin finds the daemon
  # through PULSE_SERVER.
  _recorder_wait_for 20 xwininfo -name "Recorder test keep-alive" ||
    _recorder_log "the keep-alive window did not appear (program starts may be slow)"
  return 0
}

recorder_env_stop() {
  local pid
  for pid in ${RECORDER_FEEDER_PIDS:-}; do kill "$pid" 2>/dev/null; done
  for pid in ${RECORDER_FEEDER_PIDS:-}; do wait "$pid" 2>/dev/null; done
  RECORDER_FEEDER_PIDS=
  if [ -n "${RECORDER_PULSE_PID:-}" ]; then
    kill "$RECORDER_PULSE_PID" 2>/dev/null
    wait "$RECORDER_PULSE_PID" 2>/dev/null
    RECORDER_PULSE_PID=
  fi
  if [ -n "${RECORDER_WINESERVER_STARTED:-}" ]; then
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    RECORDER_WINESERVER_STARTED=
  fi
  if [ -n "${RECORDER_KEEPALIVE_PID:-}" ]; then
    wait "$RECORDER_KEEPALIVE_PID" 2>/dev/null
    RECORDER_KEEPALIVE_PID=
  fi
  if [ -n "${RECORDER_XVFB_PID:-}" ]; then
    kill "$RECORDER_XVFB_PID" 2>/dev/null
    wait "$RECORDER_XVFB_PID" 2>/dev/null
    RECORDER_XVFB_PID=
  fi
  if [ -n "${RECORDER_ENV_DIR:-}" ] && [ -d "$RECORDER_ENV_DIR" ]; then
    if [ "${RECORDER_KEEP_ENV:-0}" = 1 ]; then
      _recorder_log "kept $RECORDER_ENV_DIR"
    else
      rm -rf "$RECORDER_ENV_DIR"
    fi
  fi
}
