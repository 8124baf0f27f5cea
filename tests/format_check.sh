#!/usr/bin/env bash
# Fails when clang-format would change a C++ source of the tree, and names the files.
# Usage: format_check.sh SOURCE_DIR
set -euo pipefail
cd "$1"
mapfile -t files < <(find src tests bench -name '*.cpp' -o -name '*.h' | sort)
unformatted=()
for f in "${files[@]}"; do
    clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || unformatted+=("$f")
done
if [ ${#unformatted[@]} -ne 0 ]; then
    echo "clang-format would change (run clang-format -i on them):"
    printf '  %s\n' "${unformatted[@]}"
    exit 1
fi
echo "${#files[@]} files formatted"
