#!/usr/bin/env bash
# Draws the README's pictures again into docs/: the simulation window three
# minutes into an Experiment trial (docs/plant.png), and `kestuctl plot` of a
# reference trial with two snapshot saves and a restore (docs/plot.png).
# Run after `make build`.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
export QT_QPA_PLATFORM=offscreen
build/bin/kestu-screenshots docs
trial=tests/conformance/case_0202
build/bin/kestuctl plot "$trial/U.1" --db "$trial/scenario.sqlite" --png docs/plot.png
