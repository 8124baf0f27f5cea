#!/usr/bin/env bash
# Runs Vornask against a throw-away local POP3 server: a dozen sample messages, a kill list
# that condemns the spam among them, a deletion log, and a hive of its own. Nothing of the
# user's own settings is touched, and everything is removed when Vornask exits.
#
#   scripts/demo.sh VORNASK_BINARY
#
# The server speaks TLS on port 995 with a throw-away certificate, which the demo's settings
# trust by its fingerprint; plain POP3 (and STLS) stay on port 110. Only root may open these
# ports, so the server and Vornask share a private network namespace (as a normal user, inside a
# user namespace that maps back to the user's own id), where they are theirs alone.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
user=demo
password=letmein

inner() {
    local work=$1
    ip link set lo up 2>/dev/null || true
    local server=$work/server
    mkdir -p "$server"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 \
        -addext subjectAltName=IP:127.0.0.1 -keyout "$work/demo.key" -out "$work/demo.pem" \
        2>/dev/null
    chmod 644 "$work/demo.key"
    VORNASK_DOVECOT_OWNER=$$ bash "$here/../tests/support/dovecot-instance.sh" \
        start "$server" 110 "$user" "$password" --tls 995 "$work/demo.pem" "$work/demo.key" \
        >/dev/null
    # shellcheck disable=SC2064 # the paths are fixed now; the function's locals are gone at exit
    trap "bash '$here/../tests/support/dovecot-instance.sh' stop '$server' >/dev/null 2>&1 || true" EXIT
    local message
    for message in "$here"/demo-mail/*.eml; do
        bash "$here/../tests/support/dovecot-instance.sh" deliver "$server" "$user" "$message" \
            >/dev/null
    done
    write_hive "$work"
    cat <<TEXT

  Vornask demo: a local POP3 server holds 12 messages for "$user", 5 of them spam.
  Vornask reaches it over TLS (port 995) and trusts its throw-away certificate by fingerprint:
  Options > Mail Options > Connection shows how, and "Test connection" what the server offers.
  The kill list condemns the spam; deleted messages are logged to
      $work/deleted-messages.log

  In the small "Vornask" window, type the password   $password   and press Hide (or Enter).
  Vornask goes to the tray, checks at once and deletes the spam; a box tells you how many
  messages are left, and the tray icon's tooltip says "You have mail!". It checks again every
  minute, so while mail waits the box comes back once a minute.
  A right click on the tray icon checks again; a left click brings the window back.
  Options > Kill list and Options > Mail Options show the demo's settings.
  To end the demo, left-click the tray icon to bring the window back, then close it
  (Options > Exit, or Alt+F4); the demo's files are then removed.

TEXT
    local status=0
    XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache "$binary" || status=$?
    if [[ -s $work/deleted-messages.log ]]; then
        echo "  The deletion log held $(grep -c '^\[Message has been deleted at ' \
            "$work/deleted-messages.log") record(s)."
    fi
    echo "  Messages left on the server: $(bash "$here/../tests/support/dovecot-instance.sh" \
        count "$server" "$user")"
    return $status
}

write_hive() {
    local work=$1
    mkdir -p "$work/config/vornask"
    cat >"$work/config/vornask/registry.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Quorvat\\Vornask]
"SMTP host"="127.0.0.1"
"User"="$user"
"Mail Program"=""
"Log File"="$work/deleted-messages.log"
"Interval"=dword:00000001
"WavSound"=""
"ShowMessage"=dword:00000001
"Encryption"=dword:00000002
"Trusted certificate"="$(openssl x509 -in "$work/demo.pem" -noout -fingerprint -sha256 | cut -d= -f2)"

[HKEY_CURRENT_USER\\Software\\Quorvat\\Vornask\\Kill list]
"0"="Subject: = Cheap"
"1"="Subject: = cheap"
"2"="Subject: = WINNER"
"3"="From: = @promo-"
REG
}

if [[ ${1:-} == --inner ]]; then
    shift
    binary=$1
    inner "$2"
    exit
fi

binary=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/vornask-demo.XXXXXX")
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
if [[ $(id -u) -eq 0 ]]; then
    unshare --net -- bash "$0" --inner "$binary" "$work"
else
    # Inside the new user namespace we are root only long enough to open low ports to all, then
    # map back to our own id so the display and the session bus still know us.
    unshare --user --map-root-user --net -- bash -c '
        echo 0 >/proc/sys/net/ipv4/ip_unprivileged_port_start
        ip link set lo up
        exec unshare --user --map-user="$1" --map-group="$2" -- bash "$3" --inner "$4" "$5"
    ' demo "$(id -u)" "$(id -g)" "$0" "$binary" "$work"
fi
