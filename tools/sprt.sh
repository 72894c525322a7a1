#!/usr/bin/env bash
# Plays two KELO engines against each other under fastchess until a
# sequential probability ratio test decides between H0 (the new engine is
# elo0 stronger than the base) and H1 (elo1 stronger), or the games run out.
# Each engine is a binary or a commit of this repository, which is then built
# in a clone of its own under a scratch directory (cmake Release, target kelo).
#
# usage: tools/sprt.sh [options] NEW BASE
#   NEW, BASE          an executable file, or a commit (HEAD, a branch, a hash,
#                      HEAD~1...); a commit is built, its binary kept in DIR
#   --elo0 E           Elo of H0 (default 0)
#   --elo1 E           Elo of H1 (default 5)
#   --alpha A, --beta B  error rates (default 0.05 each)
#   --model M          logistic (default), normalized or bayesian: the Elo scale
#                      of the bounds, as fastchess's -sprt model=
#   --tc TC            time control, seconds+increment (default 8+0.08)
#   --games N          at most N games (default 20000), played in pairs
#   --concurrency N    games at a time (default 2)
#   --threads N        UCI option Threads of both engines (default 1)
#   --hash MB          UCI option Hash of both engines (default 16)
#   --option N=V       a UCI option of both engines, such as Style=modern
#   --new-option N=V   a UCI option of NEW alone; --base-option of BASE alone
#                      (all three may be repeated)
#   --book FILE        openings, .pgn or .epd (default: Debian's scid-data ECO
#                      lines, /usr/share/scid/data/scid.eco, made PGN by
#                      tools/eco-to-pgn.sh); drawn at random, each played with
#                      both colours
#   --plies N          at most N plies of each PGN opening (default 16)
#   --seed N           seed of the opening draw (default: from the clock)
#   --no-adjudicate    play every game out (default: a draw after move 34 when
#                      both engines score within 0.2 pawns for 8 moves, a
#                      resignation at 6 pawns down for 3 moves)
#   --jobs N           compile jobs when building commits (default: cores)
#   -o DIR             output directory (default: a new one under /tmp):
#                      games.pgn, fastchess.log (what fastchess printed),
#                      fastchess-warnings.log, summary.txt, openings.pgn,
#                      and new-kelo, base-kelo (the two engines played)
#
# The engines run in a scratch directory without KELO.ini, so they start from
# their defaults and the options given. The last line printed is the summary:
# games, wins/losses/draws of NEW, its score, Elo with its 95% error, the log
# likelihood ratio with its bounds, and the verdict. ^C stops the match; the
# summary then counts the games of the PGN, without a likelihood ratio. Exit
# status 0 after a match (whatever its verdict) or ^C, 1 when a build or the
# match failed, 2 on a usage error or a missing fastchess.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)

usage() { awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0" >&2; exit 2; }
die() { echo "sprt.sh: $*" >&2; exit 2; }

elo0=0 elo1=5 alpha=0.05 beta=0.05 model=logistic tc=8+0.08 games=20000
concurrency=2 threads=1 hash=16 book="" plies=16 seed="" adjudicate=1 out=""
jobs=$(nproc 2>/dev/null || echo 2)
both_opts=() new_opts=() base_opts=() positional=()
while [ $# -gt 0 ]; do
  case $1 in
    --elo0|--elo1|--alpha|--beta|--model|--tc|--games|--concurrency|--threads|--hash|\
    --option|--new-option|--base-option|--book|--plies|--seed|--jobs|-o)
      [ $# -ge 2 ] || die "$1 needs a value"
      case $1 in
        --elo0) elo0=$2 ;; --elo1) elo1=$2 ;; --alpha) alpha=$2 ;; --beta) beta=$2 ;;
        --model) model=$2 ;; --tc) tc=$2 ;; --games) games=$2 ;;
        --concurrency) concurrency=$2 ;; --threads) threads=$2 ;; --hash) hash=$2 ;;
        --option) both_opts+=("$2") ;; --new-option) new_opts+=("$2") ;;
        --base-option) base_opts+=("$2") ;; --book) book=$2 ;; --plies) plies=$2 ;;
        --seed) seed=$2 ;; --jobs) jobs=$2 ;; -o) out=$2 ;;
      esac
      shift 2 ;;
    --no-adjudicate) adjudicate=""; shift ;;
    -h|--help) usage ;;
    -*) die "unknown option $1 (--help lists them)" ;;
    *) positional+=("$1"); shift ;;
  esac
done
[ ${#positional[@]} -eq 2 ] || usage
whole() { [[ $2 =~ ^[0-9]+$ ]] && [ "$2" -gt 0 ] || die "$1 must be a whole number above 0: $2"; }
decimal() { [[ $2 =~ ^-?[0-9]+(\.[0-9]+)?$ ]] || die "$1 must be a number: $2"; }
whole --games "$games"; whole --concurrency "$concurrency"; whole --threads "$threads"
whole --hash "$hash"; whole --plies "$plies"; whole --jobs "$jobs"
decimal --elo0 "$elo0"; decimal --elo1 "$elo1"; decimal --alpha "$alpha"; decimal --beta "$beta"
[ -z "$seed" ] || whole --seed "$seed"
[[ $tc =~ ^([0-9]+/)?[0-9.:]+(\+[0-9.]+)?$ ]] || die "--tc must look like 8+0.08 or 40/60: $tc"
case $model in logistic|normalized|bayesian) ;; *) die "--model: logistic, normalized or bayesian" ;; esac
for o in ${both_opts[@]+"${both_opts[@]}"} ${new_opts[@]+"${new_opts[@]}"} \
         ${base_opts[@]+"${base_opts[@]}"}; do
  [[ $o == ?*=* ]] || die "an engine option is NAME=VALUE: $o"
done

fastchess=$(command -v fastchess || true)
if [ -z "$fastchess" ]; then
  cat >&2 <<'EOF'
sprt.sh: fastchess is not installed. Build it with the workplace's
../shared/runners/build.sh (it installs /usr/local/bin/fastchess), or take a
binary from the fastchess project's releases
(https://github.com/Disservin/fastchess/releases) and put it on the PATH.
EOF
  exit 2
fi

if [ -z "$book" ]; then
  eco=/usr/share/scid/data/scid.eco
  [ -f "$eco" ] || die "no openings: $eco is missing (apt-get install scid-data) and no --book given"
fi
if [ -n "$book" ]; then
  [ -f "$book" ] || die "no such opening file: $book"
  case $book in *.epd) book_format=epd ;; *.pgn) book_format=pgn ;; *) die "--book must end in .pgn or .epd" ;; esac
fi

for what in "${positional[@]}"; do
  [ -f "$what" ] && [ -x "$what" ] ||
    git -C "$repo" rev-parse --verify --quiet "$what^{commit}" > /dev/null ||
    die "$what is neither an executable file nor a commit of $repo"
done

if [ -z "$out" ]; then
  out=$(mktemp -d /tmp/kelo-sprt.XXXXXX)
else
  mkdir -p "$out"
fi
out=$(cd "$out" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/kelo-sprt-scratch.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
echo "Output directory: $out"

# $1: new or base, $2: binary or commit. Leaves the engine at $out/$1-kelo and
# its description in the variable label_$1.
engine() {
  local side=$1 what=$2 sha
  if [ -f "$what" ] && [ -x "$what" ]; then
    cp "$what" "$out/$side-kelo"
    printf -v "label_$side" '%s' "$what"
    return
  fi
  sha=$(git -C "$repo" rev-parse --verify --quiet "$what^{commit}") ||
    die "$what is neither an executable file nor a commit of $repo"
  echo "Building $side: $what ($sha)"
  git clone --quiet --shared --no-checkout "$repo" "$scratch/$side-src"
  git -C "$scratch/$side-src" checkout --quiet --detach "$sha"
  if ! (cd "$scratch/$side-src" &&
        cmake -S . -B b -DCMAKE_BUILD_TYPE=Release > "$out/$side-build.log" 2>&1 &&
        cmake --build b --target kelo -j "$jobs" >> "$out/$side-build.log" 2>&1); then
    tail -20 "$out/$side-build.log" >&2
    echo "sprt.sh: building $what failed; the whole log is $out/$side-build.log" >&2
    exit 1
  fi
  cp "$scratch/$side-src/b/kelo" "$out/$side-kelo"
  rm -rf "$scratch/$side-src"
  printf -v "label_$side" '%s' "$what (${sha:0:10})"
}
engine new "${positional[0]}"
engine base "${positional[1]}"

if [ -z "$book" ]; then
  book=$out/openings.pgn book_format=pgn
  "$here/eco-to-pgn.sh" "$eco" > "$book"
fi
book=$(cd "$(dirname "$book")" && pwd)/$(basename "$book")

# An engine's options as fastchess arguments: Threads, Hash, those of both,
# then its own ($1: the engine, then NAME=VALUE...). A later value of an
# option replaces an earlier one. Names are compared regardless of case, as
# UCI does, and written as the engine spells them in its answer to "uci"; a
# name it does not list stops the script, as fastchess would only warn.
opts() {
  local bin=$1; shift
  (cd "$scratch" && printf 'uci\nquit\n' | timeout 10 "$bin" 2>/dev/null || true) > "$scratch/uci.txt"
  printf '%s\n' "Threads=$threads" "Hash=$hash" "$@" | awk -v uci="$scratch/uci.txt" '
    BEGIN {
      while ((getline l < uci) > 0)
        if (l ~ /^option name .* type /) {
          known = substr(l, 13); known = substr(known, 1, index(known, " type ") - 1)
          spelling[tolower(known)] = known
        }
    }
    {
      eq = index($0, "="); name = tolower(substr($0, 1, eq - 1))
      if (!(name in spelling)) { print "no UCI option " substr($0, 1, eq - 1); failed = 1; exit 1 }
      if (!(name in at)) at[name] = ++n
      line[at[name]] = spelling[name] substr($0, eq)
    }
    END { if (!failed) for (i = 1; i <= n; i++) print "option." line[i] }'
}
options_of() {  # $1: new or base, then the options; fills the array $1_args
  local side=$1 label=label_$1 list; shift
  list=$(opts "$out/$side-kelo" "$@") || die "$side, ${!label}, has ${list##*$'\n'}"
  mapfile -t "${side}_args" <<< "$list"
}
options_of new ${both_opts[@]+"${both_opts[@]}"} ${new_opts[@]+"${new_opts[@]}"}
options_of base ${both_opts[@]+"${both_opts[@]}"} ${base_opts[@]+"${base_opts[@]}"}
args=(-engine cmd="$out/new-kelo" name=new "${new_args[@]}"
      -engine cmd="$out/base-kelo" name=base "${base_args[@]}"
      -each proto=uci tc="$tc"
      -openings file="$book" format="$book_format" order=random)
[ "$book_format" = pgn ] && args+=(plies="$plies")
args+=(-rounds $(( (games + 1) / 2 )) -games 2 -repeat -concurrency "$concurrency"
       -sprt elo0="$elo0" elo1="$elo1" alpha="$alpha" beta="$beta" model="$model"
       -report penta=true -ratinginterval 10
       -pgnout file="$out/games.pgn" notation=san
       -log file="$out/fastchess-warnings.log" level=warn)
[ -n "$seed" ] && args+=(-srand "$seed")
[ -n "$adjudicate" ] && args+=(-draw movenumber=34 movecount=8 score=20 -resign movecount=3 score=600)

{
  echo "new:  $label_new"
  echo "base: $label_base"
  printf '%q ' "$fastchess" "${args[@]}"; echo
} > "$out/fastchess.log"
# fastchess writes config.json where it runs: the scratch directory. On ^C it
# stops; what it prints then still reaches the log, whose writers ignore ^C. Its warnings about the engines' lines (PV), four lines each, go to
# the log alone; the summary counts them.
status=0 interrupted=""
trap 'interrupted=1' INT
(cd "$scratch" && "$fastchess" "${args[@]}") 2>&1 |
  (trap '' INT; tee -a "$out/fastchess.log" | grep --line-buffered -v -E '^(Info|Position|Moves); |^Warning; .*PV') ||
  status=${PIPESTATUS[0]}
[ "$status" -eq 0 ] || [ -n "$interrupted" ] || echo "sprt.sh: fastchess exited with status $status" >&2

# The last results block fastchess printed, in one summary line. After an
# interruption (fastchess then prints no results) or without a block, the
# games of the PGN give the figures, the Elo error from single games (1.96
# standard deviations of the mean score, through the Elo curve), without a
# likelihood ratio.
from_pgn() {
  awk -v elo0="$elo0" -v elo1="$elo1" -v end="${interrupted:+interrupted}" '
    /^\[White "/ { white = $2 }
    /^\[Result "/ {
      if ($2 ~ /1\/2/) d++
      else if ($2 ~ /"(1-0|0-1)"/) { if (($2 == "\"1-0\"]") == (white == "\"new\"]")) w++; else l++ }
    }
    function elo(x) { return -400 * log(1 / x - 1) / log(10) }
    END {
      w += 0; l += 0; d += 0; n = w + l + d
      if (n == 0) exit 1
      s = (w + d / 2) / n
      sd = sqrt((w * (1 - s) ^ 2 + l * s ^ 2 + d * (0.5 - s) ^ 2) / n / n)
      lo = s - 1.96 * sd; hi = s + 1.96 * sd
      if (s <= 0 || s >= 1) e = (s <= 0 ? "-inf" : "+inf")
      else if (lo <= 0 || hi >= 1) e = sprintf("%.2f +- inf", elo(s) + 0)
      else e = sprintf("%.2f +- %.2f", elo(s) + 0, (elo(hi) - elo(lo)) / 2)
      printf "SPRT [%s, %s]: %d games, W/L/D %d/%d/%d, score %.2f%%, Elo %s (95%%), LLR not reported, %s\n",
             elo0, elo1, n, w, l, d, 100 * s, e, end == "" ? "stopped early" : end
    }' "$out/games.pgn" 2>/dev/null
}
summary=$([ -z "$interrupted" ] && awk -v elo0="$elo0" -v elo1="$elo1" '
  /^Elo: / { elo = $2; err = $4; sub(/,$/, "", err) }
  /^Games: / {
    gsub(/,/, "")
    games = $2; w = $4; l = $6; d = $8; score = $11; gsub(/[()]/, "", score)
  }
  /^LLR: / {
    llr = $2
    if (match($0, /\([-0-9.]+, [-0-9.]+\)/)) bounds = substr($0, RSTART, RLENGTH)
  }
  /^Warning; .*PV/ { warnings++ }
  /H0 was accepted/ { verdict = "H0 accepted" }
  /H1 was accepted/ { verdict = "H1 accepted" }
  END {
    if (games == "") exit 1
    if (verdict == "") verdict = "inconclusive"
    printf "SPRT [%s, %s]: %d games, W/L/D %s/%s/%s, score %s%%, Elo %s +- %s (95%%), LLR %s %s, %s\n",
           elo0, elo1, games, w, l, d, score, elo, err, llr, bounds, verdict
    if (warnings) printf "fastchess warned %d times about PV lines, see fastchess.log\n", warnings > "/dev/stderr"
  }' "$out/fastchess.log") ||
  summary=$(from_pgn) || { echo "sprt.sh: no game was finished; see $out/fastchess.log" >&2; exit 1; }
echo "$summary" | tee "$out/summary.txt"
echo "PGN and logs: $out"
[ "$status" -eq 0 ] || [ -n "$interrupted" ] || exit 1
