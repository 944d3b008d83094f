# Everything runs with CPython 3.12 (pinned by .python-version) in .venv;
# `make test-python-3.13` runs the Python suite under pyenv's 3.13 as well.
PYTHON ?= python3.12
VENV ?= .venv
PY := $(VENV)/bin/python
JOBS ?= 2
# The Debian packages each target needs, installed when missing.
NEED := tools/need-packages
# The release build's flags (CMake's Release: -O3 -DNDEBUG); the sanitizer
# and fuzz builds add -g to them, so they test the code that ships.
RELEASE := -DCMAKE_BUILD_TYPE=Release

.PHONY: demo test ct test-cpp test-arm64 test-python test-python-3.13 typecheck wheel wheel-test bench sanitize fuzz install clean

$(PY):
	$(PYTHON) -m venv $(VENV)
	$(PY) -m pip install --quiet --upgrade pip

# Build the extension with scikit-build-core and install it into .venv.
install: $(PY)
	$(PY) -m pip install --quiet .

demo: install
	$(PY) examples/demo.py

# The C++ tests against the core library, then the Python tests against the
# installed module.
test: test-cpp test-python

test-cpp:
	$(NEED) test
	cmake -S . -B build/cpp $(RELEASE)
	cmake --build build/cpp -j $(JOBS)
	ctest --test-dir build/cpp --output-on-failure -j $(JOBS)

# The engine and the C++ suite cross-built for aarch64 and run under qemu.
test-arm64:
	$(NEED) arm64
	cmake -S . -B build/arm64 $(RELEASE) -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
	cmake --build build/arm64 -j $(JOBS)
	ctest --test-dir build/arm64 --output-on-failure -j $(JOBS)
	qemu-aarch64 -L /usr/aarch64-linux-gnu build/arm64/tests/cpp/kestrelbox_tests --gtest_filter='Paths.*' \
		| grep -E '^(engine path|chosen)'

test-python: $(PY)
	$(NEED) test
	$(PY) -m pip install --quiet '.[test]'
	$(PY) -m pytest

test-python-3.13:
	$(MAKE) test-python VENV=build/venv-3.13 \
		PYTHON="$$(pyenv prefix "$$(pyenv latest 3.13)")/bin/python3.13"

# The stubs against the built module, and strict mypy over the examples and
# the tests.
typecheck: install
	$(PY) -m pip install --quiet '.[test]' mypy
	$(PY) -m mypy.stubtest kestrelbox
	$(PY) -m mypy --strict examples tests/python

# A wheel in dist/, installed into a venv of its own, where the Python tests
# run against it.
WHEEL_VENV := build/wheel-venv
wheel: $(PY)
	rm -rf dist
	$(PY) -m pip wheel --quiet --no-deps . -w dist

wheel-test: wheel
	rm -rf $(WHEEL_VENV)
	$(PYTHON) -m venv $(WHEEL_VENV)
	$(WHEEL_VENV)/bin/python -m pip install --quiet --upgrade pip
	$(WHEEL_VENV)/bin/python -m pip install --quiet dist/kestrelbox-*.whl pytest hypothesis cryptography
	cd $(WHEEL_VENV) && bin/python -c "import kestrelbox, sys; print('testing', kestrelbox.__file__); assert kestrelbox.__file__.startswith(sys.prefix)"
	$(WHEEL_VENV)/bin/python -m pytest

# The C++ tests under AddressSanitizer and UndefinedBehaviorSanitizer; any
# report fails the run.
SANITIZE := -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
sanitize:
	$(NEED) sanitize
	cmake -S . -B build/sanitize $(RELEASE) -DCMAKE_CXX_FLAGS="-g $(SANITIZE)"
	cmake --build build/sanitize -j $(JOBS) --target kestrelbox_tests
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --test-dir build/sanitize --output-on-failure -j $(JOBS)

# libFuzzer over the codec with clang, ASan and UBSan, for FUZZ_SECONDS; new
# inputs go to build/fuzz/corpus and any crash, leak or timeout input to
# build/fuzz/, the seeds in fuzz/corpus stay as they are. An input that
# crashes a harness belongs in fuzz/regressions, which `make test` replays.
# Then the Python entry points under atheris for as long.
FUZZ_SECONDS ?= 60
fuzz: $(PY)
	$(NEED) fuzz
	cmake -S . -B build/fuzz -DCMAKE_CXX_COMPILER=clang++ $(RELEASE) -DKESTRELBOX_FUZZER=ON \
		-DCMAKE_CXX_FLAGS="-g $(SANITIZE) -fsanitize=fuzzer-no-link"
	cmake --build build/fuzz -j $(JOBS) --target fuzz_codec
	mkdir -p build/fuzz/corpus
	build/fuzz/fuzz_codec -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
		-artifact_prefix=build/fuzz/ build/fuzz/corpus fuzz/corpus
	$(PY) -m pip install --quiet . atheris
	mkdir -p build/fuzz/python-corpus
	$(PY) fuzz/fuzz_module.py -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
		-artifact_prefix=build/fuzz/ build/fuzz/python-corpus fuzz/corpus

# Constant time checked by valgrind's memcheck over the engine and codec at
# the release flags (tests/ct/run says what passes).
ct:
	$(NEED) ct
	cmake -S . -B build/ct $(RELEASE) -DCMAKE_CXX_FLAGS=-g -DKESTRELBOX_CT=ON
	cmake --build build/ct -j $(JOBS) --target ct_harness
	tests/ct/run build/ct/ct_harness

# Not part of `make test`: the Python comparison with its table and plot,
# then the engine micro-benchmark when Google Benchmark is installed.
bench: $(PY)
	$(NEED) test
	$(PY) -m pip install --quiet '.[bench]'
	$(PY) bench/bench.py
	cmake -S . -B build/cpp $(RELEASE)
	cmake --build build/cpp -j $(JOBS)
	if [ -x build/cpp/bench_engine ]; then build/cpp/bench_engine; fi

clean:
	rm -rf build dist $(VENV)
