#!/usr/bin/env bash
# The demo with a stand-in for Vornask that writes where Vornask keeps its settings and its
# record of examined messages: afterwards nothing is left in the home folder or the temporary
# folder.
set -euo pipefail
if [[ $(id -u) -ne 0 ]] && ! unshare --user --map-root-user --net true 2>/dev/null; then
    echo "skipped: the demo needs user namespaces, which this machine does not allow" >&2
    exit 77
fi
demo=$(cd "$(dirname "$0")/../../scripts" && pwd)/demo.sh
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/home" "$scratch/tmp"
cat >"$scratch/vornask" <<'STANDIN'
#!/usr/bin/env bash
for folder in "${XDG_CONFIG_HOME:-$HOME/.config}" "${XDG_CACHE_HOME:-$HOME/.cache}"; do
    mkdir -p "$folder/vornask" && echo written >"$folder/vornask/stand-in"
done
STANDIN
chmod +x "$scratch/vornask"
env -u XDG_CONFIG_HOME -u XDG_CACHE_HOME HOME="$scratch/home" TMPDIR="$scratch/tmp" \
    bash "$demo" "$scratch/vornask" >/dev/null
left=$(find "$scratch/home" "$scratch/tmp" -mindepth 1)
if [[ -n $left ]]; then
    echo "the demo left behind:" >&2
    echo "$left" >&2
    exit 1
fi
