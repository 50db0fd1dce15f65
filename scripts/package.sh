#!/usr/bin/env bash
# Usage: scripts/package.sh [--arch win32|win64|all]
#
# Builds the program optimised (Release, the AudioRecorder target alone, without the tests) for
# each architecture in its own folder (build/release/<arch>; RECORDER_BUILD_DIR names another
# folder than build) and makes, in build/packages/ (or $RECORDER_PACKAGE_DIR):
#   AudioRecorder-<version>-win32.zip, -win64.zip   the program and a short README.txt, to run
#                                                   from any folder without installing
#   AudioRecorder-<version>-win32.msi, -win64.msi   Windows Installer packages (wixl, from
#                                                   packaging/AudioRecorder.wxs)
#   SHA256SUMS                                      the checksums of the packages made
# The version is CMake's project() version, read from the configured build.
# RECORDER_PACKAGE_VERSION=x.y.z stamps the packages with another version instead (the program
# inside keeps its own): the package tests make an "upgrade" package this way.
#
# Signing (osslsigncode, an Authenticode signature with a SHA-256 digest): given
#   RECORDER_SIGN_CERT             the code-signing certificate, with its chain (PEM or DER)
#   RECORDER_SIGN_KEY              its private key (PEM or DER)
#   RECORDER_SIGN_KEY_PASSWORD     the key's password, when it has one
#   RECORDER_SIGN_TIMESTAMP_URL    an RFC 3161 timestamp server (optional; a timestamped
#                                  signature stays valid after the certificate expires)
# both programs are signed before they are packed, and both MSIs after. Without a certificate
# and key the packages are made unsigned, and a line says so.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
RECORDER_REPO_DIR="$repo"
# shellcheck source=arch.sh
source "$repo/scripts/arch.sh"

recorder_arches_asked "$@"
shift "$RECORDER_ARCH_ARGS"
arches="$RECORDER_ARCHES_ASKED"
build_root="${RECORDER_BUILD_DIR:-$repo/build}"
out="${RECORDER_PACKAGE_DIR:-$build_root/packages}"
release_root="$build_root/release"

signing=0
if [ -n "${RECORDER_SIGN_CERT:-}" ] || [ -n "${RECORDER_SIGN_KEY:-}" ]; then
  for file in "${RECORDER_SIGN_CERT:-}" "${RECORDER_SIGN_KEY:-}"; do
    [ -f "$file" ] || { echo "package: signing needs RECORDER_SIGN_CERT and RECORDER_SIGN_KEY to name files ('$file' is none)" >&2; exit 1; }
  done
  signing=1
fi
tools=(wixl zip sha256sum python3)
[ "$signing" = 0 ] || tools+=(osslsigncode)
for tool in "${tools[@]}"; do
  command -v "$tool" >/dev/null || { echo "package: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done
if [ "$signing" = 1 ]; then
  echo "package: signing with $RECORDER_SIGN_CERT${RECORDER_SIGN_TIMESTAMP_URL:+, timestamped by $RECORDER_SIGN_TIMESTAMP_URL}"
else
  echo "package: no RECORDER_SIGN_CERT and RECORDER_SIGN_KEY given: the programs and MSIs are not signed"
fi

sign() { # file
  [ "$signing" = 1 ] || return 0
  local args=(-certs "$RECORDER_SIGN_CERT" -key "$RECORDER_SIGN_KEY" -h sha256 -n "Audio Recorder")
  [ -z "${RECORDER_SIGN_TIMESTAMP_URL:-}" ] || args+=(-ts "$RECORDER_SIGN_TIMESTAMP_URL")
  # The password goes through a pipe, not the command line, where any user could read it.
  [ -z "${RECORDER_SIGN_KEY_PASSWORD:-}" ] || args+=(-readpass -)
  printf '%s' "${RECORDER_SIGN_KEY_PASSWORD:-}" |
    osslsigncode sign "${args[@]}" -in "$1" -out "$1.signed" >/dev/null ||
    { echo "package: could not sign $1" >&2; rm -f "$1.signed"; exit 1; }
  mv "$1.signed" "$1"
}

# Windows Installer versions are three numbers: major and minor up to 255, build up to 65535.
valid_version() {
  local IFS=.
  # shellcheck disable=SC2206
  local parts=($1)
  [[ "$1" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] && [ "${parts[0]}" -le 255 ] &&
    [ "${parts[1]}" -le 255 ] && [ "${parts[2]}" -le 65535 ]
}

# The product code is derived from the architecture and the version: every build of one version
# is the same product (Windows Installer refuses to install it beside itself), and a package of
# another version replaces it through the fixed UpgradeCode in the .wxs.
product_code() { # arch version
  python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.NAMESPACE_URL,
    "https://velmora.invalid/audio-recorder/" + sys.argv[1] + "/" + sys.argv[2])).upper())' "$1" "$2"
}

write_readme() { # file version arch
  local bits="${3#win}"
  # CRLF: it is read with Notepad.
  sed 's/$/\r/' >"$1" <<EOF
Audio Recorder $2 ($bits-bit)
==============================

A sound recorder for Windows: records from the sound card into wave files in any
format the system's audio compression manager offers, and plays them back.

This folder needs no installation: run AudioRecorder.exe from wherever it is (a
USB stick, your Downloads folder, a network share). Moving or deleting the folder
is all it takes to move or remove the program.

What it keeps: the window's position and the four most recently used files, in the
registry under HKEY_CURRENT_USER\\Software\\Velmora\\Quenby Pro Recorder (values
Placement and File1 to File4). Recordings are stored wherever you save them.
Nothing else is written.

$([ "$bits" = 64 ] && echo "This is the 64-bit program, for 64-bit Windows." ||
  echo "This is the 32-bit program; it runs on 32-bit and 64-bit Windows.")
To install it for every user of the computer, with a Start-menu entry, use
AudioRecorder-$2-$3.msi instead.
EOF
}

mkdir -p "$out"
out="$(cd "$out" && pwd)"
for arch in $arches; do
  recorder_arch_valid "$arch" || { echo "package: unknown architecture $arch" >&2; exit 2; }
  build="$release_root/$arch"
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRECORDER_TESTS=OFF \
      -DCMAKE_TOOLCHAIN_FILE="$(recorder_arch_toolchain "$arch")" >/dev/null
  fi
  echo "package: building $arch (Release) in $build"
  cmake --build "$build" --target AudioRecorder -- -j"${RECORDER_BUILD_JOBS:-$(nproc)}"

  version="${RECORDER_PACKAGE_VERSION:-$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")}"
  valid_version "$version" || { echo "package: '$version' is no package version (x.y.z)" >&2; exit 1; }
  name="AudioRecorder-$version-$arch"
  stage="$out/.stage-$arch"
  rm -rf "$stage" "$out"/AudioRecorder-*-"$arch".zip "$out"/AudioRecorder-*-"$arch".msi
  mkdir -p "$stage/zip"

  cp "$build/bin/AudioRecorder.exe" "$stage/AudioRecorder.exe"
  sign "$stage/AudioRecorder.exe"
  cp "$stage/AudioRecorder.exe" "$stage/zip/AudioRecorder.exe"
  write_readme "$stage/zip/README.txt" "$version" "$arch"
  (cd "$stage/zip" && zip -q -X -9 "$out/$name.zip" AudioRecorder.exe README.txt)

  # wixl looks its source files up relative to the working folder.
  cp "$build/generated/recicon.ico" "$stage/"
  msi_arch=$([ "$arch" = win64 ] && echo x64 || echo x86)
  (cd "$stage" && wixl -a "$msi_arch" -D Arch="$msi_arch" -D Version="$version" \
    -D ProductCode="$(product_code "$arch" "$version")" \
    -D ExePath=AudioRecorder.exe -D IconPath=recicon.ico \
    -o "$out/$name.msi" "$repo/packaging/AudioRecorder.wxs")
  sign "$out/$name.msi"
  rm -rf "$stage"
done

# Every package in the folder (the architectures not made this time keep theirs).
cd "$out"
shopt -s nullglob
packages=(AudioRecorder-*.zip AudioRecorder-*.msi)
sha256sum "${packages[@]}" >SHA256SUMS
echo "package: in $out:"
ls -l "${packages[@]}" SHA256SUMS | awk '{ print "  " $NF " (" $5 " bytes)" }'
