#!/usr/bin/env bash
# Turns an ECO classification file of the kind Debian's scid-data ships
# (/usr/share/scid/data/scid.eco: a code, a quoted name, the moves, "*", a
# record possibly running over several lines) into PGN, one game per record
# with a result token, so that `makebook` counts every line's positions.
# The token is "1/2-1/2": the book builder runs a game that ends in "*" into
# the next one.
#
#   tools/eco-to-pgn.sh [ECO_FILE] > openings.pgn
set -euo pipefail
eco=${1:-/usr/share/scid/data/scid.eco}
awk '
  /^#/ { next }
  { record = record " " $0 }
  /\*[[:space:]]*$/ {
    if (match(record, /"[^"]*"/)) {
      name = substr(record, RSTART + 1, RLENGTH - 2)
      moves = substr(record, RSTART + RLENGTH)
      sub(/\*[[:space:]]*$/, "", moves)
      gsub(/^[[:space:]]+|[[:space:]]+$/, "", moves)
      split(record, w, " ")
      if (moves != "") printf "[Event \"%s %s\"]\n\n%s 1/2-1/2\n\n", w[1], name, moves
    }
    record = ""
  }
' "$eco"
