#!/usr/bin/env bash
# Regenerates docs/main-window.png (the idle window) and docs/main-window-buttons.png (a sound
# loaded, so the buttons that can act are drawn in colour) from real runs of the program, each on
# a private Xvfb display. --arch win32|win64 picks the program, as for run.sh.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$repo/scripts/run.sh" "$@" --screenshot "$repo/docs/main-window.png"
sample="$(mktemp -d)"
trap 'rm -rf "$sample"' EXIT
sox -n -r 11025 -b 8 -c 1 "$sample/Sample.wav" synth 3 sine 440 vol 0.5
bash "$repo/scripts/run.sh" "$@" --screenshot "$repo/docs/main-window-buttons.png" \
  --open "$sample/Sample.wav"
