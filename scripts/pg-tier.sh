#!/usr/bin/env bash
# The real-server database tier: two throw-away PostgreSQL clusters on
# loopback, "main" and "standby", each holding the station databases with the
# tables and stored procedures the program calls, reached through unixODBC and
# the PostgreSQL ODBC driver. The tier's tests (stationdb/pgtier) skip when
# it is not running.
#
# Sourced (test.sh):  . scripts/pg-tier.sh; pg_tier_start; ...; pg_tier_stop
# Run by hand:        eval "$(scripts/pg-tier.sh start)"   # prints the exports
#                     scripts/pg-tier.sh stop "$STATIONDB_PG_DIR"
#
# pg_tier_start exports:
#   STATIONDB_PG_MAIN, STATIONDB_PG_STANDBY  connection texts of the two servers
#                                            (provider, log-in, data source; no catalog)
#   STATIONDB_PG_SUFFIX                      the catalog suffix: velkora_config_<suffix>, velkora_DATA_<suffix>
#   STATIONDB_PG_PROVIDERS                   the provider mapping the tests put into QUENLOR_DB_PROVIDERS
#   STATIONDB_PG_ODBC_OPTIONS                what they put into QUENLOR_ODBC_OPTIONS: the client
#                                            speaks GBK, the databases store UTF-8
#   STATIONDB_PG_STOP_MAIN, STATIONDB_PG_START_MAIN
#                                            commands that stop (immediately) and start the main cluster
#   STATIONDB_PG_PAUSE_MAIN, STATIONDB_PG_RESUME_MAIN
#                                            commands that freeze (SIGSTOP) the main cluster's server and
#                                            its backends, and let them go on (SIGCONT): a server that
#                                            stops answering while its connections stay up
#   STATIONDB_PG_ODD_USER, STATIONDB_PG_ODD_CATALOG
#                                            a user (same password) and an empty catalog of both
#                                            servers whose names hold ";", braces and outer blanks
#   STATIONDB_PG_DIR                         the temporary folder (data, logs, ODBC files)
#   ODBCSYSINI, ODBCINI                      the ODBC files there (odbcinst.ini keeps the system's drivers)
# The server refuses to run as root, so as root the clusters run as the user postgres.

PG_TIER_SUFFIX=T1
PG_TIER_DRIVER=pgtier
# A user and a catalog whose names hold what connection strings must quote:
# ";", braces and outer blanks.
PG_TIER_ODD_USER=' u;s{e}r '
PG_TIER_ODD_CATALOG=' c;a{t}x '

# Runs a PostgreSQL program as the clusters' owner.
pg_tier_as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

# The newest server's bin folder, or nothing.
pg_tier_bindir() {
  local d
  for d in $(printf '%s\n' /usr/lib/postgresql/*/bin | sort -V -r); do
    [ -x "$d/initdb" ] && [ -x "$d/pg_ctl" ] && { echo "$d"; return 0; }
  done
  return 1
}

pg_tier_driver_path() {
  local f
  for f in /usr/lib/x86_64-linux-gnu/odbc/psqlodbca.so /usr/lib/*/odbc/psqlodbca.so /usr/lib/odbc/psqlodbca.so; do
    [ -f "$f" ] && { echo "$f"; return 0; }
  done
  return 1
}

# A loopback port nobody listens on.
pg_tier_free_port() {
  local port
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    port=$((20000 + RANDOM % 40000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return 0; }
  done
  return 1
}

# The schema of a configuration catalog ($1: 12 or 21). Columns are read by
# position: 0 type, 1 id, 3 name, 4-6 integers, then mode 12: 7 data length,
# 8 data; mode 21: 7 a note, 8 data length, 9 data. The parent's id sits in
# column 2 and its type last, so that nothing finds them by position.
pg_tier_config_sql() {
  if [ "$1" = 12 ]; then
    echo "CREATE TABLE S_QORVA_5(NodeType integer, NodeID integer, ParentNodeID integer, NodeName varchar(80),
      V4 integer, V5 integer, V6 integer, DataLength integer, NodeData bytea, ParentNodeType integer);"
  else
    echo "CREATE TABLE PC_TB_05(NodeType integer, NodeID integer, ParentNodeID integer, NodeName varchar(80),
      V4 integer, V5 integer, V6 integer, Note varchar(40), DataLength integer, NodeData bytea,
      ParentNodeType integer);"
  fi
  cat <<'SQL'
-- The server's clock: one row the tests set.
CREATE TABLE ServerClock(rv integer NOT NULL, dt timestamp(3) NOT NULL);
INSERT INTO ServerClock VALUES(0, localtimestamp(3));
-- Return value first, then @DT.
CREATE FUNCTION SP_24(OUT "RETURN_VALUE" integer, OUT "DT" timestamp) AS
  $$ SELECT rv, dt::timestamp FROM ServerClock LIMIT 1 $$ LANGUAGE sql;
SQL
}

# The schema of a history catalog ($1: 12 or 21): the event log and the
# waveform records with the columns of the mode.
pg_tier_history_sql() {
  if [ "$1" = 12 ]; then
    echo "CREATE TABLE Waves(SerialNo bigint, StationID bigint, ChannelID bigint, MeterID bigint,
      TriggerTime timestamp(3), Millisecond integer, Unused integer, Kind integer, Wave bytea);"
  else
    echo "CREATE TABLE Waves(SerialNo bigint, TriggerTime timestamp(3), Millisecond integer, StationID bigint,
      ChannelID bigint, MeterID bigint, AuxValue integer, Kind integer, Unused varchar(20), Wave bytea);"
  fi
  cat <<'SQL'
CREATE TABLE EventLog(EventID serial PRIMARY KEY, Type integer, Byte integer, CanCancel boolean, UserID integer,
  Description varchar(256), Memo varchar(256), DataLength integer, Data bytea);
-- Returns the new entry's id.
CREATE FUNCTION PD_SP_16("Type" integer, "Byte" integer, "CanCancel" boolean, "UserID" integer,
    "Description" varchar, "Memo" varchar, "datalength" integer, "Data" bytea) RETURNS integer AS $$
  INSERT INTO EventLog(Type, Byte, CanCancel, UserID, Description, Memo, DataLength, Data)
    VALUES($1, $2, $3, $4, $5, $6, $7, $8) RETURNING EventID
$$ LANGUAGE sql;
-- A Null argument does not filter.
CREATE FUNCTION RC_W_1(stationid integer, channelid integer, meterid integer, begintm timestamp,
    endtm timestamp) RETURNS SETOF Waves AS $$
  SELECT * FROM Waves WHERE ($1 IS NULL OR StationID = $1) AND ($2 IS NULL OR ChannelID = $2)
    AND ($3 IS NULL OR MeterID = $3) AND ($4 IS NULL OR TriggerTime >= $4) AND ($5 IS NULL OR TriggerTime <= $5)
    ORDER BY SerialNo
$$ LANGUAGE sql STABLE;
SQL
}

# Creates the role and the catalogs on the cluster listening at port $1.
pg_tier_load() {
  local psql=("$PG_TIER_BIN/psql" -X -q -v ON_ERROR_STOP=1 -h "$STATIONDB_PG_DIR" -p "$1" -U postgres)
  {
    echo "CREATE ROLE quenlor LOGIN PASSWORD '${PG_TIER_PASSWORD//\'/\'\'}';"
    local db
    for db in VELKORA_BILLING DAVUREVA_HISTORY "velkora_config_$PG_TIER_SUFFIX" "velkora_DATA_$PG_TIER_SUFFIX"; do
      echo "CREATE DATABASE \"$db\" OWNER quenlor;"
    done
    echo "CREATE ROLE \"$PG_TIER_ODD_USER\" LOGIN PASSWORD '${PG_TIER_PASSWORD//\'/\'\'}';"
    echo "CREATE DATABASE \"$PG_TIER_ODD_CATALOG\" OWNER \"$PG_TIER_ODD_USER\";"
  } | pg_tier_as_owner "${psql[@]}" -d postgres || return 1
  pg_tier_config_sql 12 | pg_tier_as_owner "${psql[@]}" -U quenlor -d VELKORA_BILLING || return 1
  pg_tier_history_sql 12 | pg_tier_as_owner "${psql[@]}" -U quenlor -d DAVUREVA_HISTORY || return 1
  pg_tier_config_sql 21 | pg_tier_as_owner "${psql[@]}" -U quenlor -d "velkora_config_$PG_TIER_SUFFIX" || return 1
  pg_tier_history_sql 21 | pg_tier_as_owner "${psql[@]}" -U quenlor -d "velkora_DATA_$PG_TIER_SUFFIX" || return 1
}

# Writes a cluster's hook scripts: $1 name.
pg_tier_hooks() {
  local name=$1 data="$STATIONDB_PG_DIR/$1" owner=""
  [ "$(id -u)" -eq 0 ] && owner="runuser -u postgres -- "
  local pg_ctl="$owner$PG_TIER_BIN/pg_ctl -D \"$data\""
  printf '#!/bin/sh\n%s -m immediate -w stop >/dev/null\n' "$pg_ctl" >"$STATIONDB_PG_DIR/stop-$name"
  printf '#!/bin/sh\n%s status >/dev/null && exit 0\n%s -l "%s.log" -w -t 15 start >/dev/null\n' \
    "$pg_ctl" "$pg_ctl" "$data" >"$STATIONDB_PG_DIR/start-$name"
  # The server first, so that it starts no backend the second kill misses.
  local signal
  for signal in STOP CONT; do
    printf '#!/bin/sh\npid=$(head -n 1 "%s/postmaster.pid" 2>/dev/null) || exit 1\nkill -%s "$pid" || exit 1\nfor child in $(pgrep -P "$pid"); do kill -%s "$child"; done\nexit 0\n' \
      "$data" "$signal" "$signal" >"$STATIONDB_PG_DIR/signal-$signal-$name"
  done
}

pg_tier_connection_text() {
  echo "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=quenlor;Password=\"${PG_TIER_PASSWORD//\"/\"\"}\";Data Source=127.0.0.1,$1"
}

pg_tier_write_odbc_files() {
  local driver=$1
  {
    [ -f /etc/odbcinst.ini ] && { cat /etc/odbcinst.ini; echo; }
    printf '[%s]\nDescription=PostgreSQL ODBC driver of the test tier\nDriver=%s\n' "$PG_TIER_DRIVER" "$driver"
  } >"$STATIONDB_PG_DIR/odbcinst.ini"
  {
    printf '[pgmain]\nDriver=%s\nServername=127.0.0.1\nPort=%s\nDatabase=velkora_config_%s\n\n' \
      "$PG_TIER_DRIVER" "$PG_TIER_MAIN_PORT" "$PG_TIER_SUFFIX"
    printf '[pgstandby]\nDriver=%s\nServername=127.0.0.1\nPort=%s\nDatabase=velkora_config_%s\n' \
      "$PG_TIER_DRIVER" "$PG_TIER_STANDBY_PORT" "$PG_TIER_SUFFIX"
  } >"$STATIONDB_PG_DIR/odbc.ini"
}

# Starts both clusters and exports what the tests need; 1 (with a message)
# when the packages are missing or a cluster does not start.
pg_tier_start() {
  local driver name
  PG_TIER_BIN=$(pg_tier_bindir) || { echo "pg-tier: PostgreSQL is not installed (package postgresql)"; return 1; }
  driver=$(pg_tier_driver_path) || { echo "pg-tier: the PostgreSQL ODBC driver is not installed (package odbc-postgresql)"; return 1; }
  if [ "$(id -u)" -eq 0 ] && ! id postgres >/dev/null 2>&1; then
    echo "pg-tier: running as root needs the user postgres"
    return 1
  fi
  STATIONDB_PG_DIR=$(mktemp -d "${TMPDIR:-/tmp}/pgtier.XXXXXX") || return 1
  [ "$(id -u)" -eq 0 ] && chown postgres "$STATIONDB_PG_DIR"
  # Random, and with the characters that must be quoted on their way to the server.
  PG_TIER_PASSWORD="$(od -An -tx1 -N9 /dev/urandom | tr -d ' \n');p}w\"q'"

  # One initdb, copied: the two clusters differ only in their port.
  if ! pg_tier_as_owner "$PG_TIER_BIN/initdb" -D "$STATIONDB_PG_DIR/main" -U postgres -E UTF8 --locale=C \
      --auth-local=trust --auth-host=scram-sha-256 --no-sync >"$STATIONDB_PG_DIR/initdb.log" 2>&1; then
    echo "pg-tier: initdb failed (see $STATIONDB_PG_DIR/initdb.log)"
    return 1
  fi
  pg_tier_as_owner cp -a "$STATIONDB_PG_DIR/main" "$STATIONDB_PG_DIR/standby" || return 1
  PG_TIER_MAIN_PORT=$(pg_tier_free_port) || return 1
  PG_TIER_STANDBY_PORT=$(pg_tier_free_port) || return 1
  while [ "$PG_TIER_STANDBY_PORT" = "$PG_TIER_MAIN_PORT" ]; do PG_TIER_STANDBY_PORT=$(pg_tier_free_port) || return 1; done
  for name in main standby; do
    local port=$PG_TIER_MAIN_PORT
    [ "$name" = standby ] && port=$PG_TIER_STANDBY_PORT
    # Throw-away data: no durability, few resources.
    printf "port = %s\nlisten_addresses = '127.0.0.1'\nunix_socket_directories = '%s'\nfsync = off\nsynchronous_commit = off\nfull_page_writes = off\nmax_connections = 30\nshared_buffers = 16MB\n" \
      "$port" "$STATIONDB_PG_DIR" | pg_tier_as_owner tee -a "$STATIONDB_PG_DIR/$name/postgresql.conf" >/dev/null
    pg_tier_hooks "$name"
  done
  sh "$STATIONDB_PG_DIR/start-main" & local main_pid=$!
  sh "$STATIONDB_PG_DIR/start-standby" & local standby_pid=$!
  if ! wait "$main_pid" || ! wait "$standby_pid"; then
    echo "pg-tier: a cluster did not start (see $STATIONDB_PG_DIR/*.log)"
    pg_tier_stop
    return 1
  fi
  pg_tier_load "$PG_TIER_MAIN_PORT" & main_pid=$!
  pg_tier_load "$PG_TIER_STANDBY_PORT" & standby_pid=$!
  if ! wait "$main_pid" || ! wait "$standby_pid"; then
    echo "pg-tier: loading the schema failed"
    pg_tier_stop
    return 1
  fi
  pg_tier_write_odbc_files "$driver"

  export STATIONDB_PG_DIR
  export STATIONDB_PG_MAIN STATIONDB_PG_STANDBY STATIONDB_PG_SUFFIX STATIONDB_PG_PROVIDERS STATIONDB_PG_ODBC_OPTIONS
  export STATIONDB_PG_STOP_MAIN STATIONDB_PG_START_MAIN STATIONDB_PG_PAUSE_MAIN STATIONDB_PG_RESUME_MAIN
  export STATIONDB_PG_ODD_USER="$PG_TIER_ODD_USER" STATIONDB_PG_ODD_CATALOG="$PG_TIER_ODD_CATALOG"
  export ODBCSYSINI ODBCINI
  STATIONDB_PG_MAIN=$(pg_tier_connection_text "$PG_TIER_MAIN_PORT")
  STATIONDB_PG_STANDBY=$(pg_tier_connection_text "$PG_TIER_STANDBY_PORT")
  STATIONDB_PG_SUFFIX=$PG_TIER_SUFFIX
  STATIONDB_PG_PROVIDERS="SQLOLEDB.1=odbc:$PG_TIER_DRIVER"
  STATIONDB_PG_ODBC_OPTIONS="ConnSettings={SET client_encoding TO 'GBK'};"
  # Through sh: a temporary folder may forbid running files.
  STATIONDB_PG_STOP_MAIN="sh $(printf %q "$STATIONDB_PG_DIR/stop-main")"
  STATIONDB_PG_START_MAIN="sh $(printf %q "$STATIONDB_PG_DIR/start-main")"
  STATIONDB_PG_PAUSE_MAIN="sh $(printf %q "$STATIONDB_PG_DIR/signal-STOP-main")"
  STATIONDB_PG_RESUME_MAIN="sh $(printf %q "$STATIONDB_PG_DIR/signal-CONT-main")"
  ODBCSYSINI=$STATIONDB_PG_DIR
  ODBCINI=$STATIONDB_PG_DIR/odbc.ini
}

# Stops both clusters and removes their folder; unsets the exports.
pg_tier_stop() {
  local dir=${1:-${STATIONDB_PG_DIR:-}}
  [ -n "$dir" ] && [ -d "$dir" ] || return 0
  local name
  for name in main standby; do
    # A cluster a test left frozen or stopped is no failure.
    if [ -f "$dir/signal-CONT-$name" ]; then sh "$dir/signal-CONT-$name" 2>/dev/null || true; fi
    if [ -f "$dir/stop-$name" ]; then sh "$dir/stop-$name" 2>/dev/null || true; fi
  done
  rm -rf "$dir"
  unset STATIONDB_PG_DIR STATIONDB_PG_MAIN STATIONDB_PG_STANDBY STATIONDB_PG_SUFFIX STATIONDB_PG_PROVIDERS \
    STATIONDB_PG_ODBC_OPTIONS \
    STATIONDB_PG_STOP_MAIN STATIONDB_PG_START_MAIN STATIONDB_PG_PAUSE_MAIN STATIONDB_PG_RESUME_MAIN ODBCSYSINI ODBCINI \
    STATIONDB_PG_ODD_USER STATIONDB_PG_ODD_CATALOG
  return 0
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  case "${1:-}" in
    start)
      pg_tier_start >&2 || exit 1
      for v in STATIONDB_PG_DIR STATIONDB_PG_MAIN STATIONDB_PG_STANDBY STATIONDB_PG_SUFFIX STATIONDB_PG_PROVIDERS \
        STATIONDB_PG_ODBC_OPTIONS \
        STATIONDB_PG_STOP_MAIN STATIONDB_PG_START_MAIN STATIONDB_PG_PAUSE_MAIN STATIONDB_PG_RESUME_MAIN ODBCSYSINI ODBCINI \
        STATIONDB_PG_ODD_USER STATIONDB_PG_ODD_CATALOG; do
        printf 'export %s=%q\n' "$v" "${!v}"
      done
      ;;
    stop) pg_tier_stop "${2:-}" ;;
    *) echo "usage: $0 start | stop <folder>" >&2; exit 2 ;;
  esac
fi
