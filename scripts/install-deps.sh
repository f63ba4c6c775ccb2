#!/usr/bin/env bash
# Installs the Debian packages that building and testing Kestu needs.
# Does nothing when they are all present; otherwise installs the missing ones
# as root or through sudo, or says which to install by hand.
set -euo pipefail

PACKAGES=(
  cmake g++ make
  qt6-base-dev qt6-base-private-dev libqt6sql6-sqlite libqt6sql6-psql postgresql
  libgtest-dev libbenchmark-dev
  xvfb xauth xdotool imagemagick
  libsqlite3-dev libpq-dev locales
  clang libclang-rt-14-dev
  libcpp-httplib-dev chromium sqlite3 python3
  nlohmann-json3-dev iproute2
  dpkg-dev lintian desktop-file-utils man-db
)

# Node.js and npm for the browser and validator tests: Debian's, unless the
# machine already has them from elsewhere (whose nodejs ships its own npm
# and conflicts with Debian's package of it).
command -v node >/dev/null 2>&1 || PACKAGES+=(nodejs)
command -v npm >/dev/null 2>&1 || PACKAGES+=(npm)

missing=()
for package in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  if [[ "$status" != "install ok installed" ]]; then
    missing+=("$package")
  fi
done

# The tests also run under a comma-decimal locale, which a fresh machine lacks.
needs_locale() { ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; }

if [[ ${#missing[@]} -eq 0 ]] && ! needs_locale; then
  exit 0
fi

if [[ $(id -u) -eq 0 ]]; then
  as_root() { env DEBIAN_FRONTEND=noninteractive "$@"; }
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  as_root() { sudo -n env DEBIAN_FRONTEND=noninteractive "$@"; }
else
  echo "install-deps: these packages are missing: ${missing[*]}" >&2
  echo "install-deps: run as root, or install them by hand:" >&2
  echo "  sudo apt-get install ${missing[*]}" >&2
  exit 1
fi

if [[ ${#missing[@]} -gt 0 ]]; then
  echo "install-deps: installing ${missing[*]}"
  as_root apt-get update
  as_root apt-get install -y --no-install-recommends "${missing[@]}"
fi
if needs_locale; then
  echo "install-deps: generating the de_DE.UTF-8 locale for the tests"
  as_root localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
