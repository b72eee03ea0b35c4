# zelk: `make test` and `make demo` set up what they need on a fresh machine.
#
#   make test   install missing system packages (apt, as root) and Python
#               packages (.venv), build, run the C++ and Python tests
#   make bench  build and run the C++ benchmarks (Release)
#   make demo   replay the bundled sample data in batch and live, check they
#               agree, write examples/out/spec.json and a chart
#   make bench-python  Python side-by-side benchmarks (pandas, pure Python)

SHELL := /bin/bash
.SHELLFLAGS := -eu -o pipefail -c
.DEFAULT_GOAL := test

PYTHON ?= python3
VENV := .venv
VPY := $(VENV)/bin/python
BUILD := build/test
BENCH_BUILD := build/bench
APT_PACKAGES := g++ cmake ninja-build libgtest-dev libbenchmark-dev libfmt-dev
# Marker headers proving each Debian package is present.
APT_MARKERS := /usr/include/gtest/gtest.h /usr/include/benchmark/benchmark.h /usr/include/fmt/format.h
PY_BUILD_DEPS := scikit-build-core nanobind numpy pytest cmake ninja

.PHONY: test cpp-test py-test bench bench-python demo system-deps venv python-build clean

test: cpp-test py-test

system-deps:
	@missing=0; for f in $(APT_MARKERS); do [ -e $$f ] || missing=1; done; \
	for t in g++ cmake ninja; do command -v $$t >/dev/null || missing=1; done; \
	if [ $$missing = 1 ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    export DEBIAN_FRONTEND=noninteractive; \
	    apt-get update -q && apt-get install -y -q --no-install-recommends $(APT_PACKAGES); \
	  else \
	    echo "missing system packages; run as root or install: $(APT_PACKAGES)" >&2; exit 1; \
	  fi; \
	fi

$(VENV)/.ready: pyproject.toml
	$(PYTHON) -m venv $(VENV)
	$(VPY) -m pip install -q --upgrade pip
	$(VPY) -m pip install -q $(PY_BUILD_DEPS)
	touch $@

venv: $(VENV)/.ready

cpp-test: system-deps venv
	PATH="$(CURDIR)/$(VENV)/bin:$$PATH" cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	PATH="$(CURDIR)/$(VENV)/bin:$$PATH" cmake --build $(BUILD)
	cd $(BUILD) && ctest --output-on-failure

# Builds the extension into the venv (incremental: scikit-build-core keeps
# its build directory under build/).
python-build: system-deps venv
	$(VPY) -m pip install -q --no-build-isolation --no-deps .

py-test: python-build
	$(VPY) -m pytest -q tests/python

bench: system-deps venv
	PATH="$(CURDIR)/$(VENV)/bin:$$PATH" cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DZELK_BUILD_BENCH=ON -DZELK_BUILD_TESTS=OFF
	PATH="$(CURDIR)/$(VENV)/bin:$$PATH" cmake --build $(BENCH_BUILD)
	for b in $(BENCH_BUILD)/*_bench; do $$b --benchmark_min_time=0.2; done

# matplotlib is optional: without it the demo skips the chart.
demo: python-build
	$(VPY) -c 'import matplotlib' 2>/dev/null || $(VPY) -m pip install -q matplotlib \
	  || echo "matplotlib could not be installed; the demo will skip its chart" >&2
	$(VPY) examples/demo.py

bench-python: python-build
	$(VPY) -c 'import pandas, sortedcontainers' 2>/dev/null \
	  || $(VPY) -m pip install -q pandas sortedcontainers
	$(VPY) bench/python/run.py

clean:
	rm -rf build $(VENV)
