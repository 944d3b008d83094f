# Everything runs with CPython 3.12 (pinned by .python-version) in .venv.
PYTHON ?= python3.12
VENV := .venv
PY := $(VENV)/bin/python
JOBS ?= 2

.PHONY: demo test test-cpp test-python bench install clean

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
	cmake -S . -B build/cpp -DCMAKE_BUILD_TYPE=Release
	cmake --build build/cpp -j $(JOBS)
	ctest --test-dir build/cpp --output-on-failure -j $(JOBS)

test-python: $(PY)
	$(PY) -m pip install --quiet '.[test]'
	$(PY) -m pytest

# Not part of `make test`: the Python comparison with its table and plot,
# then the engine micro-benchmark when Google Benchmark is installed.
bench: $(PY)
	$(PY) -m pip install --quiet '.[bench]'
	$(PY) bench/bench.py
	cmake -S . -B build/cpp -DCMAKE_BUILD_TYPE=Release
	cmake --build build/cpp -j $(JOBS)
	if [ -x build/cpp/bench_engine ]; then build/cpp/bench_engine; fi

clean:
	rm -rf build dist $(VENV)
