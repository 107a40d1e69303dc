#!/usr/bin/env bash
# Times one update run of update_bench against perl -pi and GNU sed -i on
# the same corpus, side by side in a tmpfs folder, and prints the medians of
# ROUNDS rounds (each round on fresh copies) and their ratios.
#
#   bench/compare.sh [BUILD_DIR] [COUNT] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
count=${2:-2000}
rounds=${3:-5}
bench="$build/bench/update_bench"
[ -x "$bench" ] || { echo "build $bench first (make build)" >&2; exit 1; }

root=$(mktemp -d /dev/shm/vantrel-bench.XXXXXX)
trap 'rm -rf "$root"' EXIT
python3 bench/make_corpus.py "$root/corpus" "$count"
bytes=$(du -sb "$root/corpus" | cut -f1)
echo "corpus: $count documents, $bytes bytes, in $root (tmpfs)"

# Seconds that one command takes on a fresh copy of the corpus.
timed() {
  local tool=$1
  shift
  rm -rf "$root/$tool"
  cp -r "$root/corpus" "$root/$tool"
  local start end
  start=$(date +%s.%N)
  (cd "$root/$tool" && LC_ALL=C.UTF-8 "$@" >/dev/null 2>&1)
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

vantrel=() perl=() sed=()
for ((round = 1; round <= rounds; round++)); do
  vantrel+=("$(timed vantrel "$PWD/$bench" . acme Zenith)")
  perl+=("$(timed perl sh -c 'exec perl -pi.bac -e "s/acme/Zenith/i" -- *')")
  sed+=("$(timed sed sh -c 'exec sed -i.bac "s/acme/Zenith/I" -- *')")
done
v=$(printf '%s\n' "${vantrel[@]}" | median)
p=$(printf '%s\n' "${perl[@]}" | median)
s=$(printf '%s\n' "${sed[@]}" | median)

rm -rf "$root/memory" && cp -r "$root/corpus" "$root/memory"
/usr/bin/time -f "peak memory of one update run: %M KiB" \
  env LC_ALL=C.UTF-8 "$bench" "$root/memory" acme Zenith 2>&1 >/dev/null |
  tail -1
largest=$(find "$root/corpus" -type f -printf '%s\n' | sort -n | tail -1)
echo "largest document: $largest bytes; limit 3 x largest + 16 MiB =" \
  "$(((3 * largest + 16 * 1048576) / 1024)) KiB"

printf 'medians of %d rounds: update_bench %.3f s   perl -pi %.3f s   sed -i %.3f s\n' \
  "$rounds" "$v" "$p" "$s"
printf 'ratio to perl %.2f (target <= 0.50)   ratio to sed %.2f (target <= 0.33)\n' \
  "$(echo "$v / $p" | bc -l)" "$(echo "$v / $s" | bc -l)"
