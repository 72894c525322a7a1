#!/usr/bin/env bash
# Runs KELO inside XBoard on a private virtual X server (Xvfb): an automatic
# match against another xboard engine, or a stretch of XBoard's analysis mode.
# XBoard writes the games as PGN and its whole engine traffic to a debug file.
#
# usage: tools/xboard-match.sh [options]
#   -k CMD     KELO's command (default: build/kelo beside this script)
#   -u         speak UCI to KELO (or to the engine of -k): XBoard runs it
#              through the polyglot adapter (Debian package polyglot), whose
#              log of the UCI traffic is polyglot.log in the output directory
#   -p         pondering on (XBoard's "Ponder Next Move", which sends "hard"):
#              an engine that ponders thinks on its opponent's time; the
#              report then counts how often KELO's expected reply came
#   -e CMD     the opponent's command (default: /usr/games/fairymax)
#   -g N       number of games, colours alternating, KELO White in game 1 (default 2)
#   -l "M B I" time control as for "level": M moves in B minutes or B as M:SS
#              (M 0: the whole game), I seconds increment per move, whole or
#              with a decimal point, such as 0.1 (default "40 1 0")
#   -a SECS    instead of a match: KELO alone in XBoard's analysis mode of the
#              start position for SECS seconds from XBoard's "analyze", then
#              XBoard is closed
#   -o DIR     output directory (default: a new one under /tmp): games.pgn,
#              debug.txt (everything XBoard sent and received), xboard.log,
#              polyglot.log (with -u), and the engines' working directories
#              kelo/ and opponent/
#   -w SECS    watchdog: stop XBoard after SECS seconds (default from the
#              number of games and the time control)
#   -x "OPTS"  further XBoard options, e.g. "-adjudicateDrawMoves 60"
#   -v NAME    the variant, e.g. fischerandom (Chess960: XBoard sets up a random
#              start array each game); both engines must offer it, as KELO
#              does: -e with KELO's command plays KELO against itself
#
# Prints one line per game and KELO's score. Exit status 0 when XBoard ended
# by itself (or, with -a, ran for the whole time), 124 when the watchdog
# stopped it, 3 when an engine did not start, 2 on a usage error.
set -u

here=$(cd "$(dirname "$0")" && pwd)
kelo="$here/../build/kelo"
opponent=/usr/games/fairymax
games=2
level="40 1 0"
analyse_secs=""
out=""
watchdog=""
extra=""
uci=""
ponder=""
variant=""

usage() { sed -n '2,34p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
while getopts "k:e:g:l:a:o:w:x:v:uph" opt; do
  case $opt in
    k) kelo=$OPTARG ;;
    e) opponent=$OPTARG ;;
    g) games=$OPTARG ;;
    l) level=$OPTARG ;;
    a) analyse_secs=$OPTARG ;;
    o) out=$OPTARG ;;
    w) watchdog=$OPTARG ;;
    x) extra=$OPTARG ;;
    v) variant=$OPTARG ;;
    u) uci=1 ;;
    p) ponder=1 ;;
    *) usage ;;
  esac
done
number() { [[ $1 =~ ^[0-9]+$ ]] || { echo "not a whole number: $1" >&2; exit 2; }; }
number "$games"
[ -n "$analyse_secs" ] && number "$analyse_secs"
read -r mps minutes inc <<<"$level"
number "${mps:-x}"; inc=${inc:-0}
[[ $inc =~ ^[0-9]+(\.[0-9]+)?$ ]] || { echo "increment must be seconds such as 2 or 0.1: $inc" >&2; exit 2; }
# Whole seconds of increment, rounded up, for the watchdog.
inc_ceil=$(( 10#${inc%%.*} + (${#BASH_REMATCH[1]} > 0) ))
[[ ${minutes:-x} =~ ^([0-9]+)(:([0-5][0-9]))?$ ]] || { echo "base time must be M or M:SS: ${minutes:-}" >&2; exit 2; }
base_secs=$(( 10#${BASH_REMATCH[1]} * 60 + 10#${BASH_REMATCH[3]:-0} ))

xboard=$(PATH="$PATH:/usr/games" command -v xboard) || { echo "xboard is not installed (apt-get install xboard)" >&2; exit 2; }
command -v Xvfb >/dev/null || { echo "Xvfb is not installed (apt-get install xvfb)" >&2; exit 2; }
if [ -n "$uci" ]; then
  polyglot=$(PATH="$PATH:/usr/games" command -v polyglot) ||
    { echo "polyglot is not installed (apt-get install polyglot)" >&2; exit 2; }
fi

# XBoard starts each engine in its own working directory: the commands need
# absolute paths.
absolute() {
  local first rest
  read -r first rest <<<"$1"
  if [[ $first != */* ]]; then first=$(PATH="$PATH:/usr/games" command -v "$first") || first=""; fi
  if [ -z "$first" ] || [ ! -x "$first" ]; then echo "not an executable: $1" >&2; return 1; fi
  first=$(cd "$(dirname "$first")" && pwd)/$(basename "$first")
  echo "$first${rest:+ $rest}"
}
kelo=$(absolute "$kelo") || exit 2
opponent=$(absolute "$opponent") || exit 2
# Debian's Fairy-Max 5.0b dies of a segmentation fault on XBoard's "computer"
# command when its addresses are randomised (it survives without): start it
# with address randomisation off. setarch executes it in its own place, so
# that it is still XBoard's child.
if [[ $(basename "${opponent%% *}") == fairymax ]] && command -v setarch >/dev/null; then
  opponent="$(command -v setarch) -R $opponent"
fi

[ -n "$out" ] || out=$(mktemp -d /tmp/xboard-match.XXXXXX)
mkdir -p "$out/kelo" "$out/opponent"
out=$(cd "$out" && pwd)
pgn=$out/games.pgn
debug=$out/debug.txt
log=$out/xboard.log
rm -f "$pgn" "$debug" "$log" "$out/display" "$out/polyglot.log"

xvfb_pid=""
xboard_pid=""
had_socket_dir=1
# Stops XBoard, then the engines it started (its children, by process id),
# then the X server.
stop_xboard() {
  [ -n "$xboard_pid" ] || return 0
  local children
  children=$(pgrep -P "$xboard_pid" 2>/dev/null)
  kill "$xboard_pid" 2>/dev/null
  for _ in $(seq 30); do kill -0 "$xboard_pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$xboard_pid" 2>/dev/null
  for c in $children; do kill "$c" 2>/dev/null; done
  wait "$xboard_pid" 2>/dev/null
  xboard_pid=""
}
# shellcheck disable=SC2317  # reached through the trap
cleanup() {
  stop_xboard
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  # The X servers' socket folder, when this run's server made it and left it empty.
  [ -z "$had_socket_dir" ] && rmdir /tmp/.X11-unix 2>/dev/null
  return 0
}
trap cleanup EXIT
trap 'exit 130' INT TERM

[ -d /tmp/.X11-unix ] || had_socket_dir=""
# Xvfb picks a free display itself and writes its number to the given descriptor.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$out/display" >"$out/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$out/display" ] && break; sleep 0.1; done
[ -s "$out/display" ] || { echo "Xvfb did not start (see $out/xvfb.log)" >&2; exit 1; }
display=":$(head -n1 "$out/display")"

# -xexit: no closing dialog; -autoCallFlag: XBoard itself ends a game on time;
# -xponder: no thinking on the opponent's time (-ponder with -p); no sounds,
# no saved settings; -xanimate: no animated moves, for XBoard reads no engine
# output while it animates one, about 70 ms a move here, which it charges to
# the engine's clock (at 2 s + 0.02 s most games were lost on time with it).
ponder_flag=-xponder
[ -n "$ponder" ] && ponder_flag=-ponder
opts=(-fcp "$kelo" -fd "$out/kelo" -debug -nameOfDebugFile "$debug"
      -xexit "$ponder_flag" -autoCallFlag true -saveSettingsOnExit false -soundProgram ""
      -popupExitMessage false -xanimate)
if [ -n "$analyse_secs" ]; then
  opts+=(-initialMode Analysis -showThinking true)
  limit=$analyse_secs
else
  # XBoard reads any -inc, even 0, as an incremental control, where -mps has
  # no say.
  if [ "$mps" -eq 0 ] || [[ $inc =~ [1-9] ]]; then clock=(-tc "$minutes" -inc "$inc")
  else clock=(-tc "$minutes" -mps "$mps"); fi
  opts+=(-scp "$opponent" -sd "$out/opponent" -mg "$games" "${clock[@]}" -sgf "$pgn")
  # Generous: per game four periods of the base time per side, 150 increments.
  limit=${watchdog:-$(( games * (8 * base_secs + 300 * inc_ceil + 60) + 30 ))}
fi

# UCI: XBoard starts polyglot in KELO's place, which starts KELO (%fcp) in its
# directory (%fd) and logs both sides of its traffic.
if [ -n "$uci" ]; then
  opts+=(-fUCI -adapterCommand
         "$polyglot -noini -log true -lf \"$out/polyglot.log\" -ec \"%fcp\" -ed \"%fd\"")
fi

[ -n "$variant" ] && opts+=(-variant "$variant")
# shellcheck disable=SC2206
[ -n "$extra" ] && opts+=($extra)

if [ -n "$analyse_secs" ]; then
  echo "analysis: $kelo${uci:+ (UCI)} for ${analyse_secs}s, display $display"
else
  echo "match: $kelo${uci:+ (UCI)}${ponder:+ pondering} against $opponent${variant:+, variant $variant}, $games games, level $mps $minutes $inc, display $display"
fi
echo "output: $out"
start=$(date +%s)
DISPLAY=$display PATH="$PATH:/usr/games" "$xboard" "${opts[@]}" >"$log" 2>&1 &
xboard_pid=$!

status=""
analysis_start=""
while kill -0 "$xboard_pid" 2>/dev/null; do
  if grep -q "Failed to start" "$log" 2>/dev/null; then
    # XBoard would wait for a click on its error dialog.
    echo "XBoard could not start an engine" >&2
    stop_xboard; status=3; break
  fi
  elapsed=$(( $(date +%s) - start ))
  if [ -n "$analyse_secs" ]; then
    # The analysis time counts from XBoard's "analyze", after the engine's start-up.
    if [ -z "$analysis_start" ] && grep -q ">first : analyze" "$debug" 2>/dev/null; then
      analysis_start=$(date +%s)
    fi
    if [ -n "$analysis_start" ] && [ $(( $(date +%s) - analysis_start )) -ge "$limit" ]; then
      stop_xboard; status=0; break
    fi
    if [ -z "$analysis_start" ] && [ "$elapsed" -ge 60 ]; then
      echo "XBoard did not start the analysis within 60s" >&2
      stop_xboard; status=1; break
    fi
  fi
  if [ -z "$analyse_secs" ] && [ "$elapsed" -ge "$limit" ]; then
    echo "watchdog: XBoard still running after ${limit}s, stopped" >&2
    stop_xboard; status=124; break
  fi
  sleep 0.5
done
if [ -z "$status" ]; then
  wait "$xboard_pid" 2>/dev/null; status=$?; xboard_pid=""
  # In analysis mode XBoard must not end by itself.
  [ -n "$analyse_secs" ] && { echo "XBoard ended before the analysis time was over" >&2; status=1; }
fi
echo "elapsed: $(( $(date +%s) - start ))s"
[ -n "$analyse_secs" ] && exit "$status"

# One line per game from the PGN: round, players, result and its reason.
if [ -s "$pgn" ]; then
  # KELO is White in game 1: that game names it as XBoard does (its feature
  # myname, or polyglot's name for a UCI engine).
  awk '
    function report() {
      if (result == "") return
      reason = ""
      if (match(text, /\{[^{}]*\} *(1-0|0-1|1\/2-1\/2|\*) *$/)) {
        reason = substr(text, RSTART, RLENGTH); sub(/ *(1-0|0-1|1\/2-1\/2|\*) *$/, "", reason)
      }
      printf "game %s: %s - %s %s %s\n", round, white, black, result, reason
      if (first == "") first = white
      k = (white == first ? 1 : 0)
      if (result == "1-0") score += k; else if (result == "0-1") score += 1 - k;
      else if (result == "1/2-1/2") score += 0.5
      if (result != "*") played++
      result = ""; text = ""
    }
    /^\[Event / { report() }
    /^\[Round / { round = $2; gsub(/[]"]/, "", round) }
    /^\[White / { white = substr($0, 9); sub(/"\]$/, "", white) }
    /^\[Black / { black = substr($0, 9); sub(/"\]$/, "", black) }
    /^\[Result / { result = $2; gsub(/[]"]/, "", result) }
    !/^\[/ && NF { text = text " " $0 }
    END { report(); printf "KELO scored %s of %d finished games\n", score + 0, played }
  ' "$pgn"
else
  echo "no games saved"
fi
# XBoard tells each engine its own clock before every move, in centiseconds.
least=$(sed -n 's/^[0-9]* >first : time \(-\{0,1\}[0-9]*\)$/\1/p' "$debug" 2>/dev/null | sort -n | head -n1)
[ -n "$least" ] && awk -v cs="$least" 'BEGIN { printf "least time on KELO'"'"'s clock at a move: %.2f s\n", cs / 100 }'
# The features XBoard accepted and rejected of KELO's (xboard protocol only).
features=$(sed -n 's/^[0-9]* >first : \(accepted\|rejected\) \(.*\)$/\1 \2/p' "$debug" 2>/dev/null | sort -u)
[ -n "$features" ] && echo "features: $(echo "$features" | tr '\n' ' ')"
if [ -n "$ponder" ] && [ -z "$uci" ]; then
  # KELO's expected reply is the second move of its last thinking line
  # before its move; the next move XBoard sends it is the reply played.
  awk '
    / <first : [0-9]+ -?[0-9]+ [0-9]+ [0-9]+ / { n = split($0, w, " "); expect = (n >= 9 && w[9] ~ /^[a-h][1-8][a-h][1-8]/) ? w[9] : "" }
    / <first : move / { waiting = 1; guess = expect; next }
    waiting && / >first : [a-h][1-8][a-h][1-8][nbrq]?$/ {
      waiting = 0; if (guess != "") { asked++; if ($NF == guess) hits++ }
    }
    / >first : (new|result|force)/ { waiting = 0 }
    END { if (asked) printf "ponder: the expected reply came %d times of %d (%.0f%%)\n", hits, asked, 100 * hits / asked }
  ' "$debug"
fi
exit "$status"
