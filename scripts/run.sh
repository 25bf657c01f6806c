#!/usr/bin/env bash
# Starts the program from a build directory: the window when it was built, else lkp.
set -euo pipefail
build=${1:-build}
shift || true
if [ -x "$build/larkpad" ]; then
  exec "$build/larkpad" "$@"
fi
exec "$build/lkp" --help
