# bexlow: serial line to keystrokes.
#   make          build
#   make deps     install the Debian packages that build and tests need
#   make test     deps, build, every test (starts Xvfb where a test needs it)
#   make demo     the program typing what a virtual serial device sends
#   make install  install under PREFIX (default /usr/local)
#   make package  the Debian package bexlow_<version>_<arch>.deb in BUILD
#   make bench    typing and bridge benchmarks
#   make test-distro DIST=trixie     build (WERROR=1) and every test in a Debian tree of DIST
#   make package-distro DIST=trixie  DIST's .deb, built in its tree, into build-DIST/
#   make fuzz     run each fuzz target for FUZZ_SECONDS (default 60)
#   make format   apply .clang-format to every C++ file (make check-format: only check)
#   make tidy     clang-tidy (bugprone, performance) over the program's code, after make build
# SANITIZE=1 builds with AddressSanitizer and UndefinedBehaviorSanitizer.
# WERROR=1 turns compiler warnings into errors (the default under CI).
# CTEST_ARGS are passed to ctest, e.g. CTEST_ARGS='-LE office'.

BUILD ?= build
PREFIX ?= /usr/local
SANITIZE ?= 0
BUILD_TYPE ?= RelWithDebInfo
FUZZ_SECONDS ?= 60
WERROR ?= $(if $(CI),1,0)

ifeq ($(SANITIZE),1)
BUILD := $(BUILD)-sanitize
endif

CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DCMAKE_INSTALL_PREFIX=$(PREFIX) \
	-DBEXLOW_SANITIZE=$(if $(filter 1,$(SANITIZE)),ON,OFF) \
	-DBEXLOW_WERROR=$(if $(filter 1,$(WERROR)),ON,OFF) \
	$(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: all build configure deps test demo install bench package clean fuzz format check-format tidy \
	test-distro package-distro

all: build

configure:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j$$(nproc)

deps:
	scripts/deps.sh

test: deps
	$(MAKE) build
	scripts/run-tests.sh $(BUILD) $(CTEST_ARGS)

demo:
	scripts/deps.sh build demo
	$(MAKE) build
	scripts/demo.sh $(BUILD)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	cd $(BUILD) && cpack -G DEB

test-distro:
	scripts/test-distro.sh $(DIST) test

package-distro:
	scripts/test-distro.sh $(DIST) package

bench: build
	bench/run.sh $(BUILD)

fuzz:
	scripts/deps.sh build fuzz
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DBEXLOW_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build-fuzz -j$$(nproc) --target linesettings_fuzz decoder_fuzz inivalue_fuzz typedtext_fuzz
	scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

check-format:
	scripts/check-format.sh

tidy:
	scripts/tidy.sh $(BUILD)

clean:
	rm -rf build build-sanitize build-fuzz
