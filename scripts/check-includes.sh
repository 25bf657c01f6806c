#!/usr/bin/env bash
# Fails when a source under src/ includes a header of a layer above its own, or of
# another layer on the same level. Layers, lowest first:
#   document -> editing, search, finder, merge -> files, desktop, spelling -> editor, cli -> main
# The window (main) reaches the editor through its public header editor/editor.h only.
# Usage: scripts/check-includes.sh [source root]   (default: the repository's src/)
set -euo pipefail
root=${1:-"$(cd "$(dirname "$0")/.." && pwd)/src"}

declare -A rank=([document]=0 [editing]=1 [search]=1 [finder]=1 [merge]=1 [files]=2 [editor]=3 [cli]=3 [main]=4)
# The desktop around the window (tray, hiding, signals, shell) sits beside files: main may
# include it, and it includes neither main nor files.
rank[desktop]=${rank[files]}
# Spell checking (Hunspell, no Qt) sits beside files too: the editor and lkp use it.
rank[spelling]=${rank[files]}

bad=0
while IFS= read -r -d '' file; do
    layer=${file#"$root"/}
    layer=${layer%%/*}
    own=${rank[$layer]:-}
    [[ -z $own ]] && continue
    lineno=0
    while IFS= read -r line; do
        lineno=$((lineno + 1))
        [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([a-z_]+)/ ]] || continue
        target=${BASH_REMATCH[1]}
        theirs=${rank[$target]:-}
        [[ -z $theirs || $target == "$layer" ]] && continue
        if [[ $layer == main && $target == editor && ! $line =~ \"editor/editor\.h\" ]]; then
            echo "${file#"$root"/}:$lineno: main reaches the editor through editor/editor.h only (${line#*#include })"
            bad=1
            continue
        fi
        if [[ $theirs -ge $own ]]; then
            echo "${file#"$root"/}:$lineno: $layer must not include $target (${line#*#include })"
            bad=1
        fi
    done <"$file"
done < <(find "$root" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.h.in' \) -print0 | sort -z)

if [[ $bad -ne 0 ]]; then
    echo "Includes run against the layers: document -> editing, search, finder, merge -> files, desktop, spelling -> editor, cli -> main" >&2
    exit 1
fi
echo "Includes follow the layers."
