# Thin wrapper over CMake: `make`, `make test`, `make bench`, `make run`.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX ?= /usr/local

.PHONY: all configure test bench run install clean asan

all: configure
	cmake --build $(BUILD) -j $(JOBS)

# clang++ when the machine has it: its code makes and unmakes moves about a
# tenth faster than g++'s here (bench_perft); the results are the same.
CXX_CHOICE ?= $(shell command -v clang++ 2>/dev/null)

configure:
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release \
	  $(if $(CXX_CHOICE),-DCMAKE_CXX_COMPILER=$(CXX_CHOICE))

test: all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer, but
# for the exhaustive walks over every tablebase index: sanitized, those take
# most of an hour, and they read no outside input (the table decoder has its
# own fuzz target). The match against another engine is left out too: its
# margins for late moves are those of the optimised engine. The plain run
# keeps them all.
ASAN_SKIP ?= Match\.|ClassEnumeration|TbGenerate\.LongestMatesAreTheKnownOnes|TbGenerate\.TablesHaveTheClassSizes|TbIndexTest\.KpkpEveryKingSquare
asan:
	@test -f build-asan/CMakeCache.txt || cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELO_SANITIZE=ON -DKELO_BENCH=OFF
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS) -E '$(ASAN_SKIP)'

# Every bench program, then the side-by-side table of bench/compare.sh (this
# build against the baseline commit, Sjeng and Stockfish).
bench: all
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b || exit 1; done
	@echo "== bench/compare.sh"; bench/compare.sh $(BUILD)

run: all
	./$(BUILD)/kelo

install: all
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) build-asan
