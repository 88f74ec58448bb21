#!/usr/bin/env bash
# The main job: builds the Linux driver and the Windows DLL, registers the
# driver in a private unixODBC configuration, shows that it loads, starts
# vornd on the sample database and connects (and, as the driver grows, runs
# queries) through the driver manager with isql.
# Installs the Debian packages it needs first (scripts/packages.sh).
# Build trees go to build-demo/ (VORN_DEMO_DIR overrides).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${VORN_DEMO_DIR:-$ROOT/build-demo}
JOBS=${VORN_JOBS:-2}
source "$ROOT/scripts/packages.sh"
vorn_ensure_packages build
source "$ROOT/scripts/odbc-env.sh"
mkdir -p "$OUT"

say() { printf '\n== %s\n' "$*"; }
exported() { sed -e 's/#.*//' -e '/\[windows\]/d' -e 's/[[:space:]]//g' "$ROOT/driver/exports.list" | grep -v '^$' || true; }
exports_has() { exported | grep -qx "$1"; }

build_linux() {
  say "Building the Linux driver ($OUT/linux)"
  cmake -S "$ROOT" -B "$OUT/linux" -DVORN_TESTS=OFF >"$OUT/linux-configure.log"
  local targets=(vornodbc)
  [[ -f $ROOT/server/CMakeLists.txt ]] && targets+=(vornd)
  cmake --build "$OUT/linux" -j "$JOBS" --target "${targets[@]}" >"$OUT/linux-build.log"
  SO=$OUT/linux/libvornodbc.so
  VORND=$OUT/linux/server/vornd
  echo "built $SO"
}

build_windows() {
  say "Building the Windows DLL with mingw-w64 ($OUT/win)"
  bash "$ROOT/scripts/fetch-expat.sh" >/dev/null 2>"$OUT/fetch-expat.log" ||
    { cat "$OUT/fetch-expat.log" >&2; echo "could not fetch Expat's source for the Windows build" >&2; return 1; }
  cmake -S "$ROOT" -B "$OUT/win" -DVORN_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" >"$OUT/win-configure.log"
  cmake --build "$OUT/win" -j "$JOBS" --target vornodbc >"$OUT/win-build.log"
  local dll=$OUT/win/vornodbc64.dll dump
  dump=$(x86_64-w64-mingw32-objdump -p "$dll")
  echo "built $dll"
  echo "  imports: $(awk '/DLL Name:/ {printf "%s ", $3}' <<<"$dump")"
  echo "  exports: $(awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && NF == 0 {on=0} on {printf "%s ", $NF}' <<<"$dump")"
}

register_driver() {
  say "Registering the driver in a private unixODBC configuration ($OUT/odbc)"
  vorn_odbc_config "$OUT/odbc" "$SO"
  echo "ODBCSYSINI=$ODBCSYSINI"
  if exports_has DllRegisterServer; then
    # The library's own registration replaces the entry written above: a copy
    # of the library beside odbcinst.ini, entered under its description.
    echo "\$ DllRegisterServer()"
    /usr/bin/python3 - "$SO" <<'PY'
import ctypes, sys
rc = ctypes.CDLL(sys.argv[1]).DllRegisterServer() & 0xFFFFFFFF
print("returned 0x%08X" % rc)
sys.exit(rc != 0)
PY
  fi
  echo "\$ odbcinst -q -d"
  odbcinst -q -d
  echo "\$ odbcinst -q -d -n \"$VORN_DRIVER_NAME\""
  odbcinst -q -d -n "$VORN_DRIVER_NAME"
}

show_load() {
  say "Loading the driver the way the driver manager does (dlopen, all symbols bound now)"
  /usr/bin/python3 - "$SO" <<'PY'
import ctypes, os, sys
lib = ctypes.CDLL(sys.argv[1], mode=os.RTLD_NOW | os.RTLD_LOCAL)
print("loaded", sys.argv[1])
PY
  local names
  names=$(exported | tr '\n' ' ')
  echo "exported ODBC functions: ${names:-none yet}"
}

# vornd on the sample database, a data source for it, a connection through
# the driver manager; queries once the driver can execute them.
run_server() {
  say "Starting vornd on the sample database (server/sample.sql)"
  rm -f "$OUT/demo.db" "$OUT/demo.db-wal" "$OUT/demo.db-shm"
  vorn_start_vornd "$VORND" "$OUT/demo.db" "$OUT/vornd.log" "$OUT/vornd.pid" \
    --init-sql "$ROOT/server/sample.sql"
  trap 'vorn_stop_vornd "$OUT/vornd.pid"' EXIT
  vorn_odbc_add_dsn "$OUT/odbc" VORN_DEMO 127.0.0.1 "$VORN_PORT" "LogLevel=0"
  echo "vornd on 127.0.0.1:$VORN_PORT (log $OUT/vornd.log); data source VORN_DEMO in $ODBCSYSINI/odbc.ini"

  say "Connecting through the driver manager"
  echo "\$ isql -v VORN_DEMO"
  local out
  out=$(isql -v VORN_DEMO </dev/null 2>&1) || true
  echo "$out"
  grep -q 'Connected!' <<<"$out" || { echo "the driver did not connect" >&2; return 1; }

  if exports_has SQLExecDirect && [[ -f $ROOT/scripts/demo.sql ]]; then
    say "Queries with isql"
    echo "\$ isql -v -b VORN_DEMO < scripts/demo.sql"
    isql -v -b VORN_DEMO <"$ROOT/scripts/demo.sql"
  else
    say "Not yet"
    echo "Still to come: queries on the sample database with isql (they run by themselves once"
    echo "the driver exports SQLExecDirect and scripts/demo.sql holds them)."
  fi

  vorn_stop_vornd "$OUT/vornd.pid"
  trap - EXIT
}

build_linux
build_windows
register_driver
show_load

if [[ -x ${VORND:-} ]] && exports_has SQLConnect; then
  run_server
else
  say "Not yet"
  echo "Still to come: start vornd on the sample database, add a data source for it to this"
  echo "private configuration, connect and run queries through the driver manager with isql."
  echo "That part runs by itself once vornd builds and the driver exports SQLConnect."
fi
say "Done"
