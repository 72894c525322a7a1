#!/usr/bin/env bash
# Installs the Debian packages that KELO's tests, benchmarks and fuzz targets
# need, those that are missing, with apt-get: as root, else through sudo; when
# neither can be done it prints the apt-get line to run and fails. The engine
# itself needs only a C++ compiler, make and cmake.
#
# usage: tools/install-deps.sh [--check]
#   --check   only say what is missing; exit status 1 when something is
set -euo pipefail

check_only=""
case "${1:-}" in
  --check) check_only=1 ;;
  "") ;;
  *) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac

on_path() { PATH="$PATH:/usr/games" command -v "$1" >/dev/null 2>&1; }

# libFuzzer's runtime: part of clang's own package on older systems, a package
# of its own (libclang-rt-dev) on newer ones.
fuzzer_runtime() {
  local dir
  dir=$(clang++ -print-resource-dir 2>/dev/null) || return 1
  compgen -G "$dir/lib/*/libclang_rt.fuzzer*.a" >/dev/null ||
    compgen -G "$dir/lib/*/*/libclang_rt.fuzzer*.a" >/dev/null
}

# Package, then the test that it is there.
need=()
want() { eval "$2" || need+=("$1"); }
want cmake           'on_path cmake'
want make            'on_path make'
want g++             'on_path g++'
want clang           'on_path clang++'
want libgtest-dev    '[ -f /usr/include/gtest/gtest.h ]'
want libbenchmark-dev '[ -f /usr/include/benchmark/benchmark.h ]'
want nodejs          'on_path node'
want npm             'on_path npm'
want xboard          'on_path xboard'
want xvfb            'on_path Xvfb'
want fairymax        '[ -x /usr/games/fairymax ]'
# tools/xboard-match.sh -u: KELO over UCI inside XBoard.
want polyglot        'on_path polyglot || [ -x /usr/games/polyglot ]'
# The ECO opening lines that tools/eco-to-pgn.sh turns into a book's games.
want scid-data       '[ -f /usr/share/scid/data/scid.eco ]'
# bench/compare.sh's perft and search references, and opponents.
want stockfish       '[ -x /usr/games/stockfish ]'
want sjeng           '[ -x /usr/games/sjeng ]'
# pgrep: tools/xboard-match.sh stops the engines XBoard started.
want procps          'on_path pgrep'
if on_path clang++ && ! fuzzer_runtime; then
  if apt-cache show libclang-rt-dev >/dev/null 2>&1; then need+=(libclang-rt-dev)
  else need+=("libclang-common-$(clang++ -dumpversion | cut -d. -f1)-dev"); fi
fi

if [ ${#need[@]} -eq 0 ]; then
  [ -n "$check_only" ] && echo "install-deps: nothing missing"
  exit 0
fi
line="apt-get update && apt-get install -y ${need[*]}"
if [ -n "$check_only" ]; then
  echo "install-deps: missing ${need[*]}; to install: $line"
  exit 1
fi

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
  sudo=(sudo -n)
else
  echo "install-deps: the tests need the Debian packages ${need[*]}," >&2
  echo "and installing them needs root. Run as root (or with sudo):" >&2
  echo "    $line" >&2
  echo "then run the command again." >&2
  exit 1
fi

echo "install-deps: installing ${need[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq "${need[@]}" >/dev/null
# What apt-get installed must now pass the same tests.
if ! "$0" --check >&2; then
  echo "install-deps: apt-get succeeded, but the tests above still fail" >&2
  exit 1
fi
echo "install-deps: done"
