#!/usr/bin/env bash
# Builds the Debian package of Vornask: a Release build with Debian's hardening flags in
# BUILD_DIR (default build-package/), then cpack puts vornask_VERSION_ARCH.deb there.
# Usage: scripts/package.sh [BUILD_DIR]     (./run package calls it)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-package}
scripts/install-deps.sh --run-only --package

flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DVORNASK_TESTS=OFF -DVORNASK_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/vornask_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/vornask_*.deb)
lintian --fail-on error "$deb"
echo "Install it with: sudo apt install ./$deb"
