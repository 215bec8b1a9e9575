# Set-up commands: `make play` and `make test` (see README).
BUILD ?= build
JOBS ?= 2

.PHONY: play test deps build bench fuzz fuzz-smoke soak mutants clean

deps:
	@scripts/deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

play: build
	scripts/play.sh $(BUILD)/game

test: build
	scripts/run_tests.sh $(BUILD)

bench: build
	scripts/run_benchmarks.sh $(BUILD)

# Long fuzzing runs: make fuzz FUZZ_SECONDS=600
FUZZ_SECONDS ?= 60
fuzz: deps
	scripts/fuzz.sh run $(FUZZ_SECONDS)

# The demo played by random keys in the release build, then under valgrind
# (not part of make test): make soak SOAK_MINUTES=30 SOAK_VALGRIND_MINUTES=5
SOAK_MINUTES ?= 30
SOAK_VALGRIND_MINUTES ?= 5
soak: deps
	cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release
	cmake --build build-release -j$(JOBS) --target tervalo game_data
	python3 scripts/soak.py --minutes $(SOAK_MINUTES) --valgrind-minutes $(SOAK_VALGRIND_MINUTES)

fuzz-smoke: deps
	scripts/fuzz.sh smoke

# Mutation score of the unit and GL tests on a fixed, seeded sample of
# mutants (long; outside make test): make mutants [MUTANTS_ARGS="--count 300"]
mutants: deps
	scripts/test_share.py
	/usr/bin/python3 scripts/mutants.py $(MUTANTS_ARGS)

clean:
	rm -rf $(BUILD) build-fuzz build-cov build-release
