#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing need; quick when all are present.
# Runs as root (or through sudo when available).
#
# A package mirror part-way through a sync fails one index or another for minutes at a time, and
# with the i386 index missing the 32-bit runtime cannot be installed (its libraries no longer
# match their amd64 twins). So the index update is retried and then taken as it is, what the
# 64-bit build and tests need is installed first and is the only thing that can fail this
# script, and the 32-bit runtime is installed last: when it cannot be, one line says so (and is
# kept in build/setup-left-out for the test summary) and the 32-bit program is still built.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
left_out_file="${RECORDER_BUILD_DIR:-$repo/build}/setup-left-out"

# Both cross compilers (the 32-bit program is built even where it cannot run), Wine's 64-bit
# loader and the native ALSA plugins (the PulseAudio capture profiles load them into the Wine
# process). fonts-wine holds Marlett, which Wine draws the caption buttons with. wixl builds the
# MSI packages (msitools reads them), zip packs the portable ones, osslsigncode signs them.
PACKAGES_64=(
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 cmake ninja-build googletest clang-format python3
  wine wine64 fonts-wine
  xvfb xauth x11-utils x11-apps imagemagick
  sox alsa-utils pulseaudio pulseaudio-utils libasound2-plugins:amd64
  wixl msitools zip unzip osslsigncode
)
# What only running the 32-bit program needs.
PACKAGES_32=(wine32:i386 libasound2-plugins:i386)

missing_of() {
  local package status
  for package in "$@"; do
    status="$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)"
    [ "$status" = "install ok installed" ] || echo "$package"
  done
}
mapfile -t missing_64 < <(missing_of "${PACKAGES_64[@]}")
mapfile -t missing_32 < <(missing_of "${PACKAGES_32[@]}")
if [ ${#missing_64[@]} -eq 0 ] && [ ${#missing_32[@]} -eq 0 ]; then
  rm -f "$left_out_file"
  echo "setup: all packages present"
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
  else
    echo "setup: missing packages (${missing_64[*]} ${missing_32[*]}) and no root rights to install them" >&2
    exit 1
  fi
fi

export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
fi

# apt-get update answers 100 when any one index fails, even though every other one updated.
# When only the 32-bit runtime is missing (left out by an earlier run), one try is enough: the
# build and tests do not wait on it.
attempts="${RECORDER_SETUP_UPDATE_ATTEMPTS:-3}"
[ ${#missing_64[@]} -eq 0 ] && attempts=1
for attempt in $(seq "$attempts"); do
  if "${as_root[@]}" apt-get update -q; then
    break
  fi
  if [ "$attempt" = "$attempts" ]; then
    echo "setup: the package index updated only in part after $attempts tries; going on with what it has"
  else
    sleep "${RECORDER_SETUP_RETRY_SECONDS:-10}"
  fi
done

if [ ${#missing_64[@]} -gt 0 ]; then
  echo "setup: installing ${missing_64[*]}"
  if ! "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing_64[@]}"; then
    echo "setup: could not install what the 64-bit build and tests need (${missing_64[*]})" >&2
    exit 1
  fi
fi

mkdir -p "$(dirname "$left_out_file")"
rm -f "$left_out_file"
if [ ${#missing_32[@]} -gt 0 ]; then
  echo "setup: installing ${missing_32[*]}"
  if ! "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing_32[@]}"; then
    line="the 32-bit runtime (${missing_32[*]}) could not be installed"
    echo "setup: left out: $line; the 32-bit program is still built, but cannot run here"
    echo "$line" >"$left_out_file"
  fi
fi
exit 0
