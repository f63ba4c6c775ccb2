# Kestu: build, set up and run. See README.md.

BUILD_DIR := build
BIN := $(BUILD_DIR)/bin
# The study (database, trial logs, snapshots) lives outside the build, so
# `make clean` never touches participants' data.
STUDY := study
DB := $(STUDY)/KESTU.MDB

.PHONY: deps build program kestuctl db run test bench clean package

deps:
	@bash scripts/install-deps.sh

# Everything: the programs, the tests, the benchmarks.
build: deps
	@bash scripts/quiet-build.sh $(BUILD_DIR)

# Only what `make run` needs: the program and the tool that makes a database.
program: deps
	@bash scripts/quiet-build.sh $(BUILD_DIR) program

# A database with the standard scenario in the study folder; an existing
# file (with its participants and results) is never touched.
db: program
	@mkdir -p $(STUDY)
	@if [ -e $(DB) ]; then echo "$(DB) exists; left as it is"; else $(BIN)/kestu-initdb $(DB); fi

# The experimenter's command-line tool, left out of `make run` to keep the
# first start short (it adds about half again to that build).
kestuctl: deps
	@bash scripts/quiet-build.sh $(BUILD_DIR) kestuctl
	@echo "kestuctl is $(CURDIR)/$(BIN)/kestuctl"

run: program db
	@echo "Study folder: $(CURDIR)/$(STUDY) (database, trial logs and snapshots; back it up from there)"
	@[ -x $(BIN)/kestuctl ] || echo "The experimenter's tool kestuctl is not built yet: \`make kestuctl\` builds it into $(BIN)"
	@$(BIN)/kestu --data $(STUDY)

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

# The Debian package for a lab's computers, as $(BUILD_DIR)/kestu_VERSION_amd64.deb:
# the three programs, their manual pages, the menu entry and the completion.
package: deps
	@bash scripts/quiet-build.sh $(BUILD_DIR) kestu kestuctl kestu-initdb kestu_package_files
	@bash scripts/make-package.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)

# The fuzz targets built with clang into build-fuzz/ and run FUZZ_SECONDS each
# (default 300) on a scratch copy of their corpora; fails when one finds a fault.
.PHONY: fuzz
fuzz:
	bash tests/fuzz/run_fuzz.sh $(or $(FUZZ_SECONDS),300)
