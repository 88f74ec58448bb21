#!/usr/bin/env bash
# Integration-test fixture (ctest runs "start" before and "stop" after the
# integration tests): a private unixODBC configuration under BUILD/it/odbc
# with the driver and the data source VORN_IT, served by a vornd on a free
# loopback port.
#
#   tests/it/it-env.sh start BUILD-DIR DRIVER-SO VORND
#   tests/it/it-env.sh stop  BUILD-DIR
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ROOT/scripts/odbc-env.sh"

cmd=$1 build=$2
it=$build/it
case $cmd in
  start)
    so=$3 vornd=$4
    mkdir -p "$it"
    vorn_stop_vornd "$it/vornd.pid"
    rm -f "$it/it.db" "$it/it.db-wal" "$it/it.db-shm"
    vorn_odbc_config "$it/odbc" "$so"
    # A fresh copy of the sample database for every run.
    vorn_start_vornd "$vornd" "$it/it.db" "$it/vornd.log" "$it/vornd.pid" \
      --init-sql "$ROOT/server/sample.sql"
    vorn_odbc_add_dsn "$it/odbc" VORN_IT 127.0.0.1 "$VORN_PORT" "LogLevel=0"
    echo "vornd (pid $(cat "$it/vornd.pid")) on 127.0.0.1:$VORN_PORT; ODBCSYSINI=$it/odbc"
    ;;
  stop)
    vorn_stop_vornd "$it/vornd.pid"
    ;;
  *)
    echo "usage: $0 start|stop BUILD-DIR ..." >&2
    exit 2 ;;
esac
