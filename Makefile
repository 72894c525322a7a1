# Thin wrapper over CMake: `make run`, `make test`, `make`, `make bench`.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX ?= /usr/local

.PHONY: all deps engine test bench run install clean asan tsan openbench

# clang++ when the machine has it: its code makes and unmakes moves about a
# tenth faster than g++'s here (bench_perft); the results are the same. Looked
# up when a recipe runs, so after `deps` may have installed it.
CXX_CHOICE ?= $(shell command -v clang++ 2>/dev/null)
# The sanitized build uses the other compiler, so that CI sees both compilers'
# warnings.
ASAN_CXX_CHOICE ?= $(shell command -v g++ 2>/dev/null)
# WERROR=1 (CI): any compiler warning fails the build.
WERROR ?=

CONFIG = -DCMAKE_BUILD_TYPE=Release $(if $(CXX_CHOICE),-DCMAKE_CXX_COMPILER=$(CXX_CHOICE)) \
  $(if $(WERROR),-DKELO_WERROR=ON)
ASAN_CONFIG = -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELO_SANITIZE=ON -DKELO_BENCH=OFF \
  $(if $(ASAN_CXX_CHOICE),-DCMAKE_CXX_COMPILER=$(ASAN_CXX_CHOICE)) $(if $(WERROR),-DKELO_WERROR=ON)

# $(call configure,DIR,ARGS,NEEDS_ALL): runs cmake in DIR unless it holds a
# finished configuration made with the same ARGS. The arguments are written
# to DIR/kelo-configured only when cmake succeeds, so a failed or interrupted
# run is done again next time. Other arguments start from an empty cache:
# CMake fixes the compiler when it first configures a directory. With
# NEEDS_ALL, a configuration that left parts out is run again (the packages
# may just have been installed) and must then leave nothing out.
define configure
	@args='$(strip $(2))'; stamp=$(1)/kelo-configured; \
	if [ "$$(cat $$stamp 2>/dev/null)" != "$$args" ] || [ ! -f $(1)/CMakeCache.txt ] || \
	   { [ ! -f $(1)/Makefile ] && [ ! -f $(1)/build.ninja ]; }; then \
	  rm -rf $$stamp $(1)/CMakeCache.txt $(1)/CMakeFiles; \
	  cmake -S . -B $(1) $$args && echo "$$args" > $$stamp || exit 1; \
	elif [ -n "$(3)" ] && [ -s $(1)/kelo-left-out ]; then \
	  rm -f $$stamp; cmake -S . -B $(1) $$args && echo "$$args" > $$stamp || exit 1; \
	fi; \
	if [ -n "$(3)" ] && [ -s $(1)/kelo-left-out ]; then \
	  echo "Still left out after tools/install-deps.sh: $$(cat $(1)/kelo-left-out)" >&2; exit 1; \
	fi
endef

all:
	$(call configure,$(BUILD),$(CONFIG))
	cmake --build $(BUILD) -j $(JOBS)

# The engine alone: all that `make run` needs.
engine:
	$(call configure,$(BUILD),$(CONFIG))
	cmake --build $(BUILD) -j $(JOBS) --target kelo

# OpenBench's contract: `make EXE=PATH CXX=COMPILER` builds the engine alone
# with that compiler (CXX_CHOICE's when CXX is not given) in build-openbench/
# and copies it to PATH. Without EXE on the command line, make does as before.
OB_CXX = $(if $(filter-out default undefined,$(origin CXX)),$(CXX),$(CXX_CHOICE))
OB_CONFIG = -DCMAKE_BUILD_TYPE=Release $(if $(OB_CXX),-DCMAKE_CXX_COMPILER=$(OB_CXX)) \
  $(if $(WERROR),-DKELO_WERROR=ON)
ifeq ($(origin EXE),command line)
.DEFAULT_GOAL := openbench
endif
openbench:
	@[ -n "$(EXE)" ] || { echo "make openbench needs EXE=PATH" >&2; exit 1; }
	$(call configure,build-openbench,$(OB_CONFIG))
	cmake --build build-openbench -j $(JOBS) --target kelo
	cp build-openbench/kelo '$(EXE)'

run: engine
	./$(BUILD)/kelo

# The Debian packages of the tests, benchmarks and fuzz targets.
deps:
	@tools/install-deps.sh

# The referee is installed (npm ci) once, before the first test runs.
test: deps
	$(call configure,$(BUILD),$(CONFIG),all)
	cmake --build $(BUILD) -j $(JOBS)
	cmake --build $(BUILD) --target referee
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The sanitizers find faults of memory and undefined behaviour: the unit
# tests and the end-to-end protocol tests run under them (the fuzz targets
# carry the sanitizers themselves and run in `make test`). Left out, kept by
# the plain run: the exhaustive walks over every tablebase index and the
# reader tests that first solve whole classes (sanitized, the solving takes
# most of their time and reads no outside input; the table decoder has its
# own fuzz target), and the tests that time the engine (the matches against
# another engine, in XBoard or not, and the clock tests), whose margins are
# those of the optimised engine, and the resident memory, which the sanitizer's
# shadow memory swells.
ASAN_SKIP ?= Match\.|XBoard\.|Clock\.|ClassEnumeration|TbGenerate\.LongestMatesAreTheKnownOnes|TbGenerate\.TablesHaveTheClassSizes|TbIndexTest\.KpkpEveryKingSquare|TbProbe\.|TbRegister\.|TbValue\.|Play\.(FixedTimePerMoveIsKept|ConventionalClockBudgetsTheFirstMove|ClockCountsDownMoveByMove)|UciClient\.(MovetimeIsKept|ClockedGame|PonderhitAndStop)|Ponder\.|Xboard\.(FractionalFixedTime|MemoryAndHashSizeTheTable)
asan: deps
	$(call configure,build-asan,$(ASAN_CONFIG),all)
	cmake --build build-asan -j $(JOBS)
	cmake --build build-asan --target referee
	cd build-asan && ctest --output-on-failure -j $(JOBS) -E '$(ASAN_SKIP)'

# ThreadSanitizer over the tests whose threads meet: the input thread, the
# command loop, the timer, the engine's search thread and two search threads
# (the threaded-search tests ask for two). The timed tests are left out, as in
# the sanitized build, and the one analysis test that needs the last
# iteration of a start-position analysis done before a ping crosses the pipe,
# which the sanitizer's tenfold slower engine is not.
TSAN_CONFIG = -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELO_TSAN=ON -DKELO_BENCH=OFF \
  $(if $(CXX_CHOICE),-DCMAKE_CXX_COMPILER=$(CXX_CHOICE)) $(if $(WERROR),-DKELO_WERROR=ON)
TSAN_TESTS ?= Threads|Engine|Driver|Ponder|Uci|Analysis|Protocol|Robust|Xboard\.|Queue|Input
tsan: deps
	$(call configure,build-tsan,$(TSAN_CONFIG),all)
	cmake --build build-tsan -j $(JOBS) --target kelo test_engine test_search test_frontend test_e2e
	cmake --build build-tsan --target referee
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) \
	  -R '$(TSAN_TESTS)' -E '$(ASAN_SKIP)|Analysis\.IterationLimitEndsItWithoutAMove'

# Every bench program, then the side-by-side table of bench/compare.sh (this
# build against the baseline commit, Sjeng and Stockfish).
bench: deps
	$(call configure,$(BUILD),$(CONFIG),all)
	cmake --build $(BUILD) -j $(JOBS)
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b || exit 1; done
	@echo "== bench/compare.sh"; bench/compare.sh $(BUILD)

install:
	$(call configure,$(BUILD),$(CONFIG))
	cmake --build $(BUILD) -j $(JOBS) --target kelo kelo-tb
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) build-asan build-tsan build-openbench
