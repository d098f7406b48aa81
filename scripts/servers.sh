#!/usr/bin/env bash
# servers.sh - the database servers of the integration tests: PostgreSQL and
# MariaDB, from Debian's packages (scripts/install-deps.sh installs them),
# each in a temporary folder and listening on 127.0.0.1 only, on free ports.
#
# Four instances run: "pg" and "maria" for the tests that share them, and
# "pg-spare" and "maria-spare" for the fault tests, which stop and restart
# their server while the other tests go on. Every instance has the database
# roridb and the user rori with a password made fresh at each start.
#
# The connection facts go to an env file, KEY=VALUE a line, which the tests
# read (tests/support/odbc_env.cpp turns it into data sources):
#   RORI_SERVERS_DIR, RORI_SERVERS_SCRIPT, RORI_DB_NAME, RORI_DB_USER,
#   RORI_DB_PASSWORD, RORI_PG_DRIVER, RORI_MARIA_DRIVER, and per instance
#   RORI_PG_PORT, RORI_PG_SPARE_PORT, RORI_MARIA_PORT, RORI_MARIA_SPARE_PORT;
#   and RORI_UNUSED_PORT, a port on which nothing listened at the start.
# The file appears only once every server answers.
#
# Every statement a server receives is logged, so that tests can compare
# what reached it: PostgreSQL's in server.log (log_statement = all, each
# line led by "time [pid] user@database "), MariaDB's in general.log (the
# general query log), each in the instance's folder.
#
# Usage:
#   servers.sh start [ENV_FILE]      start all four (stopping those of an
#                                    earlier start that used ENV_FILE first)
#   servers.sh stop [ENV_FILE]       stop them and remove their folder; safe to
#                                    repeat, and without an env file it does nothing
#   servers.sh env [ENV_FILE]        print the env file; exit 1 when not running
#   servers.sh down NAME [ENV_FILE]  stop one instance, keeping its data
#   servers.sh kill NAME [ENV_FILE]  end one instance at once with SIGKILL, as a
#                                    crash would: clients hear no goodbye
#   servers.sh up NAME [ENV_FILE]    start it again on its port (after down or kill)
# ENV_FILE defaults to $RORI_SERVERS_ENV, else ${TMPDIR:-/tmp}/rori-servers.env.
set -euo pipefail

PG_DRIVER=/usr/lib/i386-linux-gnu/odbc/psqlodbcw.so
MARIA_DRIVER=/usr/lib/i386-linux-gnu/odbc/libmaodbc.so
DB_NAME=roridb
DB_USER=rori
PG_ADMIN=rori_admin
INSTANCES=(pg pg-spare maria maria-spare)
WAIT_STEPS=300 # tenths of a second that a start or a stop may take
# Test servers keep nothing: no waiting for the disk, small files.
MARIA_OPTS=(--innodb-log-file-size=16M --innodb-buffer-pool-size=64M --innodb-flush-method=nosync
  --innodb-flush-log-at-trx-commit=0 --innodb-doublewrite=0)

script=$(realpath "$0")
die() { echo "servers.sh: $*" >&2; exit 1; }

env_file_arg() {
  local f=${1:-${RORI_SERVERS_ENV:-${TMPDIR:-/tmp}/rori-servers.env}}
  case $f in /*) ;; *) f=$PWD/$f ;; esac
  echo "$f"
}

# Reads KEY=VALUE lines into the associative array E.
declare -A E
read_env() {
  E=()
  local k v
  while IFS='=' read -r k v; do
    [ -n "$k" ] && E[$k]=$v
  done <"$1"
}

pg_bin() {
  local d
  for d in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
    [ -x "$d/pg_ctl" ] && { echo "$d"; return; }
  done
  die "PostgreSQL is not installed: run scripts/install-deps.sh"
}

# PostgreSQL refuses to run as root: as root it runs as the postgres user
# that its package created, or as nobody.
pg_user() {
  if [ "$(id -u)" -ne 0 ]; then id -un
  elif getent passwd postgres >/dev/null; then echo postgres
  else echo nobody
  fi
}
as_pg_user() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u "$(pg_user)" -- "$@"; else "$@"; fi
}

# MariaDB as root must be told so; as anyone else it runs as that user.
maria_user_opt() { [ "$(id -u)" -eq 0 ] && echo --user=root || true; }

port_in_use() { [ -n "$(ss -Htln "sport = :$1" 2>/dev/null)" ]; }
# A port on which nothing listens now (the servers are started one after
# the other, so a started one is never chosen again).
free_port() {
  local i p
  for i in $(seq 200); do
    p=$((20000 + RANDOM % 40000))
    port_in_use "$p" || { echo "$p"; return; }
  done
  die "no free port found"
}

wait_until() { # wait_until CMD...: up to WAIT_STEPS tenths of a second
  local i
  for i in $(seq "$WAIT_STEPS"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}
pid_alive() { [ -n "$1" ] && kill -0 "$1" 2>/dev/null; }
pid_gone() { ! pid_alive "$1"; }

# --- PostgreSQL -----------------------------------------------------------

pg_start() { # pg_start DIR PORT
  local dir=$1 port=$2 bin
  bin=$(pg_bin)
  local out
  out=$(as_pg_user "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
    -o "-c listen_addresses=127.0.0.1 -p $port -k $dir -c fsync=off -c full_page_writes=off -c log_statement=all \
        -c log_line_prefix='%m [%p] %q%u@%d '" \
    start 2>&1) || { echo "$out" >&2; tail -20 "$dir/server.log" >&2; return 1; }
}

pg_stop() { # pg_stop DIR MODE
  local dir=$1 mode=$2 pid
  [ -f "$dir/data/postmaster.pid" ] || return 0
  pid=$(head -1 "$dir/data/postmaster.pid")
  as_pg_user "$(pg_bin)/pg_ctl" -D "$dir/data" -m "$mode" -w -t 30 stop >/dev/null 2>&1 || true
  if pid_alive "$pid"; then kill -9 "$pid" 2>/dev/null || true; wait_until pid_gone "$pid" || true; fi
}

pg_psql() { # pg_psql DIR PORT SQL...
  local dir=$1 port=$2 args=() s
  shift 2
  for s in "$@"; do args+=(-c "$s"); done
  as_pg_user "$(pg_bin)/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$port" -U "$PG_ADMIN" -d postgres "${args[@]}" >/dev/null
}

# initdb once; the spare instance starts from a copy of the same cluster.
pg_create() { # pg_create ROOT
  local root=$1 bin
  bin=$(pg_bin)
  mkdir "$root/pg" "$root/pg-spare"
  chown "$(pg_user)" "$root/pg" "$root/pg-spare" 2>/dev/null || true
  as_pg_user "$bin/initdb" -D "$root/pg/data" -U "$PG_ADMIN" --auth-local=trust \
    --auth-host=scram-sha-256 -E UTF8 --locale=C -N >"$root/pg/initdb.log" 2>&1 ||
    { cat "$root/pg/initdb.log" >&2; return 1; }
  as_pg_user cp -a "$root/pg/data" "$root/pg-spare/data"
}

pg_setup() { # pg_setup DIR PORT PASSWORD
  pg_psql "$1" "$2" "CREATE ROLE $DB_USER LOGIN PASSWORD '$3'" "CREATE DATABASE $DB_NAME OWNER $DB_USER"
}

# --- MariaDB --------------------------------------------------------------

maria_start() { # maria_start DIR PORT
  local dir=$1 port=$2
  rm -f "$dir/server.pid"
  setsid mariadbd --no-defaults --datadir="$dir/data" --tmpdir="$dir" --socket="$dir/server.sock" \
    --pid-file="$dir/server.pid" --port="$port" --bind-address=127.0.0.1 --skip-networking=0 \
    --skip-name-resolve --log-error="$dir/server.log" --general-log --general-log-file="$dir/general.log" \
    $(maria_user_opt) "${MARIA_OPTS[@]}" \
    --max-allowed-packet=64M --character-set-server=utf8mb4 \
    </dev/null >/dev/null 2>&1 &
  local pid=$!
  if ! wait_until maria_answers "$dir"; then
    kill -9 "$pid" 2>/dev/null || true
    tail -20 "$dir/server.log" >&2
    return 1
  fi
}

# The instance's server process and the processes it started.
instance_pids() { # instance_pids NAME ROOT
  local pid=""
  case $1 in
    pg | pg-spare) [ -f "$2/$1/data/postmaster.pid" ] && pid=$(head -1 "$2/$1/data/postmaster.pid") ;;
    maria | maria-spare) [ -f "$2/$1/server.pid" ] && pid=$(cat "$2/$1/server.pid") ;;
  esac
  pid_alive "$pid" || return 0
  echo "$pid"
  ps -o pid= --ppid "$pid" || true
}

maria_answers() { mariadb-admin --no-defaults -uroot --socket="$1/server.sock" ping; }

maria_stop() { # maria_stop DIR
  local dir=$1 pid
  [ -f "$dir/server.pid" ] || return 0
  pid=$(cat "$dir/server.pid")
  pid_alive "$pid" || return 0
  mariadb-admin --no-defaults -uroot --socket="$dir/server.sock" --connect-timeout=5 shutdown >/dev/null 2>&1 ||
    kill "$pid" 2>/dev/null || true
  if ! wait_until pid_gone "$pid"; then kill -9 "$pid" 2>/dev/null || true; wait_until pid_gone "$pid" || true; fi
}

maria_create() { # maria_create ROOT
  local root=$1
  mkdir "$root/maria" "$root/maria-spare"
  # Temporary files in the instance's folder, not in a /tmp shared with
  # other servers and runs.
  mariadb-install-db --no-defaults --datadir="$root/maria/data" --tmpdir="$root/maria" $(maria_user_opt) \
    --auth-root-authentication-method=normal --skip-test-db --skip-name-resolve "${MARIA_OPTS[@]}" \
    >"$root/maria/install.log" 2>&1 || { cat "$root/maria/install.log" >&2; return 1; }
  cp -a "$root/maria/data" "$root/maria-spare/data"
}

maria_setup() { # maria_setup DIR PASSWORD
  mariadb --no-defaults -uroot --socket="$1/server.sock" -e "
    CREATE DATABASE $DB_NAME;
    CREATE USER '$DB_USER'@'127.0.0.1' IDENTIFIED BY '$2';
    GRANT ALL ON $DB_NAME.* TO '$DB_USER'@'127.0.0.1';"
}

# --- one instance by name -------------------------------------------------

instance_start() { # instance_start NAME ROOT PORT
  case $1 in
    pg | pg-spare) pg_start "$2/$1" "$3" ;;
    maria | maria-spare) maria_start "$2/$1" "$3" ;;
    *) die "no instance $1" ;;
  esac
}
instance_stop() { # instance_stop NAME ROOT [pg stop mode]
  case $1 in
    pg | pg-spare) pg_stop "$2/$1" "${3:-fast}" ;;
    maria | maria-spare) maria_stop "$2/$1" ;;
    *) die "no instance $1" ;;
  esac
}
port_key() { local k=${1^^}; echo "RORI_${k//-/_}_PORT"; }

stop_all() { # stop_all ROOT: all instances at once; their data is thrown away,
  local name pids=() # so PostgreSQL skips its shutdown checkpoint
  for name in "${INSTANCES[@]}"; do instance_stop "$name" "$1" immediate & pids+=($!); done
  wait "${pids[@]}" || true
}

# --- commands -------------------------------------------------------------

cmd_stop() {
  local env_file=$1 f root
  # The .part file names the folder of a start that never finished.
  for f in "$env_file" "$env_file.part"; do
    [ -f "$f" ] || continue
    read_env "$f"
    root=${E[RORI_SERVERS_DIR]:-}
    if [ -n "$root" ] && [ -d "$root" ]; then
      stop_all "$root"
      rm -rf "$root"
    fi
    rm -f "$f"
  done
}

cmd_start() {
  local env_file=$1 root password name port i
  declare -A ports
  cmd_stop "$env_file"
  command -v mariadbd >/dev/null && command -v mariadb-install-db >/dev/null ||
    die "MariaDB is not installed: run scripts/install-deps.sh"
  [ -f "$PG_DRIVER" ] && [ -f "$MARIA_DRIVER" ] ||
    die "the 32-bit ODBC drivers are not installed: run scripts/install-deps.sh"
  pg_bin >/dev/null

  root=$(mktemp -d "${TMPDIR:-/tmp}/rori-servers-XXXXXX")
  chmod 755 "$root"
  echo "RORI_SERVERS_DIR=$root" >"$env_file.part"
  # Whatever fails from here on leaves nothing running.
  trap 'stop_all "'"$root"'"; rm -rf "'"$root"'" "'"$env_file.part"'"' EXIT
  password=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')

  pg_create "$root" & local pg_job=$!
  maria_create "$root" & local maria_job=$!
  wait "$pg_job" || die "initdb failed"
  wait "$maria_job" || die "mariadb-install-db failed"
  for name in "${INSTANCES[@]}"; do
    for i in 1 2 3; do # a port taken between the look and the start: try another
      port=$(free_port)
      if instance_start "$name" "$root" "$port"; then ports[$name]=$port; break; fi
      instance_stop "$name" "$root"
    done
    [ -n "${ports[$name]:-}" ] || die "the $name server did not start"
    case $name in
      pg*) pg_setup "$root/$name" "$port" "$password" ;;
      maria*) maria_setup "$root/$name" "$password" ;;
    esac
  done

  {
    echo "RORI_SERVERS_DIR=$root"
    echo "RORI_SERVERS_SCRIPT=$script"
    echo "RORI_DB_NAME=$DB_NAME"
    echo "RORI_DB_USER=$DB_USER"
    echo "RORI_DB_PASSWORD=$password"
    echo "RORI_PG_DRIVER=$PG_DRIVER"
    echo "RORI_MARIA_DRIVER=$MARIA_DRIVER"
    for name in "${INSTANCES[@]}"; do echo "$(port_key "$name")=${ports[$name]}"; done
    echo "RORI_UNUSED_PORT=$(free_port)"
  } >"$env_file.part"
  mv "$env_file.part" "$env_file"
  trap - EXIT
  echo "servers.sh: started pg on ${ports[pg]}, maria on ${ports[maria]} (spares ${ports[pg-spare]}, ${ports[maria-spare]}); facts in $env_file"
}

cmd_env() {
  [ -f "$1" ] || { echo "servers.sh: not running (no $1)" >&2; exit 1; }
  cat "$1"
}

cmd_down_up() { # cmd_down_up down|kill|up NAME ENV_FILE
  local what=$1 name=$2 env_file=$3 root port
  [ -f "$env_file" ] || die "not running (no $env_file)"
  read_env "$env_file"
  root=${E[RORI_SERVERS_DIR]}
  port=${E[$(port_key "$name")]:-}
  [ -n "$port" ] || die "no instance $name"
  case $what in
    down) instance_stop "$name" "$root" ;;
    kill)
      local pids p
      pids=$(instance_pids "$name" "$root")
      [ -n "$pids" ] || return 0
      # The server is held first, so that none of its processes sees another
      # end and says goodbye to its client.
      kill -STOP $pids 2>/dev/null || true
      for p in $pids; do kill -9 "$p" 2>/dev/null || true; done
      for p in $pids; do wait_until pid_gone "$p" || die "process $p of $name did not end"; done
      ;;
    up) instance_start "$name" "$root" "$port" ;;
  esac
}

case ${1:-} in
  start) cmd_start "$(env_file_arg "${2:-}")" ;;
  stop) cmd_stop "$(env_file_arg "${2:-}")" ;;
  env) cmd_env "$(env_file_arg "${2:-}")" ;;
  down | kill | up)
    [ -n "${2:-}" ] || die "usage: servers.sh $1 NAME [ENV_FILE]"
    cmd_down_up "$1" "$2" "$(env_file_arg "${3:-}")"
    ;;
  *)
    sed -n '2,/^set -euo/p' "$script" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
    ;;
esac
