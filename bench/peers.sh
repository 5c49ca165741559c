#!/usr/bin/env bash
# Whole-process figures for talmoor-cli beside the peers that do the same job,
# run in one go on the same files: medians of paired runs (ours, then the
# peer's) of wall time and peak resident memory, as /usr/bin/time gives them.
# A peer that is not installed is skipped. Not part of the test suite: the
# figures depend on the machine, so they are read, not asserted.
#
#   bench/peers.sh [BUILD_DIR]
#
# Environment: RUNS (paired runs per figure, default 5), CORPUS (the shared
# corpus, default ../shared/corpus beside the checkout), COPIES (how many
# times the SYSTEM hive's keys are repeated in the large hive, default 50),
# BIG_HIVE (where the large hive is kept between runs; made when missing).
set -u

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
corpus=${CORPUS:-$here/../../shared/corpus}
runs=${RUNS:-5}
copies=${COPIES:-50}
cli=$build/src/talmoor-cli
maker=$build/bench/talmoor_make_big_hive
system=$corpus/hives/SYSTEM
prefix=$corpus/wine-8.0

[ -x "$cli" ] || { echo "no talmoor-cli in $build/src" >&2; exit 1; }
[ -f "$system" ] || { echo "no corpus SYSTEM hive at $system" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed for the memory figures" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A home of its own: no Wine prefix of the user's, no settings of theirs.
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
unset WINEPREFIX
mkdir -p "$HOME"
big=${BIG_HIVE:-$work/big.hiv}

have() { command -v "$1" > /dev/null 2>&1; }

# Runs a command once; prints "seconds kilobytes". The time is taken here, to
# the millisecond (time's own is in hundredths, too coarse for grep).
measure() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f "%M" -o "$work/time" "$@" > /dev/null 2> "$work/stderr" < /dev/null
  end=$(date +%s%N)
  echo "$(echo "($end - $start) / 1000000000" | bc -l) $(tail -n 1 "$work/time")"
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# compare LABEL PEER-LABEL -- OURS... -- PEER... (PEER may be empty)
compare() {
  local label=$1 peerLabel=$2
  shift 3
  local ours=() peer=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do ours+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  peer=("$@")
  : > "$work/ours"; : > "$work/peer"
  for _ in $(seq "$runs"); do
    measure "${ours[@]}" >> "$work/ours"
    [ ${#peer[@]} -gt 0 ] && measure "${peer[@]}" >> "$work/peer"
  done
  local ot om pt pm
  ot=$(cut -d' ' -f1 "$work/ours" | median); om=$(cut -d' ' -f2 "$work/ours" | median)
  printf '%-34s talmoor %7.3f s %8.1f MiB' "$label" "$ot" "$(echo "$om / 1024" | bc -l)"
  if [ ${#peer[@]} -gt 0 ]; then
    pt=$(cut -d' ' -f1 "$work/peer" | median); pm=$(cut -d' ' -f2 "$work/peer" | median)
    printf ' | %-8s %7.3f s %8.1f MiB | time x%.2f, memory x%.2f' "$peerLabel" "$pt" \
      "$(echo "$pm / 1024" | bc -l)" "$(echo "$ot / ($pt + 0.0005)" | bc -l)" "$(echo "$om / $pm" | bc -l)"
  fi
  echo
  echo "$om" > "$work/last-rss"
}


echo "runs: $runs paired; ratios are talmoor / peer (below 1 is better)"

# 1. Export of the SYSTEM hive as a registry script.
if have reged; then
  compare "export SYSTEM" "reged -x" -- \
    "$cli" --hive "$system=HKLM\\BENCH" export 'HKLM\BENCH' "$work/ours.reg" --fresh -- \
    reged -x "$system" 'HKEY_LOCAL_MACHINE\BENCH' '\' "$work/peer.reg"
else
  echo "reged not installed: export measured alone"
  compare "export SYSTEM" "" -- \
    "$cli" --hive "$system=HKLM\\BENCH" export 'HKLM\BENCH' "$work/ours.reg" --fresh --
fi
size=$(stat -c %s "$system")
printf '%-34s peak %.1f MiB for a %.1f MiB file: x%.2f (target 1.5)\n' "fully walked SYSTEM (export)" \
  "$(echo "$(cat "$work/last-rss") / 1024" | bc -l)" "$(echo "$size / 1048576" | bc -l)" \
  "$(echo "$(cat "$work/last-rss") * 1024 / $size" | bc -l)"

# 2. Find over the whole SYSTEM hive and over the Wine prefix, against grep
#    over the same data as text (our own export, and the prefix's files).
text=$work/system.reg
"$cli" --hive "$system=HKLM\\BENCH" export 'HKLM\BENCH' "$text" --fresh > /dev/null 2>&1
compare "find 'services' in SYSTEM" "grep -ci" -- \
  "$cli" --hive "$system=HKLM\\BENCH" search --mode find --find services \
  --start 'HKLM\BENCH' --keys --values --data --format tsv -- \
  grep -ci services "$text"
if [ -f "$prefix/system.reg" ]; then
  mkdir -p "$work/prefix"
  cp "$prefix"/system.reg "$prefix"/user.reg "$prefix"/userdef.reg "$work/prefix/"
  compare "find 'windows' in the Wine prefix" "grep -ci" -- \
    "$cli" --prefix "$work/prefix" search --mode find --find windows --keys --values --data --format tsv -- \
    grep -ci windows "$work/prefix/system.reg" "$work/prefix/user.reg" "$work/prefix/userdef.reg"
fi

# 3. One key of a large hive made of SYSTEM's keys repeated.
if [ ! -f "$big" ]; then
  if [ -x "$maker" ]; then
    "$maker" "$system" "$big" "$copies" > /dev/null || echo "the large hive could not be made"
  else
    echo "no $maker: the large hive is skipped"
  fi
fi
if [ -f "$big" ]; then
  middle=$(printf 'Copy%04d' $(( (copies + 1) / 2 )))
  printf '%-34s %.0f MiB\n' "large hive" "$(echo "$(stat -c %s "$big") / 1048576" | bc -l)"
  if have hivexget; then
    compare "query one key of the large hive" "hivexget" -- \
      "$cli" --hive "$big=HKLM\\BIG" query "HKLM\\BIG\\$middle\\Select" -- \
      hivexget "$big" "\\$middle\\Select"
  else
    compare "query one key of the large hive" "" -- \
      "$cli" --hive "$big=HKLM\\BIG" query "HKLM\\BIG\\$middle\\Select" --
  fi
  echo "   (targets: under 0.1 s and 50 MiB)"
fi
