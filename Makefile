# The two commands: `make run` and `make test`. Both install what is missing.
.PHONY: all deps exe host asan test unit e2e run demo fuzz lint budgets dist clean

JOBS ?= 2

all: exe

deps:
	@bash scripts/deps.sh

build/x64/kestrabin.exe build/x86/kestrabin.exe: exe
exe: deps
	cmake --preset x64 >/dev/null
	cmake --build --preset x64 -j$(JOBS)
	cmake --preset x86 >/dev/null
	cmake --build --preset x86 -j$(JOBS)

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

# Both exes under Wine on a simulated machine; the pictures in docs/ are taken on the way.
E2E = bash tests/e2e/run.sh --shots docs build/x64/kestrabin.exe build/x86/kestrabin.exe

# The host suite, the exe limits (size, no C runtime), a second build that must give the
# same exes, a short run of the fuzz target, then the Wine suite.
test: exe unit
	bash scripts/budgets.sh --check
	bash scripts/reproducible.sh
	bash tests/fuzz/run.sh 10
	$(E2E)

e2e: exe
	$(E2E)

# The x64 exe under Wine. Both run and demo print the process id to stop them with:
# Ctrl-C or kill -TERM that id (or make's) ends Wine, Xvfb and the exe. Pictures in build/run/.
run: deps
	cmake --preset x64 >/dev/null
	cmake --build --preset x64 -j$(JOBS)
	bash scripts/run.sh build/x64/kestrabin.exe

# The x64 exe on a simulated machine with two USB sticks; without a display, a short tour.
demo: deps
	cmake --preset x64 >/dev/null
	cmake --build --preset x64 -j$(JOBS)
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
