#!/usr/bin/env bash
# Draws the README's pictures again into docs/: the simulation window three
# minutes into an Experiment trial (docs/plant.png). Run after `make build`.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
QT_QPA_PLATFORM=offscreen build/bin/kestu-screenshots docs
