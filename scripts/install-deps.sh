#!/usr/bin/env bash
# Installs the Debian packages Vornask needs to build, run and test, if any are missing.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config make
    qt6-base-dev libxkbcommon-dev fonts-dejavu-core
    libglib2.0-dev libcanberra-dev libasound2-dev alsa-utils
    libssl-dev openssl
    libgtest-dev libgmock-dev
    dovecot-core dovecot-pop3d
    sox xvfb xauth xdotool trayer imagemagick x11-utils dbus
    python3 python3-gi python3-dbus
    util-linux procps
)
if [ "${1:-}" = "--run-only" ]; then
    packages=(g++ cmake ninja-build pkg-config qt6-base-dev libxkbcommon-dev fonts-dejavu-core
              libglib2.0-dev libcanberra-dev libasound2-dev libssl-dev openssl)
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
