#!/usr/bin/env bash
# Times one update run of update_bench against perl -pi and GNU sed -i on
# the same corpus, side by side in a tmpfs folder, and prints the medians of
# ROUNDS rounds (each round on fresh copies) and their ratios; beside them,
# the preview of that update (update_bench --preview), which must cost well
# under the update it foresees.  Then, against perl alone, the same corpus
# with LF line ends and in windows-1252, and one restore run whose type is
# typed in the other letter case against one typed as the documents spell it.
# Then update_bench on the same text in Shift_JIS and in UTF-16 against the
# UTF-8 corpus, which they must not take more than three times as long as.
# In the same rounds, on the same corpus, the command line: vantrel-cli
# replace and its dry run (--dry-run, the diff going to /dev/null) against
# perl -pi and sed -i, and Debian's rpl beside them; and the start-up of
# vantrel-cli --version, the mean of 200 runs.  Without a built vantrel-cli
# (or without rpl) the rest is timed as before.
#
#   bench/compare.sh [--disk] [BUILD_DIR] [COUNT] [ROUNDS]
#
# BUILD_DIR is taken from the top of the source tree (default build), COUNT
# documents (default 2000), ROUNDS rounds (default 5).  --disk, anywhere on
# the line, also times update_bench against perl -pi in a folder on the root
# file system (under /var/tmp).  There perl -pi is followed by sync, since
# update_bench writes each document durably and perl alone would be timed
# writing to the page cache only; and then a whole site of 32,767 documents
# in 100 folders is updated and restored.
set -euo pipefail
cd "$(dirname "$0")/.."
disk=0
args=()
for arg in "$@"; do
  case $arg in
    --disk) disk=1 ;;
    -*) echo "usage: $0 [--disk] [BUILD_DIR] [COUNT] [ROUNDS]" >&2; exit 2 ;;
    *) args+=("$arg") ;;
  esac
done
build=${args[0]:-build}
count=${args[1]:-2000}
rounds=${args[2]:-5}
# Absolute, since the tools run inside the corpus folders.
bench=$(realpath -m "$build/bench/update_bench")
restore=$(realpath -m "$build/bench/restore_bench")
for program in "$bench" "$restore"; do
  [ -x "$program" ] || { echo "build $program first (make build)" >&2; exit 1; }
done
cli=$(realpath -m "$build/cli/vantrel-cli")
[ -x "$cli" ] || {
  echo "note: $cli is not built (make build); the command line is not timed" >&2
  cli=
}
have_rpl=1
command -v rpl >/dev/null || {
  echo "note: rpl is not installed (apt-get install rpl); it is not timed" >&2
  have_rpl=0
}
starts=200

root=$(mktemp -d /dev/shm/vantrel-bench.XXXXXX)
disk_root=
trap 'rm -rf "$root" ${disk_root:+"$disk_root"}' EXIT
python3 bench/make_corpus.py "$root/corpus" "$count"
bytes=$(du -sb "$root/corpus" | cut -f1)
echo "corpus: $count documents, $bytes bytes, in $root (tmpfs)"

# Seconds that one command takes on a fresh copy of a corpus.  The sync
# keeps the writes of the copy, and of the rounds before, out of the timing.
timed() {
  local corpus=$1 tool=$2
  shift 2
  local copy="$corpus-$tool"
  rm -rf "$copy"
  cp -r "$corpus" "$copy"
  sync
  local start end status=0
  start=$(date +%s.%N)
  (cd "$copy" && LC_ALL=C.UTF-8 "$@" >/dev/null 2>"$copy.err") || status=$?
  end=$(date +%s.%N)
  if ((status != 0)); then
    echo "warning: $tool exited with $status in $copy:" >&2
    tail -3 "$copy.err" >&2
  fi
  echo "$end - $start" | bc -l
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { echo "$1 / $2" | bc -l; }
# Whether two tools' last rounds left the same documents, so that a fast
# time is not that of a run that did nothing.  Backups are left out: perl
# names them page0003.mv.bac, update_bench page0003bac, rpl page0003.mv~.
same_documents() {
  local differences
  differences=$(diff -rq -x '*bac' -x '*~' "$1" "$2") || {
    echo "warning: $1 and $2 hold different documents:" >&2
    head -3 <<<"$differences" >&2
  }
}

# rpl replaces every occurrence on a line, not only the first; each line of
# the corpus holds at most one.  It keeps its backup (-b) as perl and sed
# do, and finds each document's encoding itself, as vantrel-cli does.
# vantrel-cli records its runs in a history under $XDG_STATE_HOME: the
# benchmark's go to one in the tmpfs folder, beside the corpus, rather than
# into the user's.
cli_run=(env "XDG_STATE_HOME=$root/state" "$cli")
vantrel=() preview=() perl=() sed=() replace=() dry_run=() rpl=()
for ((round = 1; round <= rounds; round++)); do
  vantrel+=("$(timed "$root/corpus" vantrel "$bench" . acme Zenith)")
  preview+=("$(timed "$root/corpus" preview "$bench" --preview . acme Zenith)")
  perl+=("$(timed "$root/corpus" perl sh -c 'exec perl -pi.bac -e "s/acme/Zenith/i" -- *')")
  sed+=("$(timed "$root/corpus" sed sh -c 'exec sed -i.bac "s/acme/Zenith/I" -- *')")
  if [ -n "$cli" ]; then
    replace+=("$(timed "$root/corpus" cli "${cli_run[@]}" replace acme Zenith .)")
    dry_run+=("$(timed "$root/corpus" dry-run "${cli_run[@]}" replace --dry-run acme Zenith .)")
  fi
  ((!have_rpl)) ||
    rpl+=("$(timed "$root/corpus" rpl sh -c 'exec rpl -i -q -b acme Zenith -- *')")
done
same_documents "$root/corpus-vantrel" "$root/corpus-perl"
diff -rq "$root/corpus" "$root/corpus-preview" >/dev/null ||
  echo "warning: the preview changed its copy of the corpus" >&2
if [ -n "$cli" ]; then
  same_documents "$root/corpus-cli" "$root/corpus-perl"
  diff -rq "$root/corpus" "$root/corpus-dry-run" >/dev/null ||
    echo "warning: the dry run changed its copy of the corpus" >&2
  # The diff the dry run printed: one added line for each replacement, and
  # the summary counting every line that holds the text.
  lines=$(cat "$root/corpus"/* | grep -aic acme) || true
  read -r added summary < <(cd "$root/corpus" &&
    LC_ALL=C.UTF-8 "${cli_run[@]}" replace --dry-run acme Zenith . 2>/dev/null |
    awk '/^\+/ && !/^\+\+\+ b\// { n++ } { last = $0 } END { print n + 0, last }')
  expected="$lines replacements in $count of $count selected documents"
  [ "$summary" = "$expected" ] ||
    echo "warning: the dry run ends in \"$summary\", not \"$expected\"" >&2
  ((added == lines)) ||
    echo "warning: the dry run's diff adds $added lines, not $lines" >&2
fi
((!have_rpl)) || same_documents "$root/corpus-rpl" "$root/corpus-perl"
v=$(printf '%s\n' "${vantrel[@]}" | median)
w=$(printf '%s\n' "${preview[@]}" | median)
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
  "$(ratio "$v" "$p")" "$(ratio "$v" "$s")"
printf 'preview of the update %.3f s   update_bench %.3f s   ratio preview/update %.2f (target <= 0.60)\n' \
  "$w" "$v" "$(ratio "$w" "$v")"

# Start-up: the mean of many runs, beside that of /bin/true, which is what
# the loop itself costs.
startup() {
  local start end i
  start=$(date +%s.%N)
  for ((i = 0; i < starts; i++)); do LC_ALL=C.UTF-8 "$@" >/dev/null; done
  end=$(date +%s.%N)
  echo "($end - $start) * 1000 / $starts" | bc -l
}
if [ -n "$cli" ] || ((have_rpl)); then
  echo
  echo "command line, same corpus, medians of $rounds rounds"
fi
if ((have_rpl)); then
  r=$(printf '%s\n' "${rpl[@]}" | median)
  printf 'rpl -i %.3f s   perl -pi %.3f s   sed -i %.3f s\n' "$r" "$p" "$s"
fi
if [ -n "$cli" ]; then
  c=$(printf '%s\n' "${replace[@]}" | median)
  d=$(printf '%s\n' "${dry_run[@]}" | median)
  printf 'vantrel-cli replace %.3f s   --dry-run %.3f s   perl -pi %.3f s   sed -i %.3f s\n' \
    "$c" "$d" "$p" "$s"
  printf 'ratio to perl %.2f (target <= 0.50)   ratio to sed %.2f (target <= 0.34)   ratio dry-run/replace %.2f (target <= 0.60)\n' \
    "$(ratio "$c" "$p")" "$(ratio "$c" "$s")" "$(ratio "$d" "$c")"
  ((!have_rpl)) || printf 'ratio to rpl %.2f\n' "$(ratio "$c" "$r")"
  version=$("$cli" --version) ||
    echo "warning: vantrel-cli --version exited with $?" >&2
  [[ $version == "vantrel-cli "* ]] ||
    echo "warning: vantrel-cli --version printed \"$version\"" >&2
  printf 'start-up of vantrel-cli --version, mean of %d runs %.2f ms (target < 10.00)   /bin/true %.2f ms\n' \
    "$starts" "$(startup "$cli" --version)" "$(startup /bin/true)"
fi

# The same update on a corpus that differs in line ends or encoding.
against_perl() {
  local style=$1 label=$2 corpus="$root/$1"
  python3 bench/make_corpus.py "$corpus" "$count" "$style"
  local vantrel=() perl=()
  for ((round = 1; round <= rounds; round++)); do
    vantrel+=("$(timed "$corpus" vantrel "$bench" . acme Zenith)")
    perl+=("$(timed "$corpus" perl sh -c 'exec perl -pi.bac -e "s/acme/Zenith/i" -- *')")
  done
  same_documents "$corpus-vantrel" "$corpus-perl"
  local v p
  v=$(printf '%s\n' "${vantrel[@]}" | median)
  p=$(printf '%s\n' "${perl[@]}" | median)
  printf '%-21s update_bench %.3f s   perl -pi %.3f s   ratio to perl %.2f\n' \
    "$label:" "$v" "$p" "$(ratio "$v" "$p")"
}
echo
echo "other corpora, medians of $rounds rounds (perl treats bytes, so this compares time only)"
against_perl lf "LF line ends"
against_perl cp1252 "windows-1252, CR LF"

# The same update on the text in multibyte encodings, timed in turns with
# the UTF-8 corpus.  A UTF-16 document must become the UTF-8 one's bytes in
# UTF-16; Shift_JIS holds other foreign words, so perl -pi says what its
# documents must become (its bytes can't hold "acme" inside a character).
against_utf8() {
  local style=$1 label=$2 corpus="$root/$1"
  python3 bench/make_corpus.py "$corpus" "$count" "$style"
  local vantrel=() utf8=()
  for ((round = 1; round <= rounds; round++)); do
    utf8+=("$(timed "$root/corpus" utf8 "$bench" . acme Zenith)")
    vantrel+=("$(timed "$corpus" vantrel "$bench" . acme Zenith)")
  done
  if [ "$style" = utf16 ]; then
    for document in "$root/corpus-utf8"/*; do
      case $document in *bac) continue ;; esac
      iconv -f UTF-16 -t UTF-8 "$corpus-vantrel/${document##*/}" |
        cmp -s - "$document" ||
        echo "warning: ${document##*/} in UTF-16 is not the UTF-8 update" >&2
    done
  else
    timed "$corpus" perl sh -c 'exec perl -pi.bac -e "s/acme/Zenith/i" -- *' \
      >/dev/null
    same_documents "$corpus-vantrel" "$corpus-perl"
  fi
  local v u
  v=$(printf '%s\n' "${vantrel[@]}" | median)
  u=$(printf '%s\n' "${utf8[@]}" | median)
  printf '%-21s update_bench %.3f s   UTF-8 %.3f s   ratio %.2f (target <= 3.00)\n' \
    "$label:" "$v" "$u" "$(ratio "$v" "$u")"
}
echo
echo "encodings, same text, medians of $rounds rounds"
against_utf8 sjis "Shift_JIS, CR LF"
against_utf8 utf16 "UTF-16LE, CR LF"

# A folder of backups as an update of .htm documents leaves it: pageNNNN.bac
# holds the original and pageNNNN.htm the updated document.
mkdir "$root/restore"
(cd "$root/corpus" && perl -e '
  for my $name (@ARGV) {
    (my $base = $name) =~ s/\.[^.]*$//;
    open(my $in, "<", $name) or die "$name: $!";
    open(my $bac, ">", "../restore/$base.bac") or die "$base.bac: $!";
    open(my $htm, ">", "../restore/$base.htm") or die "$base.htm: $!";
    while (<$in>) { print $bac $_; s/acme/Zenith/i; print $htm $_; }
    close($bac) && close($htm) or die "$base: $!";
  }' -- *)
other=() exact=()
for ((round = 1; round <= rounds; round++)); do
  other+=("$(timed "$root/restore" other "$restore" . HTM)")
  exact+=("$(timed "$root/restore" exact "$restore" . htm)")
done
# Typed in the other case, the run must restore over pageNNNN.htm rather
# than make a pageNNNN.HTM beside it.
for run in other exact; do
  left=$(find "$root/restore-$run" -name '*.bac' -o -name '*.HTM' | wc -l)
  ((left == 0)) ||
    echo "warning: the $run restore left $left backups or .HTM documents" >&2
done
o=$(printf '%s\n' "${other[@]}" | median)
e=$(printf '%s\n' "${exact[@]}" | median)
echo
printf 'restore of %d backups, medians of %d rounds: type HTM %.3f s   type htm %.3f s\n' \
  "$count" "$rounds" "$o" "$e"
printf 'ratio other case to exact case %.2f (target <= 1.50)\n' "$(ratio "$o" "$e")"

# The same documents spread over 100 folders, as a whole site is: the run
# then locks and flushes each folder it writes in.
mkdir "$root/tree"
(cd "$root/corpus" && i=0 && for name in *; do
  folder=$(printf 'folder%02d' $((i % 100)))
  mkdir -p "../tree/$folder" && cp "$name" "../tree/$folder/" && i=$((i + 1))
done)
flat=() tree=()
for ((round = 1; round <= rounds; round++)); do
  flat+=("$(timed "$root/corpus" flat "$bench" . acme Zenith)")
  tree+=("$(timed "$root/tree" tree "$bench" . acme Zenith)")
done
f=$(printf '%s\n' "${flat[@]}" | median)
t=$(printf '%s\n' "${tree[@]}" | median)
echo
printf 'update in 100 folders %.3f s   in one folder %.3f s   ratio %.2f (target <= 1.10)\n' \
  "$t" "$f" "$(ratio "$t" "$f")"

# The matching options and the history, on the same corpus, side by side in
# the same rounds: every occurrence, letter case kept, against perl's s///g;
# a regular expression with captures (on a copy whose every third line ends
# in a date) against the same perl command; a list of 100 literal pairs
# against a perl script of the same 100 s///i lines; the plain replace with
# and without the history; and the undo of a recorded run against that run.
if [ -n "$cli" ]; then
  dated="$root/dated"
  cp -r "$root/corpus" "$dated"
  (cd "$dated" && perl -pi -e 's/(\r?)$/ 2026-12-07$1/ if $. % 3 == 0' -- *)
  list="$root/list.tsv" script="$root/list.pl"
  : >"$list"
  : >"$script"
  for ((i = 1; i < 100; i++)); do
    printf 'word%03dq\tterm%03d\n' "$i" "$i" >>"$list"
    printf 's/word%03dq/term%03d/i;\n' "$i" "$i" >>"$script"
  done
  printf 'acme\tZenith\n' >>"$list"
  printf 's/acme/Zenith/i;\n' >>"$script"
  quiet=("${cli_run[@]}" replace -q)
  all=() perl_all=() regex=() perl_regex=() listed=() perl_list=()
  off=() on=() update=() undo=()
  for ((round = 1; round <= rounds; round++)); do
    all+=("$(timed "$root/corpus" all "${quiet[@]}" --no-history -a --match-case acme Zenith .)")
    perl_all+=("$(timed "$root/corpus" perl-all sh -c 'exec perl -pi.bac -e "s/acme/Zenith/g" -- *')")
    regex+=("$(timed "$dated" regex "${quiet[@]}" --no-history -a -e '(\d{4})-(\d\d)-(\d\d)' '$3.$2.$1' .)")
    perl_regex+=("$(timed "$dated" perl-regex sh -c 'exec perl -pi.bac -e "s/(\d{4})-(\d\d)-(\d\d)/\$3.\$2.\$1/g" -- *')")
    listed+=("$(timed "$root/corpus" list "${quiet[@]}" --no-history --list "$list" .)")
    perl_list+=("$(timed "$root/corpus" perl-list perl -pi.bac "$script" -- $(cd "$root/corpus" && echo *))")
    off+=("$(timed "$root/corpus" off "${quiet[@]}" --no-history acme Zenith .)")
    on+=("$(timed "$root/corpus" on "${quiet[@]}" acme Zenith .)")
    update+=("${on[-1]}")
    start=$(date +%s.%N)
    (cd "$root/corpus-on" && "${cli_run[@]}" undo -q last >/dev/null 2>&1) ||
      echo "warning: the undo did not put every document back" >&2
    undo+=("$(echo "$(date +%s.%N) - $start" | bc -l)")
  done
  same_documents "$root/corpus-all" "$root/corpus-perl-all"
  same_documents "$dated-regex" "$dated-perl-regex"
  same_documents "$root/corpus-list" "$root/corpus-perl-list"
  diff -rq -x '*bac' "$root/corpus" "$root/corpus-on" >/dev/null ||
    echo "warning: the undo did not bring the corpus back" >&2
  m() { printf '%s\n' "$@" | median; }
  echo
  echo "options, lists and the history, same corpus, medians of $rounds rounds"
  printf 'every occurrence, match case %.3f s   perl s///g %.3f s   ratio %.2f (target <= 0.50)\n' \
    "$(m "${all[@]}")" "$(m "${perl_all[@]}")" "$(ratio "$(m "${all[@]}")" "$(m "${perl_all[@]}")")"
  printf 'regular expression with captures %.3f s   perl %.3f s   ratio %.2f (target <= 0.60)\n' \
    "$(m "${regex[@]}")" "$(m "${perl_regex[@]}")" "$(ratio "$(m "${regex[@]}")" "$(m "${perl_regex[@]}")")"
  printf 'list of 100 pairs %.3f s   perl, 100 s///i %.3f s   ratio %.2f (target <= 0.50)\n' \
    "$(m "${listed[@]}")" "$(m "${perl_list[@]}")" "$(ratio "$(m "${listed[@]}")" "$(m "${perl_list[@]}")")"
  printf 'replace without the history %.3f s   with it %.3f s   ratio %.2f (target <= 1.15)   to perl without %.2f, with %.2f\n' \
    "$(m "${off[@]}")" "$(m "${on[@]}")" "$(ratio "$(m "${on[@]}")" "$(m "${off[@]}")")" \
    "$(ratio "$(m "${off[@]}")" "$p")" "$(ratio "$(m "${on[@]}")" "$p")"
  printf 'undo of the recorded replace %.3f s   ratio undo/update %.2f (target <= 1.20)\n' \
    "$(m "${undo[@]}")" "$(ratio "$(m "${undo[@]}")" "$(m "${update[@]}")")"
  rm -rf "$root/memory" && cp -r "$root/corpus" "$root/memory"
  (cd "$root/memory" && /usr/bin/time -f "peak memory of a recorded vantrel-cli replace: %M KiB" \
    "${quiet[@]}" acme Zenith . 2>&1 >/dev/null | tail -1)
fi

((disk)) || exit 0
disk_root=$(mktemp -d /var/tmp/vantrel-bench.XXXXXX)
cp -r "$root/corpus" "$disk_root/corpus"
fs=$(df --output=fstype "$disk_root" | tail -1)
[ "$fs" != tmpfs ] || echo "warning: $disk_root is on tmpfs, not a disk" >&2
vantrel=() perl=()
for ((round = 1; round <= rounds; round++)); do
  vantrel+=("$(timed "$disk_root/corpus" vantrel "$bench" . acme Zenith)")
  perl+=("$(timed "$disk_root/corpus" perl sh -c 'perl -pi.bac -e "s/acme/Zenith/i" -- * && exec sync -f .')")
done
same_documents "$disk_root/corpus-vantrel" "$disk_root/corpus-perl"
v=$(printf '%s\n' "${vantrel[@]}" | median)
p=$(printf '%s\n' "${perl[@]}" | median)
echo
echo "disk: corpus in $disk_root ($fs)"
printf 'medians of %d rounds: update_bench %.3f s   perl -pi + sync %.3f s   ratio to perl %.2f\n' \
  "$rounds" "$v" "$p" "$(ratio "$v" "$p")"

# A whole site on disk: 32,767 documents of about 8 KB in 100 folders.  The
# restore puts back the backups of the update's own copy.
python3 bench/make_corpus.py "$disk_root/site" 32767 crlf 80 100
vantrel=() perl=() restored=()
for ((round = 1; round <= rounds; round++)); do
  vantrel+=("$(timed "$disk_root/site" vantrel "$bench" . acme Zenith)")
  sync
  start=$(date +%s.%N)
  (cd "$disk_root/site-vantrel" && "$restore" . htm >/dev/null 2>&1) ||
    echo "warning: the restore of the site did not restore every backup" >&2
  restored+=("$(echo "$(date +%s.%N) - $start" | bc -l)")
  perl+=("$(timed "$disk_root/site" perl sh -c 'find . -type f -print0 | xargs -0 perl -pi.bac -e "s/acme/Zenith/i" && exec sync -f .')")
done
v=$(printf '%s\n' "${vantrel[@]}" | median)
r=$(printf '%s\n' "${restored[@]}" | median)
p=$(printf '%s\n' "${perl[@]}" | median)
echo
echo "disk: a site of 32767 documents in 100 folders"
printf 'medians of %d rounds: update_bench %.3f s   perl -pi + sync %.3f s   ratio %.2f (target <= 1.00)\n' \
  "$rounds" "$v" "$p" "$(ratio "$v" "$p")"
printf 'restore_bench %.3f s   ratio restore/update %.2f (target <= 1.00)\n' \
  "$r" "$(ratio "$r" "$v")"

# The history's cost on the disk too.
if [ -n "$cli" ]; then
  disk_corpus="$disk_root/history"
  python3 bench/make_corpus.py "$disk_corpus" "$count"
  off=() on=()
  for ((round = 1; round <= rounds; round++)); do
    off+=("$(timed "$disk_corpus" off "${quiet[@]}" --no-history acme Zenith .)")
    on+=("$(timed "$disk_corpus" on env XDG_STATE_HOME="$disk_root/state" "$cli" replace -q acme Zenith .)")
  done
  printf 'disk: replace without the history %.3f s   with it %.3f s   ratio %.2f (target <= 1.10)\n' \
    "$(m "${off[@]}")" "$(m "${on[@]}")" "$(ratio "$(m "${on[@]}")" "$(m "${off[@]}")")"
fi
