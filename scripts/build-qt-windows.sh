#!/usr/bin/env bash
# Builds the Qt 6.4.2 kit for the Windows cross-build (Core, Gui, Widgets, Test
# as DLLs, MinGW-w64 posix threads) from Debian's own qt6-base 6.4.2+dfsg-10
# source, so the project never depends on a binary it cannot remake.
#
#   scripts/build-qt-windows.sh [options] [OUT]
#     OUT              output folder (env OUT; default build-qt-windows/ under the
#                      checkout). The kit lands in OUT/qt6-mingw.
#     -j, --jobs N     parallel compile jobs (env JOBS; default nproc)
#     --pack           also write OUT/qt6-mingw-6.4.2.tar.xz
#     --force          reconfigure from scratch, rebuild and reinstall even if the
#                      kit is already there (ninja keeps objects whose command did
#                      not change; remove OUT/qt6-build for a clean build)
#     --configure-only stop after configuring (to look at the feature summary)
#   env DEBIAN_MIRROR  archive to fetch the source from (default
#                      http://deb.debian.org/debian; once the version has left
#                      bookworm, a snapshot.debian.org/archive/debian/<date>/ URL)
#   env DEBIAN_SUITE   the suite holding that version (default bookworm)
#
# About 50 minutes on 2 cores. Rerunning reuses the downloaded and extracted
# source and the compiled objects; a complete kit is not rebuilt without --force.
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")/.."
repo=$PWD

qt_version=6.4.2
src_version=6.4.2+dfsg-10
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
suite=${DEBIAN_SUITE:-bookworm}
toolchain=$repo/cmake/mingw-w64-x86_64-posix.cmake

out=${OUT:-$repo/build-qt-windows}
jobs=${JOBS:-$(nproc)}
force=0
pack=0
configure_only=0
while [ $# -gt 0 ]; do
  case $1 in
    -j|--jobs) jobs=${2:?--jobs needs a number}; shift ;;
    -j*) jobs=${1#-j} ;;
    --jobs=*) jobs=${1#--jobs=} ;;
    --force) force=1 ;;
    --pack) pack=1 ;;
    --configure-only) configure_only=1 ;;
    -h|--help) awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"; exit 0 ;;
    -*) echo "build-qt-windows: unknown option $1" >&2; exit 2 ;;
    *) out=$1 ;;
  esac
  shift
done
out=$(cd "$caller" && realpath -m "$out")
# Folders of the checkout that git does not ignore can get reformatted along
# with the project's sources.
if [[ $out/ == "$repo"/* ]]; then
  ignored=0
  git check-ignore -q "$out/" 2>/dev/null || ignored=$?
  [ $ignored -ne 1 ] || echo "build-qt-windows: warning: git does not ignore $out (it ignores build-qt-windows/): tools run over the checkout may rewrite its sources" >&2
fi
srcroot=$out/src
src=$srcroot/qt6-base-${src_version%-*}
build=$out/qt6-build
kit=$out/qt6-mingw
tarball=$out/qt6-mingw-$qt_version.tar.xz
say() { echo "build-qt-windows: $*"; }

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

# 1. Host packages (only the missing ones, as in install-deps.sh). qt6-base-dev
# provides moc/rcc/uic and the host CMake packages the cross-build uses.
packages=(g++-mingw-w64-x86-64-posix mingw-w64-tools ninja-build cmake qt6-base-dev
  dpkg-dev xz-utils debian-archive-keyring)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  say "installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# The target Qt takes its tools and host CMake packages from /usr: they must be
# the same Qt release.
host_qt=$(dpkg-query -W -f='${Version}' qt6-base-dev)
case $host_qt in
  "$qt_version"+*) ;;
  *) echo "build-qt-windows: the host's qt6-base-dev is $host_qt, not $qt_version" >&2; exit 1 ;;
esac

kit_complete() {
  # The toolchain file is copied last: its presence means the install finished.
  [ -f "$kit/bin/Qt6Core.dll" ] && [ -f "$kit/lib/cmake/Qt6/Qt6Config.cmake" ] &&
    [ -f "$kit/bin/libwinpthread-1.dll" ] && [ -f "$kit/mingw-w64-x86_64-posix.cmake" ]
}

if [ $force -eq 0 ] && [ $configure_only -eq 0 ] && kit_complete; then
  say "kit already installed in $kit (--force rebuilds it)"
else
  # 2. Debian's source at exactly $src_version. A private sources list, list
  # and cache folders keep the system's apt configuration untouched; apt checks
  # the archive's signature and every file's hash, dpkg-source -x the .dsc's
  # checksums (and its signature when debian-keyring is installed).
  if [ ! -d "$src" ]; then
    aptdir=$out/apt
    mkdir -p "$aptdir/sources.list.d" "$aptdir/lists/partial" "$aptdir/cache/archives/partial" "$srcroot"
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $suite main" \
      >"$aptdir/sources.list"
    apt_opts=(-o "Dir::Etc::SourceList=$aptdir/sources.list" -o "Dir::Etc::SourceParts=$aptdir/sources.list.d"
      -o "Dir::State::Lists=$aptdir/lists" -o "Dir::Cache=$aptdir/cache"
      # apt would otherwise download as _apt, which cannot write to these folders.
      -o "APT::Sandbox::User=$(id -un)")
    say "fetching qt6-base $src_version from $mirror"
    apt-get "${apt_opts[@]}" update -qq
    (cd "$srcroot" && apt-get "${apt_opts[@]}" source --download-only -qq "qt6-base=$src_version")
    rm -rf "$src.partial"
    dpkg-source --require-strong-checksums -x "$srcroot/qt6-base_$src_version.dsc" "$src.partial"
    mv "$src.partial" "$src"
  else
    say "reusing the source in $src"
  fi

  # 3. Configure, build, install.
  opts=(
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX="$kit" -DQT_HOST_PATH=/usr
    # Debian keeps the host Qt's CMake packages here, not under /usr/lib/cmake.
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=OFF -DFEATURE_pkg_config=OFF
    -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_xml=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_icu=OFF -DFEATURE_zstd=OFF -DFEATURE_jpeg=OFF
    # No MinGW builds of these on Debian: Qt's bundled copies.
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_freetype=OFF
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_doubleconversion=OFF
    # Debian's source drops src/3rdparty/wintab, which tablet events include; with
    # Direct2D off, DirectWrite 3 must be off too or qwindows.dll fails to link.
    -DFEATURE_tabletevent=OFF -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF
    -DFEATURE_androiddeployqt=OFF
  )
  fresh=()
  first=1
  if [ -f "$build/CMakeCache.txt" ]; then
    if [ $force -eq 1 ]; then fresh=(--fresh); else first=0; fi
  fi
  say "configuring in $build"
  mkdir -p "$out"
  cmake "${fresh[@]}" -G Ninja -S "$src" -B "$build" "${opts[@]}" 2>&1 | tee "$out/configure.log"
  # A first configure stores install folders as "./plugins", "./doc"...; any
  # later one rewrites them as "plugins", "doc" and Qt6Core.dll embeds them.
  # Configuring twice builds the same kit whether or not a run was resumed,
  # with the names the shared kit has.
  [ $first -eq 0 ] || cmake -S "$src" -B "$build" >>"$out/configure.log" 2>&1
  if [ $configure_only -eq 1 ]; then
    say "configured; log in $out/configure.log"
    exit 0
  fi

  say "building with $jobs jobs"
  ninja -C "$build" -j"$jobs"
  # Staged and moved into place, so a kit folder is never half installed and
  # holds exactly this build's files.
  stage=$out/stage
  rm -rf "$stage" "$tarball"
  DESTDIR=$stage cmake --install "$build" >/dev/null
  rm -rf "$kit"
  mv "$stage$kit" "$kit"
  rm -rf "$stage"
  # Debian's runtime DLLs carry debug information (libstdc++-6.dll is 23 MB);
  # stripped as in the shared kit, they are 2 MB.
  for dll in /usr/lib/gcc/x86_64-w64-mingw32/12-posix/libstdc++-6.dll \
    /usr/lib/gcc/x86_64-w64-mingw32/12-posix/libgcc_s_seh-1.dll \
    /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll; do
    x86_64-w64-mingw32-strip --strip-unneeded -o "$kit/bin/${dll##*/}" "$dll"
  done
  cp "$toolchain" "$kit/"
  say "installed the kit in $kit"
fi

# 4. The kit as one archive, laid out like ../shared/windows/qt6-mingw-6.4.2.tar.xz.
if [ $pack -eq 1 ]; then
  if [ -f "$tarball" ] && [ $force -eq 0 ]; then
    say "archive already there: $tarball"
  else
    tar -C "$out" --sort=name --owner=root:0 --group=root:0 -cf - qt6-mingw |
      xz -T"$jobs" -9 >"$tarball.partial"
    mv "$tarball.partial" "$tarball"
    say "packed $tarball ($(du -h "$tarball" | cut -f1))"
  fi
fi
