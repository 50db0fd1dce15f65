#!/usr/bin/env bash
# Usage: scripts/test-packages.sh
#
# Tests the release packages under Wine. Makes them (scripts/package.sh, into build/packages/),
# signed with a throwaway self-signed certificate, and checks that the programs in the zip and
# the MSI and the MSIs themselves carry a SHA-256 signature; makes a second set, unsigned,
# stamped with the next version (build/packages-upgrade/) to upgrade to,
# and for each architecture this machine runs starts a fresh environment of that architecture
# (scripts/test-env.sh: its own prefix, Xvfb and PulseAudio) and runs
# tests/package/package_test.exe in it:
#   - the MSI installed silently, the program started from the Start-menu shortcut's target
#     and a second recorded with it, the upgrade (one "Add or remove programs" entry, the new
#     version), the uninstall (nothing of ours left in Program Files or the Start menu, the
#     recording and the user's settings still there);
#   - in a 64-bit prefix, the 32-bit MSI as well: into "Program Files (x86)", its entry in the
#     32-bit registry view, upgraded and removed (not run: Wine's 32-bit loader may not run);
#     and each architecture's MSI replacing the other's program in place;
#   - the packed program's version resource and embedded manifest (built from today's sources);
#   - the zip unpacked into a folder named "Prüfung 録音" and the program run from there.
# Called by scripts/test.sh. Ends with one line per architecture, "packages: <arch>: ...", and
# exits non-zero on any failure.
set -uo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
RECORDER_REPO_DIR="$repo"
# shellcheck source=arch.sh
source "$repo/scripts/arch.sh"
build_root="${RECORDER_BUILD_DIR:-$repo/build}"
packages="$build_root/packages"
upgrades="$build_root/packages-upgrade"

windows_path() { local path="${1//\//\\}"; echo "Z:$path"; }

# Inside the environment (scripts/test-env.sh runs this script again with --inside <arch>).
if [ "${1:-}" = --inside ]; then
  arch=$2
  # Wine's installer would turn the Start-menu shortcut into a launcher in the Linux desktop's
  # menu, outside the prefix.
  export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
  export ALSA_CONFIG_PATH="$repo/tests/alsa/fast.conf" RECORDER_ALSA_PROFILE=fast
  name="AudioRecorder-$RECORDER_TEST_MSI_VERSION-$arch"
  upgrade="AudioRecorder-$RECORDER_TEST_UPGRADE_VERSION-$arch"
  export RECORDER_TEST_MSI RECORDER_TEST_UPGRADE_MSI RECORDER_TEST_UNZIPPED_IN RECORDER_TEST_MANIFEST
  RECORDER_TEST_MANIFEST="$(windows_path "$repo/src/resources/recorder.manifest")"
  RECORDER_TEST_MSI="$(windows_path "$packages/$name.msi")"
  RECORDER_TEST_UPGRADE_MSI="$(windows_path "$upgrades/$upgrade.msi")"
  if [ "$arch" = win64 ]; then
    export RECORDER_TEST_WOW_MSI RECORDER_TEST_WOW_UPGRADE_MSI
    RECORDER_TEST_WOW_MSI="$(windows_path "$packages/AudioRecorder-$RECORDER_TEST_MSI_VERSION-win32.msi")"
    RECORDER_TEST_WOW_UPGRADE_MSI="$(windows_path "$upgrades/AudioRecorder-$RECORDER_TEST_UPGRADE_VERSION-win32.msi")"
  fi
  unpacked="$RECORDER_ENV_DIR/unpacked"
  mkdir -p "$unpacked/Prüfung 録音"
  unzip -q "$packages/$name.zip" -d "$unpacked/Prüfung 録音" || exit 1
  RECORDER_TEST_UNZIPPED_IN="$(windows_path "$unpacked")"
  exec wine "$(recorder_arch_build_dir "$arch")/tests/package/package_test.exe"
fi

bash "$repo/scripts/setup.sh" >/dev/null || exit 1
signing="$build_root/test-signing"
mkdir -p "$signing"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Audio Recorder test signing" \
  -addext extendedKeyUsage=codeSigning -keyout "$signing/key.pem" -out "$signing/cert.pem" \
  2>/dev/null || exit 1
env -u RECORDER_PACKAGE_VERSION -u RECORDER_PACKAGE_DIR -u RECORDER_SIGN_TIMESTAMP_URL \
  RECORDER_SIGN_CERT="$signing/cert.pem" RECORDER_SIGN_KEY="$signing/key.pem" \
  bash "$repo/scripts/package.sh" || exit 1
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_root/release/win64/CMakeCache.txt")"
next="${version%.*}.$((${version##*.} + 1))"
env -u RECORDER_SIGN_CERT -u RECORDER_SIGN_KEY RECORDER_PACKAGE_VERSION="$next" \
  RECORDER_PACKAGE_DIR="$upgrades" bash "$repo/scripts/package.sh" || exit 1
export RECORDER_TEST_MSI_VERSION="$version" RECORDER_TEST_UPGRADE_VERSION="$next"

status=0
results=()

# The signatures, trusting the throwaway certificate alone: each file's own digest must match
# and be SHA-256.
unsigned=()
rm -rf "$signing/unpacked"
for arch in win32 win64; do
  name="AudioRecorder-$version-$arch"
  mkdir -p "$signing/unpacked/$arch/zip" "$signing/unpacked/$arch/msi"
  unzip -q "$packages/$name.zip" AudioRecorder.exe -d "$signing/unpacked/$arch/zip"
  (cd "$signing/unpacked/$arch/msi" && msiextract "$packages/$name.msi" >/dev/null)
  for file in "$packages/$name.msi" "$signing/unpacked/$arch/zip/AudioRecorder.exe" \
    "$(find "$signing/unpacked/$arch/msi" -name AudioRecorder.exe)"; do
    report="$(osslsigncode verify -CAfile "$signing/cert.pem" -in "$file" 2>&1)" &&
      grep -q '^Message digest algorithm *: SHA256' <<<"$report" || unsigned+=("${file#"$build_root/"}")
  done
done
if [ ${#unsigned[@]} = 0 ]; then
  results+=("packages: signatures: the programs in both zips and MSIs, and both MSIs, signed (SHA-256)")
else
  results+=("packages: signatures: FAILED: not signed: ${unsigned[*]}")
  status=1
fi
for arch in $RECORDER_ARCHES; do
  if ! recorder_arch_probe "$arch"; then
    results+=("packages: $arch: not run: $RECORDER_ARCH_WHY")
    continue
  fi
  bash "$repo/scripts/build.sh" --arch "$arch" package_test || exit 1
  echo "== package tests: $arch"
  started=$SECONDS
  RECORDER_ARCH="$arch" timeout -k 10 900 bash "$repo/scripts/test-env.sh" \
    bash "$repo/scripts/test-packages.sh" --inside "$arch"
  code=$?
  elapsed=$((SECONDS - started))
  what="MSI install, run, upgrade, uninstall; zip in a non-ASCII folder"
  [ "$arch" = win64 ] && what="$what; the 32-bit MSI into Program Files (x86); each MSI over the other"
  if [ "$code" = 0 ]; then
    results+=("packages: $arch: passed ($what) in ${elapsed} s")
  else
    results+=("packages: $arch: FAILED (exit code $code) in ${elapsed} s")
    status=1
  fi
done
for line in "${results[@]}"; do echo "$line"; done
exit $status
