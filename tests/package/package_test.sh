#!/usr/bin/env bash
# Packs the built tree with the package's CPack settings and checks the .deb as a user would
# meet it: its files, its dependencies, lintian, the AppStream metadata and the program's
# version once unpacked. Skipped (77) where the Debian tools are missing.
# Usage: package_test.sh BUILD_DIR SCRATCH_DIR VERSION
set -euo pipefail
build=$1 scratch=$2 version=$3

for tool in dpkg-deb dpkg-shlibdeps lintian appstreamcli; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is missing (scripts/install-deps.sh installs it)"
        exit 77
    fi
done

rm -rf "$scratch"
mkdir -p "$scratch"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" ||
    { cat "$scratch/cpack.log"; exit 1; }
deb=$(echo "$scratch"/out/vornask_"$version"-*_*.deb)
[ -f "$deb" ] || { echo "FAIL: no package vornask_$version-*.deb in $scratch/out"; exit 1; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' >"$scratch/files"
expected=(
    usr/bin/vornask
    usr/share/vornask/help/index.html
    usr/share/applications/vornask.desktop
    usr/share/icons/hicolor/scalable/apps/vornask.svg
    usr/share/metainfo/org.quorvat.Vornask.metainfo.xml
    usr/share/man/man1/vornask.1.gz
    usr/share/doc/vornask/copyright
    usr/share/doc/vornask/changelog.Debian.gz
    usr/share/doc/vornask/README.md.gz
)
for size in 16 22 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/vornask.png")
done
for path in "${expected[@]}"; do
    grep -qx "$path" "$scratch/files" || fail "the package lacks $path"
done

# dpkg-shlibdeps found the linked libraries; the plugins Qt loads are listed by hand.
depends=$(dpkg-deb -f "$deb" Depends)
for dependency in libqt6widgets6 libssl3 qt6-qpa-plugins; do
    [[ $depends == *"$dependency"* ]] || fail "Depends lacks $dependency: $depends"
done

lintian --fail-on error "$deb" 2>/dev/null || fail "lintian reports errors"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
metainfo=$root/usr/share/metainfo/org.quorvat.Vornask.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "the AppStream metadata is not valid"
# The metadata names the menu entry the package ships.
launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
[ -f "$root/usr/share/applications/$launchable" ] ||
    fail "the metadata launches '$launchable', which the package does not ship"
# The manual page documents the check without a window, its statuses, files and environment.
man_page=$(gzip -dc "$root/usr/share/man/man1/vornask.1.gz") || fail "the manual page is no gzip file"
for line in '.B \-\-check' '.B \-\-password\-stdin' '.SH EXIT STATUS' '.B BROWSER' \
    '.I ~/.config/autostart/vornask.desktop'; do
    grep -qxF -- "$line" <<<"$man_page" || fail "the manual page lacks the line $line"
done
if grep -q "never stored" <<<"$man_page"; then fail "the manual page says 'never stored'"; fi

got=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/vornask" --version) ||
    fail "the unpacked program's --version failed"
[ "$got" = "vornask $version" ] || fail "the unpacked program says '$got', not 'vornask $version'"

[ "$failures" -eq 0 ] && echo "package $(basename "$deb"): as expected"
exit $((failures != 0))
