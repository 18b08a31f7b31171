# The two set-up commands of a fresh machine:
#   make run   builds the launcher and starts it against the bundled demo portal
#   make test  installs what the tests need, builds, and runs every test
# (plain build, then the ASan+UBSan build, then the TSan build of the thread tests).

BUILD      ?= build/default
ASAN_BUILD ?= build/asan
TSAN_BUILD ?= build/tsan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps build run test test-plain test-asan test-tsan bench clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DQORV_WERROR=ON $(CMAKE_ARGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-demo.sh $(BUILD)

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DQORV_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS) -LE "nosan|gui"

test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DQORV_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug $(CMAKE_ARGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target qorv_thread_tests
	cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest --output-on-failure -j $(JOBS) -L thread

test: test-plain test-asan test-tsan

bench: build
	@bench/run.sh $(BUILD)

clean:
	rm -rf build
