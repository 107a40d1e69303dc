#!/usr/bin/env bash
# Shows each window of the program under Xvfb and saves PNGs of it into
# docs/screenshots/.  Run through `make screenshots` (which builds first).
set -euo pipefail
cd "$(dirname "$0")/.."
out="$PWD/docs/screenshots"
mkdir -p "$out"
shopt -s nullglob
programs=()
for candidate in build/tools/screenshots/shots_*; do
  [ -f "$candidate" ] && [ -x "$candidate" ] && programs+=("$candidate")
done
if [ ${#programs[@]} -eq 0 ]; then
  echo "no screenshot programs built" >&2
  exit 1
fi
for program in "${programs[@]}"; do
  echo "running $program"
  xvfb-run -a -s "-screen 0 1024x768x24" "$program" "$out"
done
ls -l "$out"
