# The two commands of the README.
#   make play  - install what is missing, build, and start the configurator in build/game/
#   make play BOTS=3 [SKILL=1|2|3] - build and play against three computer players in build/game/ (skill 1 unless SKILL)
#   make test  - install what is missing, build (normal and sanitized) and run every test headless
#   make install [PREFIX=/usr/local] [DESTDIR=...] - install the game from build/
#   make package - build/morvane_<version>_amd64.deb, building only what it holds
#   make fuzz  - build the fuzz targets with clang and run each for FUZZ_SECONDS (default 180)
#   make soak  - an eight-player game (a host and seven computer players) on a bad
#                link for SOAK_MINUTES (default 10), sanitized; needs root
#   make soak SOAK_HOST=server - the same with morvane-server hosting, without a
#                display, in place of the windowed game program
#   make soak SOAK_MODE=player - the shipped game played by a scripted newcomer
#                against three computer players on a busy machine for SOAK_MINUTES;
#                counts crashes and keeps their cores and backtraces
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
FUZZ_SECONDS ?= 180
FUZZ_TARGETS ?=
SOAK_MINUTES ?= 10
SOAK_MODE ?= network
SOAK_HOST ?= game
BOTS ?=
SKILL ?=

.PHONY: play test deps build build-asan bench fuzz soak clean install package

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j $(JOBS)

build-asan: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DMORVANE_SANITIZE=ON >/dev/null
	@cmake --build build-asan -j $(JOBS)

play: build
	@BOTS="$(BOTS)" SKILL="$(SKILL)" scripts/play.sh

test: build build-asan
	@scripts/run-tests.sh

install: build
	@DESTDIR="$(DESTDIR)" cmake --install build --prefix "$(PREFIX)"

package: deps
	@cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j $(JOBS) --target package_contents
	@cd build && cpack -G DEB
	@ls build/morvane_*.deb

fuzz: deps
	@cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_FUZZ=ON \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build build-fuzz --target fuzz_programs -j $(JOBS)
	@FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_TARGETS="$(FUZZ_TARGETS)" scripts/run-fuzz.sh

# The network soak runs the sanitized programs; the player's soak the shipped ones.
soak: $(if $(filter player,$(SOAK_MODE)),build,build-asan)
	@SOAK_MINUTES=$(SOAK_MINUTES) SOAK_HOST=$(SOAK_HOST) xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp -noreset" \
	  scripts/$(if $(filter player,$(SOAK_MODE)),soak-player.sh,soak.sh)

bench: build
	@scripts/run-bench.sh

clean:
	rm -rf build build-asan build-fuzz
