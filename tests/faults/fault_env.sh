#!/usr/bin/env bash
# The surroundings that some fault tests need, set up around one test process and removed after
# it. CMake makes this script the test executable's emulator, so ctest runs
#   fault_env.sh <setup> <test.exe> [gtest arguments...]
# and the script runs the executable under wine with the setup in place:
#   tmpfs   a 2 MiB tmpfs mounted on a fresh folder and mapped as a free drive letter of the
#           Wine prefix (RECORDER_FAULTS_DRIVE="t:", RECORDER_FAULTS_DISK=<mount point>); when
#           mounting is not permitted, RECORDER_FAULTS_SKIP says why and the tests skip.
#   pulse   a PulseAudio daemon of the test's own (PULSE_SERVER points at it) with the null
#           sink cap16 fed the known signal, so a test may stop and restart it
#           (RECORDER_FAULTS_PULSE_DIR, RECORDER_FAULTS_HELPER=this script).
# From inside a test (run through /bin/sh):
#   fault_env.sh pulse-stop <dir>    ends the daemon and its feeder (pactl exit)
#   fault_env.sh pulse-kill <dir>    kills the daemon (SIGKILL), then ends the feeder
#   fault_env.sh pulse-start <dir>   starts them again on the same socket
#   fault_env.sh fill <folder>       fills the file system of <folder> (a file "filler")
# Everything runs under a time limit, so nothing outlives a test that hangs.
set -u
script="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/$(basename "${BASH_SOURCE[0]}")"
repo="$(cd "$(dirname "$script")/../.." && pwd)"
limit="${RECORDER_FAULTS_LIMIT:-280}"

pulse_start() { # dir
  local dir=$1 signal="${RECORDER_KNOWN_SIGNAL_FILE:-}"
  mkdir -p "$dir/runtime" "$dir/state" "$dir/home"
  if [ -z "$signal" ] || [ ! -f "$signal" ]; then
    signal="$dir/known-signal.raw"
    [ -f "$signal" ] || python3 "$repo/scripts/known_signal.py" --write "$signal" || return 1
  fi
  rm -f "$dir/native"
  HOME="$dir/home" XDG_CONFIG_HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" \
    PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state" \
    setsid timeout -k 5 "$limit" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    --use-pid-file=no --system=no \
    -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
    -L "module-null-sink sink_name=cap16 format=s16le rate=44100 channels=2" \
    >>"$dir/pulseaudio.log" 2>&1 </dev/null &
  echo $! >"$dir/daemon.pid"
  local i
  for i in $(seq 200); do
    PULSE_SERVER="unix:$dir/native" pactl info >/dev/null 2>&1 && break
    sleep 0.05
  done
  PULSE_SERVER="unix:$dir/native" pactl info >/dev/null 2>&1 || return 1
  # Null sinks deliver capture data only while something plays into them.
  PULSE_SERVER="unix:$dir/native" setsid timeout -k 5 "$limit" bash -c \
    'python3 "$1" --stream-file "$2" | pacat --playback -d cap16 --raw --format=s16le \
       --rate=44100 --channels=2 --client-name=feeder16' feeder \
    "$repo/scripts/known_signal.py" "$signal" >>"$dir/feeder.log" 2>&1 </dev/null &
  echo $! >"$dir/feeder.pid"
  for i in $(seq 200); do
    [ "$(PULSE_SERVER="unix:$dir/native" pactl list short sink-inputs 2>/dev/null | wc -l)" -ge 1 ] &&
      return 0
    sleep 0.05
  done
  return 1
}

pulse_stop() { # dir
  local dir=$1 pid
  PULSE_SERVER="unix:$dir/native" timeout 5 pactl exit >/dev/null 2>&1
  for pid in $(cat "$dir/daemon.pid" "$dir/feeder.pid" 2>/dev/null); do
    # The time limits run as their own process groups: end each group we started.
    kill -TERM -- "-$pid" 2>/dev/null
  done
  for pid in $(cat "$dir/daemon.pid" 2>/dev/null); do
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
  done
  rm -f "$dir/daemon.pid" "$dir/feeder.pid"
  return 0
}

pulse_kill() { # dir: the daemon dies at once, as on a crash
  local dir=$1 pid
  for pid in $(cat "$dir/daemon.pid" 2>/dev/null); do
    pkill -KILL -g "$pid" 2>/dev/null
  done
  pulse_stop "$dir"
}

run_test() { # program and arguments
  timeout -k 10 "$limit" wine "$@"
}

case "${1:-}" in
  pulse-start) pulse_start "$2"; exit $? ;;
  pulse-stop) pulse_stop "$2"; exit $? ;;
  pulse-kill) pulse_kill "$2"; exit $? ;;
  fill)
    # Writes until the file system refuses more.
    dd if=/dev/zero of="$2/filler" bs=64k >/dev/null 2>&1
    exit 0
    ;;
esac

setup=${1:-}
shift
# Listing the tests needs none of it.
for argument in "$@"; do
  [ "$argument" = "--gtest_list_tests" ] && exec wine "$@"
done

case "$setup" in
  tmpfs)
    work="$(mktemp -d "${TMPDIR:-/tmp}/recorder-faults-disk.XXXXXX")"
    mkdir -p "$work/mnt"
    drive=""
    cleanup_tmpfs() {
      [ -n "$drive" ] && rm -f "${WINEPREFIX:-$HOME/.wine}/dosdevices/$drive"
      if mountpoint -q "$work/mnt"; then umount "$work/mnt" 2>/dev/null || umount -l "$work/mnt"; fi
      rm -rf "$work"
    }
    trap cleanup_tmpfs EXIT
    if error="$(mount -t tmpfs -o size=2m,mode=0777 tmpfs "$work/mnt" 2>&1)"; then
      for letter in t u v w x y; do
        if [ ! -e "${WINEPREFIX:-$HOME/.wine}/dosdevices/$letter:" ]; then
          drive="$letter:"
          ln -s "$work/mnt" "${WINEPREFIX:-$HOME/.wine}/dosdevices/$drive"
          break
        fi
      done
      if [ -n "$drive" ]; then
        export RECORDER_FAULTS_DRIVE="$drive" RECORDER_FAULTS_DISK="$work/mnt"
        export RECORDER_FAULTS_HELPER="$script"
      else
        export RECORDER_FAULTS_SKIP="no free drive letter in the Wine prefix"
      fi
    else
      export RECORDER_FAULTS_SKIP="mounting a tmpfs is not permitted here ($error)"
    fi
    run_test "$@"
    exit $?
    ;;
  pulse)
    work="$(mktemp -d "${TMPDIR:-/tmp}/recorder-faults-pulse.XXXXXX")"
    cleanup_pulse() {
      pulse_stop "$work"
      rm -rf "$work"
    }
    trap cleanup_pulse EXIT
    if pulse_start "$work"; then
      export PULSE_SERVER="unix:$work/native" RECORDER_FAULTS_PULSE_DIR="$work"
      export RECORDER_FAULTS_HELPER="$script"
    else
      export RECORDER_FAULTS_SKIP="a PulseAudio daemon of the test's own did not start"
    fi
    run_test "$@"
    exit $?
    ;;
  *)
    echo "usage: see the comment at the top of $script" >&2
    exit 2
    ;;
esac
