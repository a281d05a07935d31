# Developer entry points. `make test` and `make demo` work on a fresh machine:
# they install what is missing (Debian packages, a virtual environment).
PYTHON ?= python3
VENV ?= .venv
VPY := $(VENV)/bin/python
CPP_BUILD ?= build/cpp
APT_PACKAGES ?= libgtest-dev
LINT_APT_PACKAGES := clang-format clang-tidy
CXX_SOURCES = $(shell git ls-files 'src/*.cpp' 'src/*.hpp' 'tests/cpp/*.cpp' 'tests/cpp/*.hpp' 'fuzz/*.cpp' 'bench/*.cpp')
TIDY_SOURCES = $(shell git ls-files 'src/*.cpp')

.PHONY: all deps venv install test test-py test-cpp demo lint format clean

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

$(VENV)/.ready: requirements-dev.txt
	$(PYTHON) -m venv $(VENV)
	$(VPY) -m pip install -q --upgrade pip
	$(VPY) -m pip install -q -r requirements-dev.txt
	touch $@

venv: $(VENV)/.ready

install: venv
	$(VPY) -m pip install -q --no-build-isolation --no-deps .

test-py: install
	$(VPY) -m pytest -q

test-cpp: deps venv
	$(VENV)/bin/cmake -S . -B $(CPP_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV))/bin/ninja \
	  -DQUORVATINE_TESTS=ON -DPython_EXECUTABLE=$(abspath $(VPY)) >/dev/null
	$(VENV)/bin/cmake --build $(CPP_BUILD)
	$(VENV)/bin/ctest --test-dir $(CPP_BUILD) --output-on-failure -j2

test: test-cpp test-py

demo: install
	$(VPY) examples/node_arrays.py

lint: test-cpp
	@$(MAKE) --no-print-directory deps APT_PACKAGES="$(LINT_APT_PACKAGES)"
	clang-format --dry-run -Werror $(CXX_SOURCES)
	clang-tidy -p $(CPP_BUILD) --quiet $(TIDY_SOURCES)

format:
	clang-format -i $(CXX_SOURCES)

clean:
	rm -rf build
