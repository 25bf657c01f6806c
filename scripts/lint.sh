#!/usr/bin/env bash
# clang-tidy (.clang-tidy) over every source of the project in a build's compile
# database; fails on any finding. A finding that stays is suppressed where it stands,
# with its reason: `// NOLINT(check-name): why`.
#   scripts/lint.sh [build dir]      (default: build)
# JOBS sets the parallel clang-tidy runs (default: the number of processors).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
jobs=${JOBS:-$(nproc)}
[[ -f $build/compile_commands.json ]] || {
    echo "lint: $build/compile_commands.json is missing (configure the build first)" >&2
    exit 2
}
runner=$(command -v run-clang-tidy || command -v run-clang-tidy-14 || true)
[[ -n $runner ]] || {
    echo "lint: run-clang-tidy not found (scripts/install-deps.sh installs clang-tidy)" >&2
    exit 2
}
root=$(pwd)
# clang-tidy cannot read gcc's precompiled headers: it gets the compile database without
# them (each file then includes what it names, as without precompiled headers).
db=$build/lint-db
mkdir -p "$db"
sed -E 's# -include [^ "]*cmake_pch\.hxx##g; s# -Winvalid-pch##g; s# -Xclang -include-pch -Xclang [^ "]*##g' \
    "$build/compile_commands.json" >"$db/compile_commands.json"
# Only the project's own sources: not the generated moc and resource files of the build.
# Headers count when they are the project's, not the build's (moc output, generated).
"$runner" -p "$db" -j "$jobs" -quiet -header-filter="^$root/(src|tests|bench|fuzz)/" \
    "^$root/(src|tests|bench|fuzz)/.*\.cpp$" 2>&1 | sed 's/\x1b\[[0-9;]*m//g' >"$build/clang-tidy.log" || true
findings=$(grep -E '^/.*: (warning|error): |^Error while processing' "$build/clang-tidy.log" | sort -u || true)
if [[ -n $findings ]]; then
    echo "$findings"
    echo "lint: $(echo "$findings" | wc -l) clang-tidy findings (full output: $build/clang-tidy.log)" >&2
    exit 1
fi
echo "clang-tidy: no findings."
