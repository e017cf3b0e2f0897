# The two commands a newcomer types: `make run` and `make test`.
JOBS ?= $(shell nproc)

.PHONY: run test deps release debug bench match-bench tsan fuzz strength clean

run: deps release
	./build/release/corvala

test: deps debug
	cd build/debug && ctest --output-on-failure -j $(JOBS)

deps:
	@bash scripts/install-deps.sh

release:
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DCORVALA_TESTS=OFF
	cmake --build build/release -j $(JOBS)

debug:
	cmake -S . -B build/debug -DCMAKE_BUILD_TYPE=Debug -DCORVALA_SANITIZE=ON $(if $(CI),-DCORVALA_WERROR=ON)
	cmake --build build/debug -j $(JOBS)

# Deep perft, search signature and speed figures: never part of `make test`.
bench: deps
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DCORVALA_TESTS=OFF -DCORVALA_BENCH=ON
	cmake --build build/bench -j $(JOBS)
	bash scripts/bench.sh build/bench

# The match runner's own cost per game, kept engines against one start per game (also in
# `make bench`); BEFORE=PROGRAM measures an older build beside them, GAMES=N the match length.
match-bench: deps release
	bash scripts/match-throughput.sh build/release/corvala $(BEFORE)

# Playing strength: matches under the xboard GUI against Debian's engines (long; never in `make test`).
strength: deps release
	bash scripts/strength.sh build/release/corvala

# The threaded tests under ThreadSanitizer.
tsan: deps
	cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DCORVALA_TSAN=ON
	cmake --build build/tsan -j $(JOBS)
	cd build/tsan && ctest --output-on-failure -j $(JOBS) -L threaded

# Coverage-guided fuzzing (clang, libFuzzer, ASan+UBSan): each target for FUZZ_SECONDS (a minute
# by default), seeded from the shared test data. FUZZ_TARGETS picks some of them.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?=
fuzz: deps
	cmake -S fuzz -B build/fuzz -DCMAKE_CXX_COMPILER=clang++
	cmake --build build/fuzz -j $(JOBS)
	bash fuzz/run.sh build/fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

clean:
	rm -rf build
