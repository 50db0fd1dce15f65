#!/usr/bin/env bash
# Regenerates docs/main-window.png from a real run of the program (on a private Xvfb display).
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
exec bash "$repo/scripts/run.sh" --screenshot "$repo/docs/main-window.png"
