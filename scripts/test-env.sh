#!/usr/bin/env bash
# Usage: scripts/test-env.sh <command> [arguments...]
#
# Runs the command inside a private test environment and returns its exit code:
#   - an Xvfb server on a free display (DISPLAY),
#   - a fresh win32 Wine prefix copied from a cached template (WINEPREFIX; X11 Managed=N, ALSA
#     audio, WINEDEBUG=-all, WINEDLLOVERRIDES="mscoree,mshtml="), `wineserver -p` running and one
#     hidden keep-alive window,
#   - a PulseAudio daemon (PULSE_SERVER) with null sinks cap16 (s16le 44100 Hz stereo) and cap8
#     (u8 11025 Hz mono), both fed the known signal (scripts/known_signal.py,
#     tests/support/known_signal.h) for the whole run; the ALSA profiles tests/alsa/paced16.conf
#     and paced8.conf capture from them.
# Everything lives under a temp folder (RECORDER_ENV_DIR) and is removed afterwards
# (RECORDER_KEEP_ENV=1 keeps the folder and its logs). Several may run at once.
#
# Examples, from your own build folder:
#   ../scripts/test-env.sh ctest -R e2e_shell --output-on-failure
#   ALSA_CONFIG_PATH=$PWD/../tests/alsa/paced16.conf ../scripts/test-env.sh wine tests/x/x_test.exe
#   scripts/test-env.sh bash      # an interactive shell inside the environment
set -u
# shellcheck source=env.sh
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

if [ $# -eq 0 ]; then
  sed -n '2,/^set -u/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//'
  exit 2
fi

trap 'recorder_env_stop' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
if ! recorder_env_start; then
  echo "test-env: could not start the test environment" >&2
  RECORDER_KEEP_ENV=1
  exit 125
fi
"$@"
