# Short names for the README's commands; CMake does the real work.
BUILD := build
SANITIZE := build-sanitize
PACKAGE := build-package
WEB := build-web

# The pictures live until the process ends, by design, so leaks are not looked for.
ASAN_OPTIONS := detect_leaks=0:abort_on_error=0

# How long make test fuzzes on each SDL 1.2; make fuzz FUZZ_SECONDS=3600 for longer.
FUZZ_SECONDS := 30

.PHONY: all toy build run test fuzz bench package web web-page web-run po clean

all: build

# Only the toy, with only what it needs: someone who wants to play gets no test tools.
toy:
	@scripts/install-deps run
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DDRESSUP_TESTS=OFF
	cmake --build $(BUILD) -j 2

# The toy and its tests.
build:
	@scripts/install-deps test
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DDRESSUP_TESTS=ON
	cmake --build $(BUILD) -j 2

# The toy reads its pictures from the working directory.
run: toy
	cd pictures && ../$(BUILD)/dressup

# Every test, the page's too where Emscripten could be installed, then every test again with the
# sanitizers on, then a while of fuzzing.
test: build
	@if command -v emcmake >/dev/null; then $(MAKE) --no-print-directory web-page; fi
	cd $(BUILD) && ctest --output-on-failure -j 2
	cmake -S . -B $(SANITIZE) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDRESSUP_SANITIZE=ON
	cmake --build $(SANITIZE) -j 2
	cd $(SANITIZE) && ASAN_OPTIONS=$(ASAN_OPTIONS) ctest --output-on-failure -j 2
	scripts/fuzz $(FUZZ_SECONDS)

fuzz:
	scripts/fuzz $(FUZZ_SECONDS)

bench:
	scripts/bench

# dressup_<version>_<arch>.deb in build-package/, built as Debian builds, hardened. Its times
# are the last commit's, so every clone of a commit gives the same bytes.
package:
	@scripts/install-deps package
	cmake -S . -B $(PACKAGE) -DCMAKE_BUILD_TYPE=Release -DDRESSUP_TESTS=OFF -DDRESSUP_DEBIAN_BUILD=ON
	cmake --build $(PACKAGE) -j 2
	cd $(PACKAGE) && SOURCE_DATE_EPOCH=$$(git log -1 --format=%ct) cpack

# The toy as a web page in build-web/, built by Emscripten: index.html and its files.
web:
	@scripts/install-deps web
	@$(MAKE) --no-print-directory web-page

web-page:
	emcmake cmake -S . -B $(WEB) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(WEB) -j 2

# Serves the page on this machine only; any static host serves it as well.
web-run: web
	scripts/serve $(WEB)

# After a change to the words of the menu entry, the metainfo or the page: the template again,
# and each translation brought up to it, new words left for its translator.
po:
	xgettext --from-code=UTF-8 --keyword=_ --package-name=dressup \
	  --copyright-holder="the dressup authors" --no-wrap -o po/dressup.pot \
	  desktop/dressup.desktop.in desktop/dressup.metainfo.xml.in \
	  src/web/words.js src/web/page.js src/web/pointer.js src/web/pieces.js src/web/places.js
	for lang in $$(grep -v '^#' po/LINGUAS); do \
	  msgmerge --quiet --update --backup=none --no-wrap po/$$lang.po po/dressup.pot; done

clean:
	rm -rf $(BUILD) $(SANITIZE) $(PACKAGE) $(WEB) build-fuzz
