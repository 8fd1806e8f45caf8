# The two commands: `make run` and `make test`. Both install what is missing. `make help` lists all.
.PHONY: all help deps exe test run demo pictures fuzz dist lint clean
# cmake --build runs make inside make: without this every build says which folder it enters.
MAKEFLAGS += --no-print-directory

all: exe

help: ## this list
	@sed -nE 's/^([a-z]+):.*## (.*)/make \1\t\2/p' Makefile | expand -t 16

deps: ## installs what is missing (scripts/deps.sh); every target runs it
	@bash scripts/deps.sh

exe: deps ## both exes: build/x64/kestrabin.exe and build/x86/kestrabin.exe (and the Wine suite's helpers)
	cmake --preset x64 >/dev/null && cmake --build --preset x64
	cmake --preset x86 >/dev/null && cmake --build --preset x86

test: deps ## every test, through CTest: host suite plain and sanitized, fuzz smoke, exe limits, rebuild, Wine suite
	cmake --workflow --preset test

run: exe ## the x64 exe under Wine (on Xvfb, with a picture, when there is no display)
	bash scripts/run.sh build/x64/kestrabin.exe

demo: exe ## the x64 exe on a simulated machine with a USB stick and a USB SSD; without a display, a tour
	bash scripts/run.sh --demo build/x64/kestrabin.exe

pictures: exe ## the demo's tour on Xvfb; its first and third pictures copied over docs/
	env -u DISPLAY KESTRABIN_TOUR_ONLY=1 bash scripts/run.sh --demo build/x64/kestrabin.exe
	cp build/run/demo-1-menu.png docs/tray-menu.png
	cp build/run/demo-3-settings.png docs/settings.png

fuzz: deps ## the fuzz target for FUZZ_SECONDS (60)
	cmake --preset host >/dev/null && cmake --build --preset host
	FUZZ_SECONDS=$${FUZZ_SECONDS:-60} ctest --test-dir build/host -R fuzz --output-on-failure

dist: exe ## the release in dist/: a zip per exe and SHA256SUMS
	bash scripts/dist.sh

lint: deps ## clang-format and clang-tidy
	bash scripts/lint.sh

clean: ## removes build/ and dist/
	rm -rf build dist
