#!/usr/bin/env bash
# Runs lab_page.mjs: installs playwright-core from package-lock.json when it
# is missing, and drives Debian's Chromium. Usage: run_lab_page.sh KESTUCTL [SCREENSHOT.png]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [[ ! -d "$here/node_modules/playwright-core" ]]; then
  (cd "$here" && npm ci --no-audit --no-fund >/dev/null)
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
node "$here/lab_page.mjs" "$1" "$work" "${2:-}"
