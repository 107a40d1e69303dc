#!/usr/bin/env bash
# Times one update run of update_bench against perl -pi and GNU sed -i on
# the same corpus, side by side, in a tmpfs folder, and prints the ratios.
#
#   bench/compare.sh [BUILD_DIR] [COUNT]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
count=${2:-2000}
bench="$build/bench/update_bench"
[ -x "$bench" ] || { echo "build $bench first (make build)" >&2; exit 1; }

root=$(mktemp -d /dev/shm/vantrel-bench.XXXXXX)
trap 'rm -rf "$root"' EXIT
python3 bench/make_corpus.py "$root/corpus" "$count"
for copy in vantrel perl sed; do cp -r "$root/corpus" "$root/$copy"; done
bytes=$(du -sb "$root/corpus" | cut -f1)
echo "corpus: $count documents, $bytes bytes, in $root (tmpfs)"

now() { date +%s.%N; }
seconds() { echo "$2 - $1" | bc -l; }

start=$(now)
LC_ALL=C.UTF-8 "$bench" "$root/vantrel" acme Zenith
vantrel=$(seconds "$start" "$(now)")

start=$(now)
(cd "$root/perl" && LC_ALL=C.UTF-8 perl -pi.bac -e 's/acme/Zenith/i' -- *)
perl=$(seconds "$start" "$(now)")

start=$(now)
(cd "$root/sed" && LC_ALL=C.UTF-8 sed -i.bac 's/acme/Zenith/I' -- *)
sed=$(seconds "$start" "$(now)")

/usr/bin/time -f "peak memory of one update run: %M KiB" \
  env LC_ALL=C.UTF-8 "$bench" "$root/corpus" acme Zenith >/dev/null
largest=$(find "$root/corpus" -type f -printf '%s\n' | sort -n | tail -1)
echo "largest document: $largest bytes; limit 3 x largest + 16 MiB = $(( (3 * largest + 16 * 1048576) / 1024 )) KiB"

printf 'update_bench %.3f s   perl -pi %.3f s   sed -i %.3f s\n' "$vantrel" "$perl" "$sed"
printf 'ratio to perl %.2f (target <= 0.50)   ratio to sed %.2f (target <= 0.33)\n' \
  "$(echo "$vantrel / $perl" | bc -l)" "$(echo "$vantrel / $sed" | bc -l)"
