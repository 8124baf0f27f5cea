#!/usr/bin/env bash
# Installs the Debian packages Vornask needs to build, run and test, if any are missing.
#
#   install-deps.sh              everything: build, run and test
#   install-deps.sh --run-only   only what building and running Vornask needs
#   install-deps.sh --demo       with --run-only: also what ./run demo needs (a local POP3 server)
#   install-deps.sh --package    with --run-only: also what ./run package needs
#   install-deps.sh --list       print the packages wanted instead of installing them
set -euo pipefail

run_only=false demo=false package=false list=false
for arg in "$@"; do
    case $arg in
        --run-only) run_only=true ;;
        --demo) demo=true ;;
        --package) package=true ;;
        --list) list=true ;;
        *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
    esac
done

packages=(
    g++ cmake ninja-build pkg-config make
    qt6-base-dev libxkbcommon-dev fonts-dejavu-core
    libglib2.0-dev libcanberra-dev libasound2-dev alsa-utils
    libssl-dev openssl
    qtkeychain-qt6-dev libsecret-1-0 xdg-utils
    libgtest-dev libgmock-dev clang-format
    dovecot-core dovecot-pop3d dovecot-imapd
    sox xvfb xauth xdotool trayer openbox imagemagick x11-utils dbus gnome-keyring libsecret-tools
    python3 python3-gi python3-dbus
    util-linux procps iproute2
    dpkg-dev lintian appstream file librsvg2-bin
)
if $run_only; then
    packages=(g++ cmake ninja-build pkg-config qt6-base-dev libxkbcommon-dev fonts-dejavu-core
              libglib2.0-dev libcanberra-dev libasound2-dev libssl-dev openssl
              qtkeychain-qt6-dev libsecret-1-0 xdg-utils)
fi
# The demo runs its own Dovecot in a private network namespace.
if $demo; then
    packages+=(dovecot-core dovecot-pop3d dovecot-imapd iproute2 util-linux)
fi
# The package: dpkg-shlibdeps and the hardening flags, the icon's PNGs, and the checks.
if $package; then
    packages+=(dpkg-dev lintian appstream file librsvg2-bin)
fi
if $list; then
    echo "${packages[*]}"
    exit 0
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
