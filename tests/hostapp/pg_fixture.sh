#!/usr/bin/env bash
# A throw-away PostgreSQL server for the host's tests.
#
#   pg_fixture.sh start STATE_DIR   start a server on 127.0.0.1 and a free port in a
#                                   new folder under /tmp; write its URL to
#                                   STATE_DIR/pg_url.txt
#   pg_fixture.sh stop STATE_DIR    stop that server and remove its folder
#   pg_fixture.sh restart STATE_DIR restart that server (same port and data), as an
#                                   administrator's restart would: every session ends
#
# initdb and pg_ctl refuse to run as root, so as root they run as the
# "postgres" user. Starting again first stops a server a previous run left.
set -euo pipefail

cmd=${1:-}
state=${2:-}
if [ -z "$cmd" ] || [ -z "$state" ]; then
  echo "usage: $0 start|stop STATE_DIR" >&2
  exit 2
fi
mkdir -p "$state"
url_file="$state/pg_url.txt"
dir_file="$state/pg_dir.txt"

PGBIN=${PGBIN:-}
if [ -z "$PGBIN" ]; then
  for v in 17 16 15 14 13; do
    if [ -x "/usr/lib/postgresql/$v/bin/initdb" ]; then PGBIN=/usr/lib/postgresql/$v/bin; break; fi
  done
fi

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

stop_server() {
  [ -f "$dir_file" ] || return 0
  local dir
  dir=$(cat "$dir_file")
  if [ -n "$dir" ] && [ -d "$dir/data" ] && [ -n "$PGBIN" ]; then
    as_owner "$PGBIN/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  case "$dir" in
    /tmp/kalmora-pg.*) rm -rf "$dir" ;;
  esac
  rm -f "$dir_file" "$url_file"
}

port_in_use() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

start_server() {
  if [ -z "$PGBIN" ]; then
    echo "PostgreSQL server programs not found (install postgresql-15)" >&2
    exit 1
  fi
  if [ "$(id -u)" -eq 0 ] && ! id postgres >/dev/null 2>&1; then
    echo "running as root but there is no 'postgres' user to run the server as" >&2
    exit 1
  fi
  stop_server

  local dir
  dir=$(mktemp -d /tmp/kalmora-pg.XXXXXX)
  echo "$dir" >"$dir_file"
  chmod 755 "$dir"
  mkdir -p "$dir/sock"
  if [ "$(id -u)" -eq 0 ]; then chown -R postgres: "$dir"; fi

  as_owner "$PGBIN/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 || {
    cat "$dir/initdb.log" >&2
    exit 1
  }

  local attempt port
  for attempt in 1 2 3 4 5 6 7 8; do
    port=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
    port_in_use "$port" && continue
    if as_owner "$PGBIN/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
      -o "-p $port -k $dir/sock -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=40" \
      start >/dev/null 2>&1; then
      echo "postgresql://postgres@127.0.0.1:$port/kalmora_test" >"$url_file"
      as_owner "$PGBIN/createdb" -h 127.0.0.1 -p "$port" -U postgres kalmora_test
      echo "PostgreSQL ready: $(cat "$url_file")"
      return 0
    fi
    echo "port $port: server did not start, trying another" >&2
  done
  cat "$dir/server.log" >&2 || true
  stop_server
  exit 1
}

restart_server() {
  [ -f "$dir_file" ] || { echo "no server to restart" >&2; exit 1; }
  local dir
  dir=$(cat "$dir_file")
  as_owner "$PGBIN/pg_ctl" -D "$dir/data" -l "$dir/server.log" -m fast -w -t 60 restart >/dev/null
}

case "$cmd" in
  start) start_server ;;
  restart) restart_server; echo "PostgreSQL restarted" ;;
  stop) stop_server; echo "PostgreSQL stopped" ;;
  *) echo "usage: $0 start|stop|restart STATE_DIR" >&2; exit 2 ;;
esac
