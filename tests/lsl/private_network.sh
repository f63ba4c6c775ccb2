#!/usr/bin/env bash
# Runs a command inside a network namespace of its own in which only the
# loopback interface is up, so that nothing a test does with the Lab
# Streaming Layer (whose discovery sends to multicast addresses) can leave
# it. Where no such namespace can be made, the command runs with
# KESTU_NO_PRIVATE_NETWORK=1 set, and its tests that switch markers on skip.
#   private_network.sh COMMAND [ARG...]
set -euo pipefail
if command -v unshare >/dev/null && command -v ip >/dev/null && unshare -n true 2>/dev/null; then
  exec unshare -n bash -c 'ip link set lo up && exec "$@"' bash "$@"
fi
export KESTU_NO_PRIVATE_NETWORK=1
exec "$@"
