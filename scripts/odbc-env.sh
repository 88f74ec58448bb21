# Sourced by the demo and the integration tests: a private unixODBC
# configuration (ODBCSYSINI/ODBCINI inside a build tree, never /etc) and a
# vornd on a free loopback port.

VORN_DRIVER_NAME="Kalmo VORNsql driver"

# vorn_odbc_config DIR DRIVER_SO
# Writes DIR/odbcinst.ini registering the driver, an empty DIR/odbc.ini, and
# points this shell's ODBCSYSINI and ODBCINI at them.
vorn_odbc_config() {
  local dir=$1 so=$2
  mkdir -p "$dir"
  cat >"$dir/odbcinst.ini" <<INI
[$VORN_DRIVER_NAME]
Description = VORN text-retrieval database (vornodbc)
Driver = $so
Setup = $so
FileUsage = 0
INI
  : >"$dir/odbc.ini"
  export ODBCSYSINI=$dir
  export ODBCINI=$dir/odbc.ini
}

# vorn_odbc_add_dsn DIR DSN SERVER SERVICE [Key=Value ...]
# Adds a data source for the driver to DIR/odbc.ini.
vorn_odbc_add_dsn() {
  local dir=$1 dsn=$2 server=$3 service=$4; shift 4
  {
    echo "[$dsn]"
    echo "Driver = $VORN_DRIVER_NAME"
    echo "Description = vornd on $server:$service"
    echo "Server = $server"
    echo "Service = $service"
    local kv
    for kv in "$@"; do echo "${kv%%=*} = ${kv#*=}"; done
    echo
  } >>"$dir/odbc.ini"
}

# vorn_start_vornd VORND DBFILE LOGFILE PIDFILE [vornd options ...]
# Starts vornd in the background on a free loopback port (it picks the port
# and prints it), detached from this shell's output, and waits until it
# listens; sets VORN_PORT. Fails, and stops it, when it exits or does not
# listen within 20 seconds.
vorn_start_vornd() {
  local vornd=$1 db=$2 log=$3 pidfile=$4; shift 4
  : >"$log"
  setsid "$vornd" --db "$db" --listen 127.0.0.1:0 --log - "$@" </dev/null >>"$log" 2>&1 &
  local pid=$! i line
  echo "$pid" >"$pidfile"
  VORN_PORT=
  for ((i = 0; i < 200; i++)); do
    line=$(grep -m1 -o 'vornd listening on [^ ]*' "$log" || true)
    if [[ -n $line ]]; then
      VORN_PORT=${line##*:}
      return 0
    fi
    if ! kill -0 "$pid" 2>/dev/null; then
      echo "vornd exited at start; its log ($log):" >&2
      tail -n 20 "$log" >&2
      rm -f "$pidfile"
      return 1
    fi
    sleep 0.1
  done
  echo "vornd does not listen after 20 s; its log ($log):" >&2
  tail -n 20 "$log" >&2
  vorn_stop_vornd "$pidfile"
  return 1
}

# vorn_stop_vornd PIDFILE: stops the vornd started with that pid file.
vorn_stop_vornd() {
  local pidfile=$1 pid i
  [[ -f $pidfile ]] || return 0
  pid=$(cat "$pidfile")
  rm -f "$pidfile"
  kill "$pid" 2>/dev/null || return 0
  for ((i = 0; i < 50; i++)); do
    kill -0 "$pid" 2>/dev/null || return 0
    # Stopped but not yet reaped by its new parent counts as gone.
    [[ $(ps -o stat= -p "$pid" 2>/dev/null) == Z* ]] && return 0
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null
  return 0
}
