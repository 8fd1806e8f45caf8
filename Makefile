# The two commands: `make run` and `make test`. Both install what is missing.
.PHONY: all help deps exe x64 host asan test unit e2e pictures run demo fuzz lint budgets dist clean

JOBS ?= 2
# cmake --build runs make inside make: without this every build says which folder it enters and leaves.
MAKEFLAGS += --no-print-directory

all: exe
	@echo "Built build/x64/kestrabin.exe and build/x86/kestrabin.exe. make help lists the other targets."

help:
	@echo "make            both exes: build/x64/kestrabin.exe, build/x86/kestrabin.exe"
	@echo "make run        the x64 exe under Wine (Xvfb and a picture when there is no display)"
	@echo "make demo       the x64 exe on a simulated machine with two USB sticks; a tour with pictures"
	@echo "make test       every test: exe limits, host suite, rebuild check, fuzz smoke, Wine suite"
	@echo "make exe        both exes"
	@echo "make unit       the host suite, plain and with AddressSanitizer and UBSan"
	@echo "make e2e        the Wine suite on both exes; its pictures go to build/pictures"
	@echo "make pictures   the Wine suite on the x64 exe, then its pictures copied over docs/"
	@echo "make fuzz       the fuzz target for FUZZ_SECONDS (60)"
	@echo "make budgets    sizes, imports, leaks on the host and under Wine; writes docs/budgets.md"
	@echo "make dist       the release in dist/: a zip per exe and SHA256SUMS"
	@echo "make lint       clang-format and clang-tidy"
	@echo "make deps       installs what is missing (scripts/deps.sh; every target runs it)"
	@echo "make clean      removes build/ and dist/"
	@echo "make x64, make host, make asan: one build each (build/x64, build/host, build/asan)"

deps:
	@bash scripts/deps.sh

build/x64/kestrabin.exe build/x86/kestrabin.exe: exe
exe: deps
	cmake --preset x64 >/dev/null
	cmake --build --preset x64 -j$(JOBS)
	cmake --preset x86 >/dev/null
	cmake --build --preset x86 -j$(JOBS)

x64: deps
	cmake --preset x64 >/dev/null
	cmake --build --preset x64 -j$(JOBS)

host: deps
	cmake --preset host >/dev/null
	cmake --build --preset host -j$(JOBS)

asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j$(JOBS)

# The host suite, plain and sanitized.
unit: host asan
	ctest --preset host
	ctest --preset asan

# The Wine suite's pictures of the x64 exe go to build/pictures, so that a test run changes no
# tracked file; make pictures copies them over docs/. run.sh wants the folder made.
SHOTS = build/pictures
E2E = mkdir -p $(SHOTS) && bash tests/e2e/run.sh --shots $(SHOTS)

# The host suite, the exe limits (size, no C runtime), a second build that must give the
# same exes, a short run of the fuzz target, then the Wine suite.
test: exe unit
	bash scripts/budgets.sh --check
	bash scripts/reproducible.sh
	bash tests/fuzz/run.sh 10
	$(E2E) build/x64/kestrabin.exe build/x86/kestrabin.exe

e2e: exe
	$(E2E) build/x64/kestrabin.exe build/x86/kestrabin.exe

# The pictures are of the x64 exe only: the suite runs on that one. Nothing is copied unless
# it passes.
pictures: x64
	rm -f $(SHOTS)/*.png
	$(E2E) build/x64/kestrabin.exe
	cp $(SHOTS)/tray-menu.png $(SHOTS)/settings.png docs/

# The x64 exe under Wine. Both run and demo print the process id to stop them with:
# Ctrl-C or kill -TERM that id (or make's) ends Wine, Xvfb and the exe. Pictures in build/run/.
run: x64
	bash scripts/run.sh build/x64/kestrabin.exe

# The x64 exe on a simulated machine with two USB sticks; without a display, a short tour.
demo: x64
	bash scripts/run.sh --demo build/x64/kestrabin.exe

FUZZ_SECONDS ?= 60
fuzz: deps
	bash tests/fuzz/run.sh $(FUZZ_SECONDS)

budgets: exe
	bash scripts/budgets.sh --write

# The release: dist/ with one zip per architecture and SHA256SUMS.
dist: exe
	bash scripts/dist.sh

clean:
	rm -rf build dist

lint: deps
	bash scripts/lint.sh
