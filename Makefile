# Entry points for people and CI. Every target installs what is missing first (scripts/install-deps.sh).
#   make demo    build and run `dravo demo` into ./dravo-demo
#   make test    Release build with the tests, then ctest
#   make test-sanitize   the same with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan)
#   make bench   benchmarks (also installs OpenCV and numpy, the peers they compare with)
BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_BENCH ?= build-bench
JOBS       ?= 2
DEMO_DIR   ?= dravo-demo
# ccache, where installed, makes a rebuild after a small change cheap.
CCACHE     := $(shell command -v ccache 2>/dev/null)
LAUNCHER   := $(if $(CCACHE),-DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE) -DCMAKE_C_COMPILER_LAUNCHER=$(CCACHE))

.PHONY: deps build demo test test-sanitize bench clean

deps:
	bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DDRAVO_BUILD_TESTS=ON $(LAUNCHER)
	cmake --build $(BUILD) -j$(JOBS)

demo: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DDRAVO_BUILD_TESTS=OFF $(LAUNCHER)
	cmake --build $(BUILD) -j$(JOBS)
	./$(BUILD)/bin/dravo demo --out-dir $(DEMO_DIR)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

test-sanitize: deps
	cmake -S . -B $(BUILD_ASAN) -DCMAKE_BUILD_TYPE=Release -DDRAVO_SANITIZE=ON -DDRAVO_BUILD_TESTS=ON $(LAUNCHER)
	cmake --build $(BUILD_ASAN) -j$(JOBS)
	cd $(BUILD_ASAN) && ctest --output-on-failure -j$(JOBS)

bench:
	bash scripts/install-deps.sh --bench
	cmake -S . -B $(BUILD_BENCH) -DCMAKE_BUILD_TYPE=Release -DDRAVO_BUILD_TESTS=OFF -DDRAVO_BUILD_BENCH=ON $(LAUNCHER)
	cmake --build $(BUILD_BENCH) -j$(JOBS)
	@if [ -x bench/run.sh ]; then bash bench/run.sh $(BUILD_BENCH); else echo "benchmarks built in $(BUILD_BENCH)/bin"; fi

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_BENCH)
