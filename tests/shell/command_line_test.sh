#!/usr/bin/env bash
# The command line of the real program, with no display: what each call prints, where, and
# its exit status. Usage: command_line_test.sh VORNASK VERSION
set -uo pipefail
vornask=$1 version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

# expect STATUS STDOUT_PATTERN STDERR_PATTERN ARGUMENTS...  (patterns are grep -E; "" means empty)
# Standard input is $input, else empty.
expect() {
    local status=$1 out=$2 err=$3
    shift 3
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$vornask" "$@" \
        >"$scratch/out" 2>"$scratch/err" <"${input:-/dev/null}"
    local got=$?
    local ok=true
    [ "$got" -eq "$status" ] || ok=false
    for stream in out err; do
        local pattern=${!stream}
        if [ -z "$pattern" ]; then
            [ ! -s "$scratch/$stream" ] || ok=false
        else
            grep -Eq -- "$pattern" "$scratch/$stream" || ok=false
        fi
    done
    if ! $ok; then
        echo "FAIL: vornask $* exited $got (wanted $status)"
        echo "  stdout: $(cat "$scratch/out")"
        echo "  stderr: $(cat "$scratch/err")"
        failures=$((failures + 1))
    fi
}

expect 0 "^vornask $version\$" "" --version
expect 0 "^vornask $version\$" "" -v
expect 0 "^Usage: vornask \[options\]" "" --help
expect 0 "--style <style>" "" --help-all
# Qt's own options are left to the toolkit, not refused.
expect 0 "^vornask $version\$" "" -platform offscreen -style=fusion -reverse --version
expect 2 "" "^vornask: Unknown option 'bogus'\.\$" --bogus
expect 2 "" "^vornask: Unknown option 'bogus'\.\$" --version --bogus
expect 2 "" "^vornask: Unexpected argument 'inbox'\.\$" inbox
expect 2 "" "Missing value after '-platform'" -platform
expect 2 "" "^vornask: Unexpected argument 'inbox'\.\$" --check inbox
expect 2 "" "^vornask: --password-stdin needs --check\.\$" --password-stdin
expect 2 "" "^vornask: --mailbox needs --check\.\$" --mailbox work

# A typed line that is too long or holds a NUL or a bare carriage return is refused before any
# check, in a home of its own with no settings.
printf 'sec\0ret\n' >"$scratch/nul"
printf 'sec\rret\n' >"$scratch/cr"
head -c 200000 /dev/zero | tr '\0' a >"$scratch/long"
mkdir -p "$scratch/home"
for case in "nul:holds a NUL character" "cr:holds a carriage return inside it" \
    "long:is longer than 64 KiB"; do
    HOME=$scratch/home XDG_CONFIG_HOME=$scratch/home input=$scratch/${case%%:*} \
        expect 1 "" "^The line on standard input ${case#*:}\.\$" --check --password-stdin
done

[ "$failures" -eq 0 ] && echo "command line: all calls as expected"
exit $((failures != 0))
