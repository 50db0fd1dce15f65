#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing need; quick when all are present.
# Runs as root (or through sudo when available).
set -euo pipefail

# Both architectures: the two cross compilers, both Wine loaders and the ALSA plugins of each
# (the PulseAudio capture profiles load them into the Wine process). fonts-wine holds Marlett,
# which Wine draws the caption buttons with. wixl builds the MSI packages (msitools reads them)
# and zip packs the portable ones.
PACKAGES=(
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 cmake ninja-build googletest clang-format python3
  wine wine32:i386 wine64 fonts-wine
  xvfb xauth x11-utils x11-apps imagemagick
  sox alsa-utils pulseaudio pulseaudio-utils libasound2-plugins:amd64 libasound2-plugins:i386
  wixl msitools zip unzip
)

missing=()
for package in "${PACKAGES[@]}"; do
  status="$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)"
  [ "$status" = "install ok installed" ] || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
  else
    echo "setup: missing packages (${missing[*]}) and no root rights to install them" >&2
    exit 1
  fi
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
fi
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
