#!/usr/bin/env bash
# Builds the Debian package: a Release build with the flags Debian builds its own
# packages with, cpack -G DEB, then lintian on the result. Ends by printing the
# path of the .deb (install it with `sudo apt install ./<path>`).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-2}
build=${BUILD_DIR:-build-package}
if [ "$(id -u)" = 0 ] || command -v sudo >/dev/null; then
  scripts/install-deps.sh
fi

echo "== build ($build) =="
# Fortified, with stack protector, full RELRO and PIE, as lintian expects.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
# Given on the command line, not through the environment, so that a build
# folder configured before takes them too; CPPFLAGS holds -D_FORTIFY_SOURCE.
# Prefix /usr: the decoder module goes to Debian's multiarch library folder
# (/usr/lib/x86_64-linux-gnu/tavorine-mov), where no ldconfig call is needed.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAVORINE_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_CXX_FLAGS="$CPPFLAGS $CXXFLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" -DCMAKE_MODULE_LINKER_FLAGS="$LDFLAGS" >/dev/null
cmake --build "$build" -j"$jobs"

echo "== cpack =="
rm -f "$build"/*.deb
cpack --config "$build"/CPackConfig.cmake -B "$build" -G DEB
debs=("$build"/*.deb)
deb=${debs[0]}

echo "== lintian =="
lintian --fail-on error "$deb"

echo "$deb"
