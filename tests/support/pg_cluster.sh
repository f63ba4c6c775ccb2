#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for the tests.
#   pg_cluster.sh start DIR   initialises a cluster in a new temporary folder,
#                             starts it on a free local port and writes its URL
#                             to DIR/url (and the folder's name to DIR/cluster)
#   pg_cluster.sh stop DIR    stops it and removes both folders
#   pg_cluster.sh halt DIR    stops the server but keeps its data (a server gone away)
#   pg_cluster.sh resume DIR  starts it again on the same port
# The server runs as the invoking user, or as "postgres" when that is root
# (the server refuses to run as root). Logins are trusted on 127.0.0.1 only.
set -euo pipefail

action=${1:?usage: pg_cluster.sh start|stop|halt|resume DIR}
dir=${2:?usage: pg_cluster.sh start|stop DIR}

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
if [[ -z "$bin" || ! -x "$bin/initdb" ]]; then
  echo "pg_cluster: the PostgreSQL server is not installed (run scripts/install-deps.sh)" >&2
  exit 1
fi

as_server() {
  if [[ $(id -u) -eq 0 ]]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

# A port nothing listens on (nothing answers a connection to it).
free_port() {
  local port
  for _ in $(seq 1 100); do
    port=$((20000 + RANDOM % 40000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  echo "pg_cluster: no free port found" >&2
  return 1
}

case "$action" in
  start)
    "$0" stop "$dir"
    mkdir -p "$dir"
    # Under /tmp, which the server's own user can always reach.
    cluster=$(mktemp -d /tmp/kestu-pg.XXXXXX)
    echo "$cluster" >"$dir/cluster"
    [[ $(id -u) -eq 0 ]] && chown postgres: "$cluster"
    as_server "$bin/initdb" -D "$cluster/data" -A trust -U postgres -E UTF8 --locale=C.UTF-8 --no-sync \
      >"$cluster/initdb.log" 2>&1 || { cat "$cluster/initdb.log" >&2; exit 1; }
    port=$(free_port)
    echo "$port" >"$dir/port"
    "$0" resume "$dir"
    echo "postgresql://postgres@127.0.0.1:$port/postgres" >"$dir/url"
    echo "pg_cluster: $(cat "$dir/url")"
    ;;
  resume)
    cluster=$(cat "$dir/cluster")
    port=$(cat "$dir/port")
    as_server "$bin/pg_ctl" -D "$cluster/data" -l "$cluster/server.log" -w -t 30 \
      -o "-c listen_addresses=127.0.0.1 -p $port -k $cluster -c fsync=off -c max_connections=200" start >/dev/null ||
      { cat "$cluster/server.log" >&2; exit 1; }
    ;;
  halt)
    as_server "$bin/pg_ctl" -D "$(cat "$dir/cluster")/data" -m fast -w stop >/dev/null
    ;;
  stop)
    if [[ -f "$dir/cluster" ]]; then
      cluster=$(cat "$dir/cluster")
      if [[ -d "$cluster/data" ]]; then
        as_server "$bin/pg_ctl" -D "$cluster/data" -m immediate -w stop >/dev/null 2>&1 || true
      fi
      [[ "$cluster" == /tmp/kestu-pg.* ]] && rm -rf "$cluster"
    fi
    rm -rf "$dir"
    ;;
  *)
    echo "usage: pg_cluster.sh start|stop|halt|resume DIR" >&2
    exit 2
    ;;
esac
