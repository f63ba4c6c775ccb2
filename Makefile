# Kestu: build, set up and run. See README.md.

BUILD_DIR := build
BIN := $(BUILD_DIR)/bin
# The study (database, trial logs, snapshots) lives outside the build, so
# `make clean` never touches participants' data.
STUDY := study
DB := $(STUDY)/KESTU.MDB

.PHONY: deps build program db run test bench clean

deps:
	@bash scripts/install-deps.sh

# Everything: the programs, the tests, the benchmarks.
build: deps
	@bash scripts/quiet-build.sh $(BUILD_DIR)

# Only what `make run` needs: the program and the tool that makes a database.
program: deps
	@bash scripts/quiet-build.sh $(BUILD_DIR) kestu kestu-initdb

# A database with the standard scenario in the study folder; an existing
# file (with its participants and results) is never touched.
db: program
	@mkdir -p $(STUDY)
	@if [ -e $(DB) ]; then echo "$(DB) exists; left as it is"; else $(BIN)/kestu-initdb $(DB); fi

run: program db
	@echo "Study folder: $(CURDIR)/$(STUDY) (database, trial logs and snapshots; back it up from there)"
	@mkdir -p -m 700 /tmp/runtime-$$(id -u)
	@XDG_RUNTIME_DIR=$${XDG_RUNTIME_DIR:-/tmp/runtime-$$(id -u)} $(BIN)/kestu --data $(STUDY)

test: build
	QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD_DIR) --output-on-failure
	bash tests/fuzz/run_fuzz.sh 20

bench: build
	@found=no; \
	for program in $(BIN)/bench_*; do \
	  [ -x "$$program" ] || continue; \
	  found=yes; echo "== $$program"; "$$program" || exit 1; \
	done; \
	[ $$found = yes ] || echo "no benchmark programs in $(BIN)"

clean:
	rm -rf $(BUILD_DIR)

# The fuzz targets built with clang into build-fuzz/ and run FUZZ_SECONDS each
# (default 300) on a scratch copy of their corpora; fails when one finds a fault.
.PHONY: fuzz
fuzz:
	bash tests/fuzz/run_fuzz.sh $(or $(FUZZ_SECONDS),300)
