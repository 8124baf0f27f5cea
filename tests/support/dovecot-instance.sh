#!/usr/bin/env bash
# A private, throw-away Dovecot POP3 (and, when asked, IMAP) server for tests and demos.
#
#   dovecot-instance.sh start DIR PORT USER PASSWORD [OPTIONS]
#                                                      config, passwd and maildir live in DIR
#       --tls TLSPORT CERT KEY   ssl = yes: STLS on PORT and TLS on connect on TLSPORT
#       --ipv6                   listen on ::1 as well
#       --imap IMAPPORT          IMAP too, on IMAPPORT (STARTTLS there with --tls)
#       --oauth2 URL MECHS       SASL MECHS too ("xoauth2 oauthbearer" or one of them), tokens
#                                checked by POSTing them to the introspection URL (beside
#                                PLAIN and USER/PASS)
#   dovecot-instance.sh stop DIR                       SIGTERM, wait, make sure it is gone
#   dovecot-instance.sh deliver DIR USER FILE          drop FILE into the user's Maildir/new
#   dovecot-instance.sh count DIR USER                 messages in the user's maildir (new+cur)
#
# The server listens on 127.0.0.1:PORT only (PORT 110 works as root). Failed logins cost no
# growing penalty. When VORNASK_DOVECOT_OWNER names a process id, the server is also stopped
# as soon as that process is gone, so a crashed test cannot leave it running.
set -euo pipefail

MAIL_ID=5000  # as root the mail files must not belong to uid 0

# Debian installs the server programs in /usr/sbin, which a normal user's PATH leaves out.
PATH=$PATH:/usr/local/sbin:/usr/sbin:/sbin

die() {
    echo "dovecot-instance: $*" >&2
    exit 1
}

mail_owner() {
    if [[ $(id -u) -eq 0 ]]; then echo "$MAIL_ID:$MAIL_ID"; else echo "$(id -u):$(id -g)"; fi
}

# The oauth2 passdb's settings: Dovecot POSTs token=... and accepts {"active": true,
# "username": USER}.
write_oauth2_config() {
    local dir=$1 url=$2
    printf '%s\n' "introspection_mode = post" "introspection_url = $url" \
        "username_attribute = username" "active_attribute = active" "active_value = true" \
        >"$dir/oauth2.conf"
    chmod 644 "$dir/oauth2.conf"
}

write_config() {
    local dir=$1 port=$2 tls_port=$3 cert=$4 key=$5 addresses=$6 oauth2_url=$7 oauth2_mechs=$8
    local imap_port=$9 protocols=pop3
    [[ -z $imap_port ]] || protocols="pop3 imap"
    local mechanisms="plain login"
    [[ -z $oauth2_url ]] || mechanisms="plain login $oauth2_mechs"
    local uid gid
    IFS=: read -r uid gid <<<"$(mail_owner)"
    {
        cat <<EOF
protocols = $protocols
listen = $addresses
base_dir = $dir/run
state_dir = $dir/state
instance_name = vornask-$port-$$-$RANDOM
log_path = $dir/dovecot.log
info_log_path = $dir/dovecot.log
debug_log_path = $dir/dovecot.log
disable_plaintext_auth = no
auth_mechanisms = $mechanisms
auth_failure_delay = 0
login_greeting = Vornask test server ready.
first_valid_uid = 1
mail_location = maildir:~/Maildir
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $dir/passwd
}
userdb {
  driver = static
  args = uid=$uid gid=$gid home=$dir/mail/%u
}
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
EOF
        [[ $(id -u) -eq 0 ]] || echo "  chroot ="
        echo "}"
        if [[ -n $oauth2_url ]]; then
            echo "passdb {"
            echo "  driver = oauth2"
            echo "  mechanisms = $oauth2_mechs"
            echo "  args = $dir/oauth2.conf"
            echo "}"
        fi
        if [[ -n $tls_port ]]; then
            echo "ssl = yes"
            echo "ssl_cert = <$cert"
            echo "ssl_key = <$key"
        else
            echo "ssl = no"
        fi
        echo "service pop3-login {"
        echo "  inet_listener pop3 {"
        echo "    address = $addresses"
        echo "    port = $port"
        echo "  }"
        if [[ -n $tls_port ]]; then
            echo "  inet_listener pop3s {"
            echo "    address = $addresses"
            echo "    port = $tls_port"
            echo "    ssl = yes"
            echo "  }"
        fi
        [[ $(id -u) -eq 0 ]] || echo "  chroot ="
        echo "}"
        [[ -z $imap_port ]] || write_imap_service "$imap_port" "$addresses"
        if [[ $(id -u) -ne 0 ]]; then
            local me group
            me=$(id -un)
            group=$(id -gn)
            echo "default_internal_user = $me"
            echo "default_internal_group = $group"
            echo "default_login_user = $me"
        fi
    } >"$dir/dovecot.conf"
}

# The IMAP listener: plain IMAP (with STARTTLS when ssl is on) on its port, no IMAPS.
write_imap_service() {
    local port=$1 addresses=$2
    echo "service imap-login {"
    echo "  inet_listener imap {"
    echo "    address = $addresses"
    echo "    port = $port"
    echo "  }"
    echo "  inet_listener imaps {"
    echo "    port = 0"
    echo "  }"
    [[ $(id -u) -eq 0 ]] || echo "  chroot ="
    echo "}"
}

# Makes the user's maildir (new, cur, tmp) owned by the mail uid.
make_maildir() {
    local dir=$1 user=$2
    local maildir=$dir/mail/$user/Maildir
    mkdir -p "$maildir/new" "$maildir/cur" "$maildir/tmp"
    chown -R "$(mail_owner)" "$dir/mail"
    echo "$maildir"
}

# True once the server answers a connection with its "+OK" greeting.
greets() {
    local port=$1 line=""
    { exec 3<>"/dev/tcp/127.0.0.1/$port"; } 2>/dev/null || return 1
    read -r -t 2 line <&3 || true
    exec 3<&- 3>&-
    [[ $line == +OK* ]]
}

# Stops the server when the owning process is gone.
watch_owner() {
    local dir=$1 owner=$2 pid=$3
    (
        while kill -0 "$owner" 2>/dev/null && kill -0 "$pid" 2>/dev/null; do sleep 1; done
        kill -TERM "$pid" 2>/dev/null || true
    ) </dev/null >/dev/null 2>&1 &
}

cmd_start() {
    [[ $# -ge 4 ]] || die "usage: start DIR PORT USER PASSWORD [--tls TLSPORT CERT KEY] [--ipv6] [--oauth2 URL MECHS] [--imap IMAPPORT]"
    local dir=$1 port=$2 user=$3 password=$4
    local tls_port="" cert="" key="" addresses=127.0.0.1 oauth2_url="" oauth2_mechs="" imap_port=""
    shift 4
    while [[ $# -gt 0 ]]; do
        case $1 in
        --tls)
            [[ $# -ge 4 ]] || die "--tls needs TLSPORT CERT KEY"
            tls_port=$2 cert=$(realpath "$3") key=$(realpath "$4")
            shift 4
            ;;
        --ipv6)
            addresses="127.0.0.1, ::1"
            shift
            ;;
        --oauth2)
            [[ $# -ge 3 ]] || die "--oauth2 needs URL MECHS"
            oauth2_url=$2 oauth2_mechs=$3
            shift 3
            ;;
        --imap)
            [[ $# -ge 2 ]] || die "--imap needs IMAPPORT"
            imap_port=$2
            shift 2
            ;;
        *) die "unknown option $1" ;;
        esac
    done
    command -v dovecot >/dev/null || die "dovecot is not installed"
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd)
    chmod 755 "$dir"  # the mail processes run under another uid and must reach DIR
    rm -rf "$dir/run"  # a stale anvil socket costs seconds at start
    mkdir -p "$dir/run" "$dir/state"
    printf '%s:{PLAIN}%s\n' "$user" "$password" >"$dir/passwd"
    chmod 644 "$dir/passwd"
    make_maildir "$dir" "$user" >/dev/null
    [[ -z $oauth2_url ]] || write_oauth2_config "$dir" "$oauth2_url"
    write_config "$dir" "$port" "$tls_port" "$cert" "$key" "$addresses" "$oauth2_url" \
        "$oauth2_mechs" "$imap_port"
    dovecot -F -c "$dir/dovecot.conf" </dev/null >>"$dir/dovecot.out" 2>&1 &
    local pid=$!
    echo "$pid" >"$dir/dovecot.pid"
    [[ -n ${VORNASK_DOVECOT_OWNER:-} ]] && watch_owner "$dir" "$VORNASK_DOVECOT_OWNER" "$pid"
    local i
    for ((i = 0; i < 150; i++)); do
        if ! kill -0 "$pid" 2>/dev/null; then
            tail -n 20 "$dir/dovecot.out" "$dir/dovecot.log" >&2 2>/dev/null || true
            die "dovecot exited during start"
        fi
        greets "$port" && return 0
        sleep 0.1
    done
    cmd_stop "$dir"
    die "dovecot did not greet on port $port"
}

# True when PID is a live dovecot of ours (not a zombie, not a reused id).
is_our_dovecot() {
    local pid=$1 state
    [[ -r /proc/$pid/stat ]] || return 1
    state=$(awk '{print $3}' "/proc/$pid/stat")
    [[ $state != Z ]] || return 1
    grep -q dovecot "/proc/$pid/cmdline" 2>/dev/null
}

cmd_stop() {
    [[ $# -eq 1 ]] || die "usage: stop DIR"
    local dir=$1 pid i
    [[ -f $dir/dovecot.pid ]] || return 0
    pid=$(<"$dir/dovecot.pid")
    if is_our_dovecot "$pid"; then
        kill -TERM "$pid" 2>/dev/null || true
        for ((i = 0; i < 100; i++)); do
            is_our_dovecot "$pid" || break
            sleep 0.1
        done
        is_our_dovecot "$pid" && kill -KILL "$pid" 2>/dev/null || true
    fi
    rm -f "$dir/dovecot.pid"
}

cmd_deliver() {
    [[ $# -eq 3 ]] || die "usage: deliver DIR USER FILE"
    local dir=$1 user=$2 file=$3 maildir name
    maildir=$(make_maildir "$dir" "$user")
    # Names sort in delivery order, so the server numbers messages in that order.
    local seq=0
    [[ -f $dir/deliver.seq ]] && seq=$(<"$dir/deliver.seq")
    echo $((seq + 1)) >"$dir/deliver.seq"
    name=$(printf '%s.N%08d.vornask' "$(date +%s)" "$seq")
    cp "$file" "$maildir/tmp/$name"
    chmod 644 "$maildir/tmp/$name"
    chown "$(mail_owner)" "$maildir/tmp/$name"
    mv "$maildir/tmp/$name" "$maildir/new/$name"
    echo "$maildir/new/$name"
}

cmd_count() {
    [[ $# -eq 2 ]] || die "usage: count DIR USER"
    local maildir=$1/mail/$2/Maildir
    find "$maildir/new" "$maildir/cur" -maxdepth 1 -type f ! -name '.*' 2>/dev/null | wc -l
}

[[ $# -ge 1 ]] || die "usage: start|stop|deliver|count ..."
action=$1
shift
case $action in
start) cmd_start "$@" ;;
stop) cmd_stop "$@" ;;
deliver) cmd_deliver "$@" ;;
count) cmd_count "$@" ;;
*) die "unknown command $action" ;;
esac
