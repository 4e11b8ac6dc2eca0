#!/usr/bin/env bash
# A private PostgreSQL server for the fleet database's tests.
#
#   postgres.sh start DIR        a cluster in DIR/data on a free TCP port of
#                                127.0.0.1 (passwords, scram-sha-256), its unix
#                                socket in DIR; writes DIR/odbcinst.ini (the
#                                PostgreSQL ODBC drivers without their /tmp
#                                logs: tests set ODBCSYSINI=DIR) and
#                                DIR/admin.txt (the administrator's ODBC
#                                connection string). Does nothing more when it
#                                already runs.
#   postgres.sh pause DIR        stops it and keeps it: a later start brings
#                                it back on the same port, with its data.
#   postgres.sh stop DIR         stops it and removes DIR; never fails.
#   postgres.sh createdb DIR NAME
#                                database NAME with the fleet schema applied,
#                                login users NAME_pc (zelt20_upload) and
#                                NAME_reader (zelt20_read); prints the ODBC
#                                connection strings, one a line:
#                                admin=..., upload=..., query=...
#   postgres.sh psql DIR CONNECTION [ARGS...]
#   postgres.sh pg_dump DIR CONNECTION [ARGS...]
#                                that program, logged in as an ODBC connection
#                                string of createdb's says (over TCP).
#
# As root it runs the server as the user "postgres" (PostgreSQL refuses to run
# as root), which then owns DIR. The schema is $ZELT20_FLEET_SCHEMA, by
# default packaging/fleet/schema.sql of this tree.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
schema=${ZELT20_FLEET_SCHEMA:-$here/../../packaging/fleet/schema.sql}
admin_user=zelt20_admin

fail() {
  echo "postgres.sh: $*" >&2
  exit 1
}

# The newest PostgreSQL's programs, 15 or later.
find_bin() {
  local dir
  if [[ -n ${ZELT20_PG_BIN:-} ]]; then
    [[ -x $ZELT20_PG_BIN/pg_ctl ]] || fail "no pg_ctl in ZELT20_PG_BIN=$ZELT20_PG_BIN"
    bin=$ZELT20_PG_BIN
    return
  fi
  bin=
  for dir in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -t/ -k5,5n); do
    local version=${dir#/usr/lib/postgresql/}
    version=${version%%/*}
    [[ $version =~ ^[0-9]+$ ]] && ((version >= 15)) && [[ -x $dir/pg_ctl ]] && bin=$dir
  done
  if [[ -z $bin ]] && command -v pg_ctl >/dev/null; then bin=$(dirname "$(command -v pg_ctl)"); fi
  [[ -n $bin ]] || fail "no PostgreSQL 15 or later (apt-get install postgresql)"
}

# The server's user: ourselves, or "postgres" when we are root.
as_server=()
server_user() {
  if [[ $(id -u) -eq 0 ]]; then
    id postgres >/dev/null 2>&1 || fail "running as root and there is no user postgres to run the server"
    as_server=(runuser -u postgres --)
  fi
}

running() { [[ -f $1/data/postmaster.pid ]] && "${as_server[@]}" "$bin/pg_ctl" status -D "$1/data" >/dev/null 2>&1; }

# A port nobody listens on now; the start retries on another should one be
# taken in between.
free_port() {
  local port
  for _ in $(seq 100); do
    port=$((20000 + RANDOM % 40000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return
    fi
  done
  fail "no free port found"
}

# The psqlODBC drivers as the system registers them, without the
# communication and debug logs that the Debian registration switches on
# (CommLog=1 writes /tmp/psqlodbc_*.log for every connecting process).
write_odbcinst() {
  local system=/etc/odbcinst.ini out=$1/odbcinst.ini
  if [[ -f $system ]] && grep -q '^\[PostgreSQL Unicode\]' "$system"; then
    awk '
      /^\[/ { keep = ($0 == "[PostgreSQL Unicode]" || $0 == "[PostgreSQL ANSI]")
              if (keep) { if (printed) print ""; print; print "CommLog=0"; print "Debug=0"; printed = 1 }
              next }
      keep && !/^(CommLog|Debug)[ \t]*=/ && NF { print }
    ' "$system" >"$out.new"
  else
    local dir
    dir=$(dirname "$(ls /usr/lib/*/odbc/psqlodbcw.so 2>/dev/null | head -n 1)")
    [[ -f $dir/psqlodbcw.so ]] || fail "no psqlODBC driver (apt-get install odbc-postgresql)"
    printf '[PostgreSQL Unicode]\nCommLog=0\nDebug=0\nDriver=%s\n\n[PostgreSQL ANSI]\nCommLog=0\nDebug=0\nDriver=%s\n' \
      "$dir/psqlodbcw.so" "$dir/psqlodbca.so" >"$out.new"
  fi
  mv "$out.new" "$out"
}

connection() { # DIR DATABASE USER PASSWORD
  printf 'Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=%s;Database=%s;Uid=%s;Pwd=%s;' \
    "$(cat "$1/port")" "$2" "$3" "$4"
}

start() {
  local dir=$1
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  if running "$dir"; then
    [[ -f $dir/admin.txt ]] || fail "$dir runs a server that is not ours"
    return
  fi
  if [[ ! -f $dir/data/PG_VERSION ]]; then
    rm -rf "$dir/data"
    umask 077
    head -c 18 /dev/urandom | base64 | tr '+/' 'xy' >"$dir/admin.pw"
    if ((${#as_server[@]})); then
      chown postgres: "$dir"
      "${as_server[@]}" test -w "$dir" || fail "the user postgres cannot reach $dir (a folder above it is closed)"
      cp "$dir/admin.pw" "$dir/server.pw" && chown postgres: "$dir/server.pw"
    else
      cp "$dir/admin.pw" "$dir/server.pw"
    fi
    "${as_server[@]}" "$bin/initdb" -D "$dir/data" -U "$admin_user" --pwfile="$dir/server.pw" \
      -A scram-sha-256 -E UTF8 --locale=C >"$dir/initdb.log" 2>&1 ||
      fail "initdb failed: $(tail -n 5 "$dir/initdb.log")"
    rm -f "$dir/server.pw"
    # A test server: nothing here needs to survive a crash.
    "${as_server[@]}" tee -a "$dir/data/postgresql.conf" >/dev/null <<EOF
listen_addresses = '127.0.0.1'
unix_socket_directories = '$dir'
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 40
EOF
    umask 022
  fi
  local port attempt
  for attempt in 1 2 3 4 5; do
    # A paused server comes back where its connection strings point.
    if ((attempt == 1)) && [[ -f $dir/port ]]; then port=$(cat "$dir/port"); else port=$(free_port); fi
    if "${as_server[@]}" "$bin/pg_ctl" start -D "$dir/data" -l "$dir/server.log" -w -t 30 \
      -o "-p $port -c timezone=UTC" >/dev/null; then
      echo "$port" >"$dir/port"
      write_odbcinst "$dir"
      connection "$dir" postgres "$admin_user" "$(cat "$dir/admin.pw")" >"$dir/admin.txt"
      echo >>"$dir/admin.txt"
      # The group roles once per cluster: databases made side by side would
      # otherwise race to make them.
      run_program psql "$dir" "$(cat "$dir/admin.txt")" -X -q -v ON_ERROR_STOP=1 -c "
        DO \$\$ BEGIN
          IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'zelt20_upload') THEN CREATE ROLE zelt20_upload NOLOGIN; END IF;
          IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'zelt20_read') THEN CREATE ROLE zelt20_read NOLOGIN; END IF;
        END \$\$;"
      return
    fi
    "${as_server[@]}" "$bin/pg_ctl" stop -D "$dir/data" -m immediate -w -t 30 >/dev/null 2>&1 || true
    echo "postgres.sh: the server did not start on port $port (attempt $attempt)" >&2
  done
  fail "the server did not start: $(tail -n 5 "$dir/server.log")"
}

pause() {
  "${as_server[@]}" "$bin/pg_ctl" stop -D "$1/data" -m fast -w -t 30 >/dev/null
}

stop() {
  local dir=$1
  if [[ -d $dir/data ]]; then
    "${as_server[@]}" "$bin/pg_ctl" stop -D "$dir/data" -m fast -w -t 30 >/dev/null 2>&1 ||
      "${as_server[@]}" "$bin/pg_ctl" stop -D "$dir/data" -m immediate -w -t 30 >/dev/null 2>&1 || true
  fi
  rm -rf "$dir" || true
  return 0
}

# Field NAME of an ODBC connection string (no braces or semicolons in values).
field() { sed -n "s/.*\(^\|;\)$1=\([^;]*\);.*/\2/p" <<<"$2"; }

run_program() { # PROGRAM DIR CONNECTION ARGS...
  local program=$1 dir=$2 conn=$3
  shift 3
  PGPASSWORD=$(field Pwd "$conn") PGCONNECT_TIMEOUT=10 "$bin/$program" \
    -h "$(field Server "$conn")" -p "$(field Port "$conn")" -U "$(field Uid "$conn")" \
    -d "$(field Database "$conn")" "$@"
}

make_database() {
  local dir=$1 name=$2
  [[ $name =~ ^[a-z][a-z0-9_]{0,50}$ ]] || fail "database name $name: lower-case letters, digits, _"
  [[ -f $dir/admin.txt ]] || fail "no server in $dir (postgres.sh start $dir)"
  [[ -f $schema ]] || fail "no schema file $schema"
  local admin pc_pw reader_pw
  admin=$(cat "$dir/admin.txt")
  pc_pw=$(head -c 12 /dev/urandom | base64 | tr '+/' 'xy')
  reader_pw=$(head -c 12 /dev/urandom | base64 | tr '+/' 'xy')
  run_program psql "$dir" "$admin" -X -q -v ON_ERROR_STOP=1 -c "CREATE DATABASE $name" >&2
  run_program psql "$dir" "$admin" -X -q -v ON_ERROR_STOP=1 \
    -c "CREATE ROLE ${name}_pc LOGIN PASSWORD '$pc_pw' IN ROLE zelt20_upload" \
    -c "CREATE ROLE ${name}_reader LOGIN PASSWORD '$reader_pw' IN ROLE zelt20_read" >&2
  admin=${admin/Database=postgres;/Database=$name;}
  run_program psql "$dir" "$admin" -X -q -v ON_ERROR_STOP=1 -f "$schema" 2>&1 |
    { grep -vx 'psql:[^ ]*: NOTICE:  zelt20 fleet schema: version 1' || true; } >&2
  ((PIPESTATUS[0] == 0)) || fail "applying $schema to $name failed"
  echo "admin=$admin"
  echo "upload=$(connection "$dir" "$name" "${name}_pc" "$pc_pw")"
  echo "query=$(connection "$dir" "$name" "${name}_reader" "$reader_pw")"
}

command=${1:-}
[[ $# -ge 2 ]] || fail "usage: postgres.sh start|pause|stop|createdb|psql|pg_dump DIR ..."
dir=$2
find_bin
server_user
case $command in
  start) start "$dir" ;;
  pause) pause "$dir" ;;
  stop) stop "$dir" ;;
  createdb)
    [[ $# -eq 3 ]] || fail "usage: postgres.sh createdb DIR NAME"
    make_database "$dir" "$3"
    ;;
  psql | pg_dump)
    [[ $# -ge 3 ]] || fail "usage: postgres.sh $command DIR CONNECTION [ARGS...]"
    run_program "$command" "$dir" "$3" "${@:4}"
    ;;
  *) fail "unknown command $command" ;;
esac
