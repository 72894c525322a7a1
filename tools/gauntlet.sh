#!/usr/bin/env bash
# Plays KELO against other engines from Debian, one match after another, and
# prints a table of its results against each. The UCI engines play under
# fastchess, KELO speaking UCI; the xboard engines under cutechess-cli, KELO
# then speaking xboard too.
#
# usage: tools/gauntlet.sh [options]
#   -k, --kelo PATH    the KELO binary (default: build/kelo beside this script)
#   --option N=V       an option of KELO, such as Style=modern (repeatable;
#                      UCI option under fastchess, xboard "option" under
#                      cutechess-cli, the same names)
#   -p, --opponents L  comma-separated, from (default: all of them)
#                        UCI:    ethereal (Ethereal 12), toga2, glaurung,
#                                gnuchess (in its UCI mode, -u),
#                                stockfish[:N] (Skill Level N, default 10)
#                        xboard: phalanx, sjeng, hoichess, fairymax
#   -g, --games N      games against each opponent (default 20), in pairs:
#                      each opening with both colours
#   --tc TC            time control, seconds+increment (default 10+0.1)
#   -c, --concurrency N  games at a time (default 1, so that each engine has a
#                      core of its own; 2 on a machine of two cores or more)
#   --hash MB          hash table of KELO (UCI Hash, xboard memory) and of the
#                      UCI opponents (default 16)
#   --book FILE        openings, .pgn or .epd (default: Debian's scid-data ECO
#                      lines made PGN by tools/eco-to-pgn.sh), drawn at random
#   --plies N          at most N plies of each PGN opening (default 16)
#   --seed N           seed of the opening draw (default: from the clock)
#   -o DIR             output directory (default: a new one under /tmp):
#                      OPPONENT.pgn and OPPONENT.log for each opponent,
#                      table.txt, openings.pgn, kelo (the binary played)
#
# The UCI opponents play with one thread and without their own books; the
# xboard ones as installed (Phalanx without learning). The engines run in a
# scratch directory, KELO without a KELO.ini. Elo is KELO's, from its score
# against each opponent; its error is 1.96 standard deviations of the score
# per game, taken through the Elo curve. Missing opponents are left out with
# a note. Exit status 0 after the matches, 1 when a runner failed, 2 on a
# usage error or a missing runner.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)

usage() { awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0" >&2; exit 2; }
die() { echo "gauntlet.sh: $*" >&2; exit 2; }
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }

kelo=$here/../build/kelo
all_opponents=ethereal,toga2,glaurung,gnuchess,stockfish,phalanx,sjeng,hoichess,fairymax
opponents=$all_opponents games=20 tc=10+0.1 concurrency=1 hash=16 book="" plies=16 seed="" out=""
kelo_opts=()
while [ $# -gt 0 ]; do
  case $1 in
    -k|--kelo|--option|-p|--opponents|-g|--games|--tc|-c|--concurrency|--hash|--book|--plies|--seed|-o)
      [ $# -ge 2 ] || die "$1 needs a value"
      case $1 in
        -k|--kelo) kelo=$2 ;; --option) kelo_opts+=("$2") ;; -p|--opponents) opponents=$2 ;;
        -g|--games) games=$2 ;; --tc) tc=$2 ;; -c|--concurrency) concurrency=$2 ;;
        --hash) hash=$2 ;; --book) book=$2 ;; --plies) plies=$2 ;; --seed) seed=$2 ;; -o) out=$2 ;;
      esac
      shift 2 ;;
    -h|--help) usage ;;
    *) die "unknown argument $1 (--help lists the options)" ;;
  esac
done
whole() { [[ $2 =~ ^[0-9]+$ ]] && [ "$2" -gt 0 ] || die "$1 must be a whole number above 0: $2"; }
whole --games "$games"; whole --concurrency "$concurrency"; whole --hash "$hash"; whole --plies "$plies"
[ -z "$seed" ] || whole --seed "$seed"
[[ $tc =~ ^([0-9]+/)?[0-9.:]+(\+[0-9.]+)?$ ]] || die "--tc must look like 10+0.1 or 40/60: $tc"
[ -f "$kelo" ] && [ -x "$kelo" ] || die "no KELO binary at $kelo (make engine, or -k PATH)"
# Absolute, as the engine is first asked its options from the scratch directory.
kelo=$(absolute "$kelo")
cores=$(nproc 2>/dev/null || echo 1)
[ "$concurrency" -le "$cores" ] || die "--concurrency $concurrency is more than the $cores cores"

if [ -z "$book" ]; then
  eco=/usr/share/scid/data/scid.eco
  [ -f "$eco" ] || die "no openings: $eco is missing (apt-get install scid-data) and no --book given"
else
  [ -f "$book" ] || die "no such opening file: $book"
  case $book in *.epd|*.pgn) ;; *) die "--book must end in .pgn or .epd" ;; esac
fi

# Each opponent: runner, then the fastchess or cutechess-cli engine arguments
# after cmd= and name=.
IFS=, read -r -a chosen <<< "$opponents"
[ ${#chosen[@]} -gt 0 ] || die "no opponent chosen"
for o in "${chosen[@]}"; do
  case $o in
    ethereal|toga2|glaurung|gnuchess|phalanx|sjeng|hoichess|fairymax) ;;
    stockfish|stockfish:[0-9]|stockfish:1[0-9]|stockfish:20) ;;
    *) die "unknown opponent $o (from: $all_opponents; stockfish:N for Skill Level N, 0 to 20)" ;;
  esac
done
needs_fastchess="" needs_cutechess=""
for o in "${chosen[@]}"; do
  case $o in phalanx|sjeng|hoichess|fairymax) needs_cutechess=1 ;; *) needs_fastchess=1 ;; esac
done
fastchess=$(command -v fastchess || true)
cutechess=$(command -v cutechess-cli || true)
if { [ -n "$needs_fastchess" ] && [ -z "$fastchess" ]; } || { [ -n "$needs_cutechess" ] && [ -z "$cutechess" ]; }; then
  cat >&2 <<'EOF'
gauntlet.sh: a match runner is missing: fastchess for the UCI opponents,
cutechess-cli for the xboard ones. Build them with the workplace's
../shared/runners/build.sh (it installs them in /usr/local/bin), or take them
from the projects' releases (https://github.com/Disservin/fastchess/releases,
https://github.com/cutechess/cutechess/releases) and put them on the PATH.
EOF
  exit 2
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kelo-gauntlet-scratch.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# KELO's options, each NAME=VALUE with the name as KELO spells it in its
# answer to "uci" (matched regardless of case); an unknown name stops the
# script, as the runners would only warn and play on without it.
(cd "$scratch" && printf 'uci\nquit\n' | timeout 10 "$kelo" 2>/dev/null || true) > "$scratch/uci.txt"
mapfile -t kelo_opts < <(printf '%s\n' ${kelo_opts[@]+"${kelo_opts[@]}"} | awk -v uci="$scratch/uci.txt" '
  BEGIN {
    while ((getline l < uci) > 0)
      if (l ~ /^option name .* type /) {
        known = substr(l, 13); known = substr(known, 1, index(known, " type ") - 1)
        spelling[tolower(known)] = known
      }
  }
  NF {
    eq = index($0, "=")
    name = tolower(substr($0, 1, eq - 1))
    if (eq < 2 || !(name in spelling)) { print "?" $0; next }
    print spelling[name] substr($0, eq)
  }')
for o in ${kelo_opts[@]+"${kelo_opts[@]}"}; do
  [[ $o != \?* ]] || die "KELO has no option ${o#?} (give NAME=VALUE with a name its \"uci\" lists)"
done

if [ -z "$out" ]; then
  out=$(mktemp -d /tmp/kelo-gauntlet.XXXXXX)
else
  mkdir -p "$out"
fi
out=$(cd "$out" && pwd)
echo "Output directory: $out"
cp "$kelo" "$out/kelo"
kelo=$out/kelo

if [ -z "$book" ]; then
  book=$out/openings.pgn
  "$here/eco-to-pgn.sh" "$eco" > "$book"
fi
book=$(absolute "$book")
case $book in *.epd) book_format=epd ;; *) book_format=pgn ;; esac

# The opponent's engine arguments for its runner, one a line.
opponent_args() {
  case $1 in
    ethereal) printf '%s\n' cmd=/usr/games/ethereal-chess "option.Hash=$hash" option.Threads=1 ;;
    toga2) printf '%s\n' cmd=/usr/games/toga2 "option.Hash=$hash" option.OwnBook=false ;;
    glaurung) printf '%s\n' cmd=/usr/games/glaurung "option.Hash=$hash" option.Threads=1 option.OwnBook=false ;;
    gnuchess) printf '%s\n' cmd=/usr/games/gnuchess args=-u "option.Hash=$hash" option.OwnBook=false ;;
    stockfish*) printf '%s\n' cmd=/usr/games/stockfish "option.Hash=$hash" option.Threads=1 \
                  "option.Skill Level=$2" ;;
    phalanx) printf '%s\n' cmd=/usr/games/phalanx arg=-l- ;;
    sjeng) printf '%s\n' cmd=/usr/games/sjeng ;;
    hoichess) printf '%s\n' cmd=/usr/games/hoichess ;;
    fairymax) printf '%s\n' cmd=/usr/games/fairymax ;;
  esac
}

rounds=$(( (games + 1) / 2 ))
played=()
failed=""
for o in "${chosen[@]}"; do
  skill=10
  case $o in stockfish:*) skill=${o#stockfish:} ;; esac
  case $o in stockfish*) name=stockfish-skill$skill base=stockfish ;; *) name=$o base=$o ;; esac
  mapfile -t opp < <(opponent_args "$base" "$skill")
  cmd=${opp[0]#cmd=}
  if [ ! -x "$cmd" ]; then
    pkg=$(case $base in ethereal) echo ethereal-chess ;; *) echo "$base" ;; esac)
    echo "== $name: $cmd is not installed (apt-get install $pkg), left out"
    continue
  fi
  work=$scratch/$name
  mkdir -p "$work"
  rm -f "$out/$name.pgn"
  case $base in
    phalanx|sjeng|hoichess|fairymax)
      args=("$cutechess" -engine cmd="$kelo" name=KELO proto=xboard "option.memory=$hash"
            ${kelo_opts[@]+"${kelo_opts[@]/#/option.}"}
            -engine name="$name" proto=xboard "${opp[@]}"
            -each tc="$tc" dir="$work"
            -openings file="$book" format="$book_format" order=random)
      [ "$book_format" = pgn ] && args+=(plies="$plies")
      args+=(-rounds "$rounds" -games 2 -repeat -concurrency "$concurrency" -recover
             -pgnout "$out/$name.pgn")
      ;;
    *)
      args=("$fastchess" -engine cmd="$kelo" name=KELO "option.Hash=$hash"
            ${kelo_opts[@]+"${kelo_opts[@]/#/option.}"}
            -engine name="$name" "${opp[@]}"
            -each proto=uci tc="$tc"
            -openings file="$book" format="$book_format" order=random)
      [ "$book_format" = pgn ] && args+=(plies="$plies")
      args+=(-rounds "$rounds" -games 2 -repeat -concurrency "$concurrency" -recover
             -pgnout file="$out/$name.pgn" notation=san)
      ;;
  esac
  [ -n "$seed" ] && args+=(-srand "$seed")
  echo "== $name: $(( rounds * 2 )) games at $tc"
  { printf '%q ' "${args[@]}"; echo; } > "$out/$name.log"
  status=0
  (cd "$work" && "${args[@]}") >> "$out/$name.log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    echo "   the runner exited with status $status; see $out/$name.log" >&2
    failed=1
  fi
  played+=("$name")
  # One line of progress: the runner's last score line.
  grep -E '^(Score of|Games:)' "$out/$name.log" | tail -1 | sed 's/^/   /' || true
done

# The table, from the PGN files: KELO's wins, losses and draws as either
# colour, and the games it lost otherwise than on the board (time, crash,
# illegal move), as the runners name them in the Termination tag.
table() {
  printf '%-18s %6s %13s %8s %18s %s\n' opponent games W-L-D score "Elo (95%)" "lost on time/crash/illegal"
  local name
  for name in ${played[@]+"${played[@]}"}; do
    [ -f "$out/$name.pgn" ] || { printf '%-18s %6s\n' "$name" 0; continue; }
    awk -v name="$name" '
      function flush() {
        if (result == "") return
        if (result == "1/2-1/2") d++
        else if ((result == "1-0") == (white == "KELO")) w++
        else if (result == "1-0" || result == "0-1") {
          l++
          if (term ~ /time|forfeit|disconnect|stall|illegal|crash|abandon/) odd++
        }
        result = ""; term = ""
      }
      /^\[White "/ { flush(); white = $0; sub(/^\[White "/, "", white); sub(/"\]$/, "", white) }
      /^\[Result "/ { result = $0; sub(/^\[Result "/, "", result); sub(/"\]$/, "", result)
                      if (result == "*") result = "" }
      /^\[Termination "/ { term = tolower($0) }
      function elo(s) { return -400 * log(1 / s - 1) / log(10) }
      END {
        flush()
        w += 0; l += 0; d += 0; odd += 0; n = w + l + d
        if (n == 0) { printf "%-18s %6d\n", name, 0; exit }
        s = (w + d / 2) / n
        sd = sqrt((w * (1 - s) ^ 2 + l * s ^ 2 + d * (0.5 - s) ^ 2) / n / n)
        lo = s - 1.96 * sd; hi = s + 1.96 * sd
        if (s <= 0 || s >= 1) e = (s <= 0 ? "-inf" : "+inf")
        else if (lo <= 0 || hi >= 1) e = sprintf("%+.0f +- inf", elo(s) + 0)
        else e = sprintf("%+.0f +- %.0f", elo(s) + 0, (elo(hi) - elo(lo)) / 2)
        printf "%-18s %6d %13s %7.1f%% %18s %d\n", name, n, w "-" l "-" d, 100 * s, e, odd
      }' "$out/$name.pgn"
  done
}
echo
table | tee "$out/table.txt"
echo "PGNs and logs: $out"
[ -z "$failed" ] || exit 1
