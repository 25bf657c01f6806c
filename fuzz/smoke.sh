#!/usr/bin/env bash
# Short, bounded libFuzzer run over unwrap+parse, seeded with the sample notebooks.
set -euo pipefail
fuzzer=$1
seeds=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$seeds"/* "$work"/ 2>/dev/null || true
"$fuzzer" -max_total_time="${FUZZ_SECONDS:-20}" -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 "$work"
