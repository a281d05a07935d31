# Developer entry points. `make test` and `make demo` work on a fresh machine:
# they install what is missing (Debian packages, a virtual environment).
PYTHON ?= python3
VENV ?= .venv
VPY := $(VENV)/bin/python
CPP_BUILD ?= build/cpp
APT_PACKAGES ?= libgtest-dev
LINT_APT_PACKAGES := clang-format clang-tidy
CXX_SOURCES = $(shell git ls-files 'src/*.cpp' 'src/*.hpp' 'tests/cpp/*.cpp' 'tests/cpp/*.hpp' 'fuzz/*.cpp' 'bench/*.cpp')
# The walk units for 16- and 32-bit code points compile the same templates as
# the 8-bit ones with a wider type: the checks read them once, through those.
TIDY_SOURCES = $(shell git ls-files 'src/*.cpp' | grep -v -E 'instances/[a-z]+_u(16|32)')

.PHONY: all deps venv build-tools install test test-py test-cpp demo docs typecheck bench bench-walk lint format clean sanitize fuzz-smoke valgrind

all: install

# Debian packages the C++ side needs; installed only when missing.
deps:
	@missing=""; for p in $(APT_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing Debian packages:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null; \
	fi

# The virtual environment with what building the package needs (all the
# demo needs), then the development tools on top of it.
$(VENV)/.build-ready: requirements-build.txt
	$(PYTHON) -m venv $(VENV)
	$(VPY) -m pip install -qq -r requirements-build.txt
	touch $@

$(VENV)/.ready: requirements-dev.txt requirements-build.txt $(VENV)/.build-ready
	$(VPY) -m pip install -qq --upgrade pip
	$(VPY) -m pip install -qq -r requirements-dev.txt
	touch $@

build-tools: $(VENV)/.build-ready
venv: $(VENV)/.ready

# Builds the package (PACKAGE: this tree, or a source distribution) and
# installs it. pip shows a build's output only with -v: of it, the compile's
# progress lines are shown (unless BUILD_PROGRESS=no, as under `make test`),
# and the whole log ($(INSTALL_LOG)) when the build fails. One compile job
# per core rather than ninja's default of more: the unit that takes longest
# then has a core to itself from the start.
PACKAGE ?= .
BUILD_PROGRESS ?= yes
INSTALL_LOG = build/install-$(subst .,,$(notdir $(VENV))).log
PROGRESS_LINES = $(if $(filter yes,$(BUILD_PROGRESS)),grep --line-buffered -E "^ *\[[0-9]+/[0-9]+\] Building" | sed -u "s/^ *//",cat >/dev/null)
install: build-tools
	@mkdir -p build
	@echo "installing quorvatine into $(VENV)$(if $(filter yes,$(BUILD_PROGRESS)),, (compile log: $(INSTALL_LOG)))"
	@CMAKE_BUILD_PARALLEL_LEVEL=$$(nproc) bash -o pipefail -c \
	  '$(VPY) -m pip install -v --no-build-isolation --no-deps $(PACKAGE) 2>&1 \
	  | tee $(INSTALL_LOG) | { $(PROGRESS_LINES); true; }' \
	  || { tail -n 100 $(INSTALL_LOG); echo "make install: pip failed, log in $(INSTALL_LOG)"; exit 1; }

test-py: install venv
	$(VPY) -m pytest -q

# ctest prints two lines per test: only its summary is shown, and the
# output of failed tests in full.
test-cpp: deps venv
	$(VENV)/bin/cmake -S . -B $(CPP_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV))/bin/ninja \
	  -DQUORVATINE_TESTS=ON -DPython_EXECUTABLE=$(abspath $(VPY)) >/dev/null
	@echo "building the C++ tests (log: $(CPP_BUILD)/build.log)"
	@$(VENV)/bin/cmake --build $(CPP_BUILD) --target prefix_tests >$(CPP_BUILD)/build.log 2>&1 \
	  || { tail -n 100 $(CPP_BUILD)/build.log; echo "make test-cpp: the build failed"; exit 1; }
	@$(VENV)/bin/ctest --test-dir $(CPP_BUILD) --output-on-failure -j2 >$(CPP_BUILD)/ctest.log 2>&1 \
	  && echo "C++ suite: $$(grep -E '^[0-9]+% tests passed' $(CPP_BUILD)/ctest.log)" \
	  || { grep -v -E '^ *Start +[0-9]+: |^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed ' $(CPP_BUILD)/ctest.log; \
	       exit 1; }

# The suites print a summary each, and failures in full; builds only their logs.
test test-py: BUILD_PROGRESS = no
test: test-cpp test-py

demo: install
	$(VENV)/bin/quorvatine --max-dist 1 speling recieve definately accomodate
	$(VENV)/bin/quorvatine --exact colour color

# The API reference, from the package's docstrings and the extension's
# stubs; a warning (a public name without a docstring, say) fails it.
DOCS_BUILD ?= build/docs
$(VENV)/.docs-ready: requirements-docs.txt $(VENV)/.build-ready
	$(VPY) -m pip install -qq -r requirements-docs.txt
	touch $@

docs: install $(VENV)/.docs-ready
	$(VPY) -m sphinx -W --keep-going -q -b html docs $(DOCS_BUILD)
	@echo "API reference: $(DOCS_BUILD)/index.html"

# Strict typing of the helper package, and the extension's stubs checked
# against the built module.
typecheck: install venv
	$(VPY) -m mypy --strict -p quorvatine
	$(VPY) -m mypy.stubtest _quorvatine quorvatine._native

# Benchmarks against the tools users would otherwise pick (lookups, builds,
# suggestion quality); setup.sh installs the word lists, the misspellings and
# the comparison tools into .venv-bench.
BENCH_ARGS ?=
# Queries of the data-scale join (bench/join.py): a million take a few minutes.
JOIN_QUERIES ?= 1000000
bench: install
	PYTHON=$(PYTHON) bash bench/setup.sh
	.venv-bench/bin/python bench/fuzzy.py $(BENCH_ARGS)
	.venv-bench/bin/python bench/build.py
	.venv-bench/bin/python bench/quality.py
	.venv-bench/bin/python bench/spelling.py
	.venv-bench/bin/python bench/suggest.py
	$(VPY) bench/calls.py
	$(VPY) bench/serial.py
	$(VPY) bench/startup.py
	.venv-bench/bin/python bench/parallel.py
	.venv-bench/bin/python bench/join.py $(JOIN_QUERIES)
	.venv-bench/bin/python bench/index.py
	.venv-bench/bin/python bench/text.py $(BENCH_ARGS)
	@$(MAKE) --no-print-directory bench-walk

# The walk alone, in C++ (Google Benchmark), in nanoseconds per visited node,
# over Debian's wamerican word list.
WALK_BUILD ?= build/walk-bench
bench-walk: venv
	@$(MAKE) --no-print-directory deps APT_PACKAGES="libbenchmark-dev wamerican"
	$(VENV)/bin/cmake -S . -B $(WALK_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV))/bin/ninja -DQUORVATINE_BENCH=ON \
	  -DQUORVATINE_MODULE=OFF -DQUORVATINE_TESTS=OFF >/dev/null
	$(VENV)/bin/cmake --build $(WALK_BUILD)
	$(WALK_BUILD)/bench/cpp/walk_bench --benchmark_filter=tree --benchmark_min_time=0.5

lint: test-cpp
	@$(MAKE) --no-print-directory deps APT_PACKAGES="$(LINT_APT_PACKAGES)"
	clang-format --dry-run -Werror $(CXX_SOURCES)
	@echo "clang-tidy: $(words $(TIDY_SOURCES)) units, $$(nproc) at a time"
	@printf '%s\n' $(TIDY_SOURCES) | xargs -P $$(nproc) -n 4 clang-tidy -p $(CPP_BUILD) --quiet

format:
	clang-format -i $(CXX_SOURCES)

# ---------------------------------------------------------------------------
# Hardening: the module under sanitizers, the fuzz targets, memcheck. The
# first two build into directories of their own and leave the installed
# module alone; memcheck runs on the installed module.

# build/sanitize-venv for .venv, build/sanitize-venv-newest for .venv-newest
SANITIZE_BUILD ?= build/sanitize-$(subst .,,$(notdir $(VENV)))
SANITIZER_REPORTS = $(abspath $(SANITIZE_BUILD))/reports
# The interpreter is not instrumented: the runtime has to be loaded before it,
# and libstdc++ with it, so that the runtime finds the C++ throw it intercepts.
ASAN_PRELOAD = $(shell g++ -print-file-name=libasan.so) $(shell g++ -print-file-name=libstdc++.so)
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:log_path=$(SANITIZER_REPORTS)/asan:log_exe_name=1 \
  LSAN_OPTIONS=suppressions=$(abspath tools/lsan.supp):print_suppressions=0:exitcode=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:log_path=$(SANITIZER_REPORTS)/ubsan:log_exe_name=1

# A build directory configured for another interpreter is started afresh:
# CMake would otherwise keep the old one's paths and build a module that this
# interpreter does not load.
define fresh_for_interpreter
	@if [ -f $(1)/CMakeCache.txt ] && \
	  ! grep -qx 'Python_EXECUTABLE:[A-Z]*=$(abspath $(VPY))' $(1)/CMakeCache.txt; then \
	  echo "$(1) was configured for another interpreter: starting it afresh"; rm -rf $(1); \
	fi
endef

# The leak checker stops the world with a tracer thread at exit; now and then
# that tracer itself crashes ("Tracer caught signal 11") when threads have just
# ended, and writes a report made of nothing but that. Such a report is shown
# but not counted: it holds no finding. Any other line counts.
LSAN_TRACER_CRASH = ^(Tracer caught signal [0-9]+: .*|==[^=]+==[0-9]+==(LeakSanitizer has encountered a fatal error\.|HINT: .*))$$
# numpy (and so pandas and pyarrow) leaves interpreter objects unreachable at
# exit; the interpreter has no frame pointers, so those stacks stop at its
# allocator and name no library. Leaks therefore do not change a process's
# exit status (LSAN_OPTIONS exitcode=0): the reports decide, and a leak report
# counts only when some stack reaches this project's sources (built with
# frame pointers here), or when it holds any other finding. A Python object leaked by this project's code
# looks like the libraries' too: the reference-count tests watch for those.
NOT_ONLY_FOREIGN_LEAKS = $(abspath src)/|ERROR: AddressSanitizer|runtime error
# Every process writes its sanitizer reports under $(SANITIZER_REPORTS); a run
# passes only when its steps pass and no report was written. Tests marked
# own_process are left out: their processes (a Dask cluster's workers, the
# pandas examples) import numpy, whose objects left at exit fail them under
# the leak checker; the columnar code they reach is covered in-process.
sanitize: deps venv
	$(call fresh_for_interpreter,$(SANITIZE_BUILD))
	$(VENV)/bin/cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS_DEBUG="-g -O0" -DCMAKE_CXX_COMPILER=g++ \
	  -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV))/bin/ninja -DQUORVATINE_SANITIZE=ON \
	  -DQUORVATINE_TESTS=ON -DPython_EXECUTABLE=$(abspath $(VPY)) >/dev/null
	$(VENV)/bin/cmake --build $(SANITIZE_BUILD) -j2
	@rm -rf $(SANITIZER_REPORTS) && mkdir -p $(SANITIZER_REPORTS)
	@status=0; \
	$(SANITIZER_ENV) $(VENV)/bin/ctest --test-dir $(SANITIZE_BUILD) --output-on-failure \
	  --no-tests=error -j2 \
	  || status=1; \
	$(SANITIZER_ENV) LD_PRELOAD="$(ASAN_PRELOAD)" PYTHONMALLOC=malloc \
	  PYTHONPATH=$(abspath $(SANITIZE_BUILD)):$(abspath python) \
	  $(VPY) -m pytest -q -p no:cacheprovider -m "not own_process" || status=1; \
	reports=""; for report in $$(ls $(SANITIZER_REPORTS)); do \
	  echo "== $$report"; cat $(SANITIZER_REPORTS)/$$report; \
	  if ! grep -v -q -E '$(LSAN_TRACER_CRASH)' $(SANITIZER_REPORTS)/$$report; then \
	    echo "(the leak checker's own tracer crashed at exit: no finding, not counted)"; \
	  elif grep -q 'ERROR: LeakSanitizer: detected memory leaks' $(SANITIZER_REPORTS)/$$report && \
	    ! grep -q -E '$(NOT_ONLY_FOREIGN_LEAKS)' $(SANITIZER_REPORTS)/$$report; then \
	    echo "(leaks at exit that no frame of this project's code allocated: not counted)"; \
	  else reports="$$reports $$report"; fi; \
	done; \
	echo "sanitize: $$(echo $$reports | wc -w) sanitizer report(s)"; \
	[ $$status -eq 0 ] && [ -z "$$reports" ]

FUZZ_BUILD ?= build/fuzz
FUZZ_SECONDS ?= 30
FUZZ_TARGETS := decode queries index
FUZZ_APT_PACKAGES := clang libclang-rt-14-dev

# The targets build unoptimised: the walks, instantiated for every row kind,
# compile three times faster than at -O1, and half a minute of fuzzing still
# runs thousands of inputs through every target.
# Each target runs for FUZZ_SECONDS on a working corpus under $(FUZZ_BUILD),
# starting from the committed seeds (fuzz/corpus/<target>, which also keeps
# every input that ever crashed). A crash, a leak, a unit slower than the
# timeout or a process above the memory limit fails the run and leaves the
# input under $(FUZZ_BUILD)/artifacts.
fuzz-smoke: venv
	@$(MAKE) --no-print-directory deps APT_PACKAGES="$(FUZZ_APT_PACKAGES)"
	$(VENV)/bin/cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O0 -g -DNDEBUG" -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV))/bin/ninja \
	  -DQUORVATINE_FUZZ=ON -DQUORVATINE_SANITIZE=ON -DQUORVATINE_MODULE=OFF >/dev/null
	$(VENV)/bin/cmake --build $(FUZZ_BUILD) -j2
	@mkdir -p $(FUZZ_BUILD)/artifacts
	@for target in $(FUZZ_TARGETS); do \
	  work=$(FUZZ_BUILD)/corpus/$$target; log=$(FUZZ_BUILD)/$$target.log; mkdir -p $$work; \
	  echo "== $${target}_fuzzer for $(FUZZ_SECONDS) s"; \
	  $(FUZZ_BUILD)/fuzz/$${target}_fuzzer -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
	    -rss_limit_mb=2048 -malloc_limit_mb=1024 -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$target- $$work fuzz/corpus/$$target \
	    >$$log 2>&1 || { tail -n 60 $$log; echo "fuzz-smoke: $$target failed, log in $$log"; exit 1; }; \
	  runs=$$(sed -n 's/^stat::number_of_executed_units: *//p' $$log); \
	  corpus=$$(grep -o 'corp: [0-9]*/[0-9]*[a-zA-Z]*' $$log | tail -n 1 | cut -d' ' -f2); \
	  echo "fuzz-smoke: $$target: $$runs executions, corpus $$corpus (units/bytes)"; \
	done

VALGRIND_LOG = build/memcheck-$(subst .,,$(notdir $(VENV))).log
# Queries, node queries, the byte form, the binding layer's failure paths and
# the reference-count loops: every entry point, a few minutes under memcheck.
VALGRIND_TESTS ?= tests/test_node_queries.py tests/test_search.py tests/test_serial.py \
  tests/test_leaks.py tests/test_module.py tests/test_binding.py
VALGRIND_PYTEST_ARGS ?= -m "not hypothesis" -k "not 100000 and not several_threads"

# No invalid access anywhere, and no definite leak: possible and reachable
# blocks are the interpreter's, which keeps much of its state until exit.
# It checks the package installed in $(VENV), the optimised build users get,
# and installs this tree there first only when no package is installed (CI
# runs it after the suite that installed the source distribution).
valgrind: venv
	@$(VPY) -c 'import sys; sys.exit(sys.version_info < (3, 12))' || { \
	  echo "make valgrind: CPython 3.11 reads uninitialised memory of its own under memcheck"; \
	  echo "(int() and int.from_bytes of small values); use 3.12 or newer, for example"; \
	  echo "  make valgrind PYTHON=python3.13 VENV=.venv-newest"; exit 1; }
	@$(MAKE) --no-print-directory deps APT_PACKAGES=valgrind
	@$(VPY) -c 'import _quorvatine, quorvatine._native' 2>/dev/null || $(MAKE) --no-print-directory install
	@mkdir -p build
	PYTHONMALLOC=malloc \
	  valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
	  --show-leak-kinds=definite --errors-for-leak-kinds=definite \
	  --suppressions=tools/valgrind.supp --log-file=$(VALGRIND_LOG) \
	  $(VPY) -m pytest -q -p no:cacheprovider $(VALGRIND_TESTS) $(VALGRIND_PYTEST_ARGS) \
	  || { head -n 300 $(VALGRIND_LOG); tail -n 20 $(VALGRIND_LOG); exit 1; }
	@grep -E 'ERROR SUMMARY|definitely lost' $(VALGRIND_LOG)

clean:
	rm -rf build
