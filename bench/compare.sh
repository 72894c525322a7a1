#!/usr/bin/env bash
# Side-by-side speed: this build's search and perft against the same bench
# programs built from a baseline commit, and perft against Sjeng's (which
# makes every leaf) and Stockfish's (which counts the last ply in bulk) when
# they are installed. Times are processor seconds (user + system) of the
# program, not wall-clock time, and runs alternate between the programs, so
# that the load of a shared machine falls on all of them alike and counts
# little; the table gives medians. The last two tables, the search and perft
# on one and on two threads, are timed by the wall clock: two threads spend
# the same processor time sooner. They need two cores free of other work.
#
#   bench/compare.sh [BUILD_DIR] [RUNS]      (make bench runs it)
#
# BASELINE (a commit, default below) names the baseline; BASELINE= skips it.
set -uo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$src/build}" && pwd)
runs=${2:-5}
baseline=${BASELINE-4639315}
sjeng=${SJENG:-/usr/games/sjeng}
stockfish=${STOCKFISH:-/usr/games/stockfish}

start_fen='rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1'
kiwipete_fen='r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1'

# The baseline's engine with this tree's bench programs (they use only what
# the engine offered then), built into BUILD_DIR/baseline; later runs rebuild
# only what changed.
base_dir="$build/baseline"
have_base=0
if [ -n "$baseline" ]; then
  if [ "$(cat "$base_dir/commit" 2>/dev/null)" != "$baseline" ]; then
    rm -rf "$base_dir"
    if git -C "$src" cat-file -e "$baseline^{commit}" 2>/dev/null; then
      echo "setting up the baseline $baseline in $base_dir ..."
      mkdir -p "$base_dir/src"
      git -C "$src" archive "$baseline" | tar -x -C "$base_dir/src"
      compiler=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
      native=$(sed -n 's/^KELO_NATIVE:BOOL=//p' "$build/CMakeCache.txt")
      cmake -S "$base_dir/src" -B "$base_dir" -DCMAKE_BUILD_TYPE=Release \
        ${compiler:+-DCMAKE_CXX_COMPILER="$compiler"} ${native:+-DKELO_NATIVE="$native"} \
        >"$base_dir/build.log" 2>&1 && echo "$baseline" >"$base_dir/commit"
    else
      echo "baseline $baseline is not in this repository; it is left out"
    fi
  fi
  if [ -f "$base_dir/commit" ]; then
    for f in search.cpp perft.cpp; do
      cmp -s "$src/bench/$f" "$base_dir/src/bench/$f" || cp "$src/bench/$f" "$base_dir/src/bench/$f"
    done
    if cmake --build "$base_dir" -j "$(nproc)" --target bench_search bench_perft \
         >>"$base_dir/build.log" 2>&1; then
      have_base=1
    elif git -C "$src" archive "$baseline" bench | tar -x -C "$base_dir/src" &&
         # As this tree's bench does, the fresh table is written once before
         # the clock starts: the system's zeroing of its pages is not timed.
         sed -i 's|^  tt_allocate(pos.tt, 699040);$|&\n  std::memset(static_cast<void*>(pos.tt.buckets), 0, pos.tt.bytes);|' \
           "$base_dir/src/bench/search.cpp" &&
         cmake --build "$base_dir" -j "$(nproc)" --target bench_search bench_perft \
           >>"$base_dir/build.log" 2>&1; then
      # This tree's bench programs need what the baseline lacks: the
      # baseline's own, which measure the same searches, serve instead.
      echo "the baseline's own bench programs serve for it"
      have_base=1
    else
      echo "the baseline did not build (see $base_dir/build.log); it is left out"
    fi
  fi
fi

# Processor seconds (user + system) of a command and its children.
cpu_seconds() {
  local TIMEFORMAT='%3U %3S'
  { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ printf "%.3f\n", $1 + $2 }'
}

# Processor seconds of a UCI or xboard engine's perft alone: its start-up (a
# run to depth 1) is measured each time and taken off.
external_seconds() {  # program kind fen depth
  local prog=$1 kind=$2 fen=$3 depth=$4 startup total
  case $kind in
    sjeng) script() { printf 'setboard %s\nperft %s\nquit\n' "$fen" "$1"; } ;;
    stockfish) script() { printf 'position fen %s\ngo perft %s\nquit\n' "$fen" "$1"; } ;;
  esac
  run() { script "$1" | "$prog"; }
  startup=$(cpu_seconds run 1)
  total=$(cpu_seconds run "$depth")
  awk -v a="$startup" -v b="$total" 'BEGIN { s = b - a; if (s < 1e-3) s = 1e-3; printf "%.6f\n", s }'
}

# Wall-clock seconds of this build's perft with N threads, as the engine
# reports them ("TIME:s.ms", the milliseconds without leading zeros); the
# threads share the work, so processor seconds would not show it.
threaded_seconds() {  # fen depth threads
  printf 'cores %s\nsetboard %s\nperft %s\nquit\n' "$3" "$1" "$2" | "$build/kelo" 2>/dev/null |
    awk -F'[:.]' '/^TIME:/ { printf "%.3f\n", $2 + $3 / 1000 }'
}

# The engine's own bench ("kelo bench 9 N"): the nodes of all threads and
# the wall-clock milliseconds its searches took to finish iteration 9 of the
# six positions, each from a fresh table.
threaded_search() {  # threads
  "$build/kelo" bench 9 "$1" | awk '/^position/ { n += $3; ms += $5 } END { print n, ms }'
}

rate() { awk -v n="$1" -v s="$2" 'BEGIN { if (s == "" || s <= 0) print "n/a"; else printf "%.0f\n", n / s }'; }

declare -A samples
add() { samples[$1]="${samples[$1]:-} $2"; }
median() { tr ' ' '\n' <<<"$1" | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)]; else print "" }'; }

search_nodes=()
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for ((r = 1; r <= runs; ++r)); do
  for it in 8 10; do
    read -r _ nodes _ secs < <("$build/bench/bench_search" --measure=$it)
    add "search$it.now" "$secs"
    search_nodes[$it]=$nodes
    if [ $have_base = 1 ]; then
      read -r _ bnodes _ bsecs < <("$base_dir/bench/bench_search" --measure=$it)
      add "search$it.base" "$bsecs"
      [ "$bnodes" = "$nodes" ] || echo "warning: iteration $it, baseline searched $bnodes nodes, this build $nodes"
    fi
  done
  # The two styles on the bench positions, each to its own bench depth.
  read -r _ modern_nodes _ secs < <("$build/bench/bench_search" --measure=12 modern)
  add "modern.now" "$secs"
  for c in start kiwipete; do
    if [ $c = start ]; then fen=$start_fen depth=6; else fen=$kiwipete_fen depth=5; fi
    read -r _ leaves _ secs < <("$build/bench/bench_perft" --measure=$c)
    add "perft.$c.now" "$secs"
    eval "leaves_$c=$leaves"
    if [ $have_base = 1 ]; then
      read -r _ _ _ bsecs < <("$base_dir/bench/bench_perft" --measure=$c)
      add "perft.$c.base" "$bsecs"
    fi
    [ -x "$sjeng" ] && add "perft.$c.sjeng" "$(external_seconds "$sjeng" sjeng "$fen" $depth)"
    [ -x "$stockfish" ] && add "perft.$c.stockfish" "$(external_seconds "$stockfish" stockfish "$fen" $depth)"
    for t in 1 2; do add "perft.$c.threads$t" "$(threaded_seconds "$fen" $depth $t)"; done
  done
  for t in $((1 + r % 2)) $((2 - r % 2)); do
    read -r nodes ms < <(threaded_search $t)
    add "threads$t.ms" "$ms"
    add "threads$t.nps" "$(rate "$nodes" "$(awk -v m="$ms" 'BEGIN { print m / 1000 }')")"
  done
done
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "n/a" || b == "n/a" || b <= 0) print "n/a"; else printf "%.2f\n", a / b }'; }

echo
echo "Search, six bench positions from a fresh table; nodes per second, medians of $runs runs"
printf '%-12s %10s %14s %14s %8s\n' iterations nodes "now" "baseline" "now/base"
for it in 8 10; do
  n=${search_nodes[$it]}
  a=$(rate "$n" "$(median "${samples[search$it.now]}")")
  b=n/a
  [ $have_base = 1 ] && b=$(rate "$n" "$(median "${samples[search$it.base]}")")
  printf '%-12s %10s %14s %14s %8s\n' "$it" "$n" "$a" "$b" "$(ratio "$a" "$b")"
done

echo
echo "The two styles on the six bench positions, one thread; nodes per second, medians of $runs runs"
printf '%-22s %10s %14s %10s\n' style nodes "nodes/s" "/classic"
classic_rate=$(rate "${search_nodes[8]}" "$(median "${samples[search8.now]}")")
modern_rate=$(rate "$modern_nodes" "$(median "${samples[modern.now]}")")
printf '%-22s %10s %14s %10s\n' "classic, iterations 8" "${search_nodes[8]}" "$classic_rate" 1.00
printf '%-22s %10s %14s %10s\n' "modern, iterations 12" "$modern_nodes" "$modern_rate" \
  "$(ratio "$modern_rate" "$classic_rate")"

echo
echo "Perft, leaves per second, medians of $runs runs (Stockfish counts its last ply in bulk)"
printf '%-9s %5s %12s %12s %12s %12s %9s %9s %9s\n' position depth now baseline sjeng stockfish \
  now/base now/sjeng now/sf
for c in start kiwipete; do
  if [ $c = start ]; then depth=6; else depth=5; fi
  eval "n=\$leaves_$c"
  a=$(rate "$n" "$(median "${samples[perft.$c.now]}")")
  b=n/a; s=n/a; f=n/a
  [ $have_base = 1 ] && b=$(rate "$n" "$(median "${samples[perft.$c.base]}")")
  [ -x "$sjeng" ] && s=$(rate "$n" "$(median "${samples[perft.$c.sjeng]}")")
  [ -x "$stockfish" ] && f=$(rate "$n" "$(median "${samples[perft.$c.stockfish]}")")
  printf '%-9s %5s %12s %12s %12s %12s %9s %9s %9s\n' $c $depth "$a" "$b" "$s" "$f" \
    "$(ratio "$a" "$b")" "$(ratio "$a" "$s")" "$(ratio "$a" "$f")"
done

echo
echo "Search on threads, this build's engine (kelo bench 9 N); medians of $runs runs, alternating"
printf '%-26s %12s %12s %9s\n' "" "1 thread" "2 threads" "2/1"
a=$(median "${samples[threads1.nps]}"); b=$(median "${samples[threads2.nps]}")
printf '%-26s %12s %12s %9s\n' "nodes per second" "$a" "$b" "$(ratio "$b" "$a")"
a=$(median "${samples[threads1.ms]}"); b=$(median "${samples[threads2.ms]}")
printf '%-26s %12s %12s %9s\n' "ms to finish iteration 9" "$a" "$b" "$(ratio "$a" "$b")"

echo
echo "Perft on threads, this build's engine (cores N); leaves per second by wall-clock time, medians of $runs runs"
printf '%-9s %5s %12s %12s %9s\n' position depth "1 thread" "2 threads" "2/1"
for c in start kiwipete; do
  if [ $c = start ]; then depth=6; else depth=5; fi
  eval "n=\$leaves_$c"
  a=$(rate "$n" "$(median "${samples[perft.$c.threads1]}")")
  b=$(rate "$n" "$(median "${samples[perft.$c.threads2]}")")
  printf '%-9s %5s %12s %12s %9s\n' $c $depth "$a" "$b" "$(ratio "$b" "$a")"
done
