#!/usr/bin/env bash
# Installs every Debian package the project needs: build, tests, demo, screenshots,
# packaging; with --windows also what the Windows build and its check need.
# Idempotent: packages already present are skipped, and apt-get update runs only
# when something has to be installed.
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config qt6-base-dev libgl-dev libjpeg-dev libgtest-dev libcli11-dev
  # first-frame previews of recovered videos
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  # Qt's own dialogs and buttons in Chinese
  qt6-translations-l10n
  # test media and images
  ffmpeg dosfstools mtools ntfs-3g fuse3 exfatprogs exfat-fuse time python3 bc
  # a medium with failing sectors (FUSE) for the read-error tests
  python3-fusepy
  # screenshots
  xvfb xauth x11-apps imagemagick fonts-wqy-microhei
  # formatting
  clang-format
  # fuzzing (scripts/fuzz.sh): clang 16 and its libFuzzer and sanitizer runtimes
  clang-16 libclang-rt-16-dev
  # packaging (scripts/package.sh, the install test): manual pages, .deb, validators
  help2man dpkg-dev lintian desktop-file-utils appstream man-db groff-base librsvg2-bin
)

# scripts/windows-check.sh: the cross compilers, Wine and NSIS.
if [ "${1:-}" = "--windows" ]; then
  packages+=(g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 wine ninja-build nsis zip unzip)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "install-deps: done"
