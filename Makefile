# The two commands of the README.
#   make play  - install what is missing, build, and start the configurator in build/game/
#   make test  - install what is missing, build (normal and sanitized) and run every test headless
#   make install [PREFIX=/usr/local] [DESTDIR=...] - install the game from build/
#   make package - build/morvane_<version>_amd64.deb
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local

.PHONY: play test deps build build-asan bench clean install package

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j $(JOBS)

build-asan: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DMORVANE_SANITIZE=ON >/dev/null
	@cmake --build build-asan -j $(JOBS)

play: build
	@scripts/play.sh

test: build build-asan
	@scripts/run-tests.sh

install: build
	@DESTDIR="$(DESTDIR)" cmake --install build --prefix "$(PREFIX)"

package: build
	@cd build && cpack -G DEB
	@ls build/morvane_*.deb

bench: build
	@scripts/run-bench.sh

clean:
	rm -rf build build-asan
