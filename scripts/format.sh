#!/usr/bin/env bash
# Formats every tracked C++ source under src, tests, bench and fuzz with .clang-format.
#   scripts/format.sh           rewrites the files in place
#   scripts/format.sh --check   changes nothing; lists the files that are not formatted
#                               and fails when there is one
# CLANG_FORMAT names the binary (default: clang-format).
set -euo pipefail
cd "$(dirname "$0")/.."
clang_format=${CLANG_FORMAT:-clang-format}
check=0
case ${1:-} in
    --check) check=1 ;;
    "") ;;
    *)
        echo "usage: scripts/format.sh [--check]" >&2
        exit 2
        ;;
esac
command -v "$clang_format" >/dev/null || {
    echo "format: $clang_format not found (scripts/install-deps.sh installs it)" >&2
    exit 2
}

mapfile -d '' files < <(git ls-files -z -- 'src/*.h' 'src/*.cpp' 'tests/*.h' 'tests/*.cpp' \
    'bench/*.h' 'bench/*.cpp' 'fuzz/*.h' 'fuzz/*.cpp')
if [[ $check -eq 0 ]]; then
    [[ ${#files[@]} -gt 0 ]] && "$clang_format" -i --style=file "${files[@]}"
    exit 0
fi

unformatted=()
for f in "${files[@]}"; do
    [[ -f $f ]] || continue
    "$clang_format" --style=file "$f" | cmp -s - "$f" || unformatted+=("$f")
done
if [[ ${#unformatted[@]} -gt 0 ]]; then
    echo "Not formatted (run scripts/format.sh):" >&2
    printf '  %s\n' "${unformatted[@]}" >&2
    exit 1
fi
echo "All ${#files[@]} sources are formatted."
