#!/usr/bin/env bash
# Runs a command on a private D-Bus session bus with its own unlocked desktop keyring
# (gnome-keyring's Secret Service), in a private home, and ends both afterwards:
#
#   keyring-session.sh [--no-keyring | --locked] COMMAND [ARGS...]
#
# The bus starts no services on demand: with the system's service files it would start an
# untracked keyring daemon of its own. With --no-keyring the bus has no Secret Service at all.
# With --locked the keyring holds a login collection (and one item) but is started without its
# password, as after a login that did not unlock it; with no prompter on the bus, anything
# that needs it unlocked fails at once.
# The command sees VORNASK_KEYRING=present, absent or locked, and its exit status is the script's.
set -uo pipefail

mode=present
case ${1-} in
--no-keyring) mode=absent && shift ;;
--locked) mode=locked && shift ;;
esac
[[ $# -ge 1 ]] || {
    echo "usage: keyring-session.sh [--no-keyring | --locked] COMMAND [ARGS...]" >&2
    exit 2
}

dir=$(mktemp -d "${TMPDIR:-/tmp}/vornask-keyring-XXXXXX") || exit 1
bus_pid='' keyring_pid=''
cleanup() {
    [[ -n $keyring_pid ]] && kill "$keyring_pid" 2>/dev/null
    [[ -n $bus_pid ]] && kill "$bus_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT

export HOME=$dir/home XDG_RUNTIME_DIR=$dir/run XDG_DATA_HOME=$dir/data
export XDG_CONFIG_HOME=$dir/config XDG_CACHE_HOME=$dir/cache
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
chmod 700 "$XDG_RUNTIME_DIR"

cat >"$dir/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$dir</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
# The bus prints its address into a pipe once it listens: read as soon as it is there.
mkfifo "$dir/address"
dbus-daemon --config-file="$dir/bus.conf" --nofork --print-address=3 3>"$dir/address" \
    </dev/null >/dev/null 2>"$dir/bus.log" &
bus_pid=$!
read -r -t 10 DBUS_SESSION_BUS_ADDRESS <"$dir/address" ||
    { echo "keyring-session.sh: no session bus" >&2; exit 1; }
export DBUS_SESSION_BUS_ADDRESS

# start_keyring [--unlock]: the daemon, waited for until it owns the Secret Service name.
start_keyring() {
    printf 'vornask-test' | gnome-keyring-daemon --foreground "$@" --components=secrets \
        >>"$dir/keyring.log" 2>&1 &
    keyring_pid=$!
    gdbus wait --session --timeout 10 org.freedesktop.secrets ||
        { echo "keyring-session.sh: the keyring did not start" >&2;
          cat "$dir/keyring.log" >&2; exit 1; }
}

# Locks the login collection, as a desktop does on a locked screen; no prompt is needed.
lock_keyring() {
    gdbus call --session --dest org.freedesktop.secrets \
        --object-path /org/freedesktop/secrets --method org.freedesktop.Secret.Service.Lock \
        "['/org/freedesktop/secrets/collection/login']" >/dev/null
}

# Stores the probe item: the unlocked daemon writes the login collection to disk with it.
probe() {
    timeout 10 secret-tool "$@" service vornask-keyring-session key probe
}

case $mode in
present) start_keyring --unlock ;;
locked)
    start_keyring --unlock
    printf 'probe' | probe store --label=probe || { echo "keyring-session.sh: no probe item" >&2; exit 1; }
    lock_keyring
    if probe lookup >/dev/null 2>&1; then
        echo "keyring-session.sh: the keyring is not locked" >&2
        exit 1
    fi
    ;;
esac
export VORNASK_KEYRING=$mode

"$@"
status=$?
exit $status
