#!/usr/bin/env bash
# Throughput and latency of vornodbc + vornd beside psqlODBC + PostgreSQL and
# SQLite ODBC, one client program (bench/odbc_bench.cpp) through unixODBC.
#
#   bash bench/run.sh               rounds of every measure, interleaved, then
#                                   medians and vornodbc's ratio to each peer
#   bash bench/run.sh --rounds N    N rounds (default 5)
#   bash bench/run.sh --callgrind   client instructions per row (valgrind)
#
# Builds a release tree in build-bench/, installs the packages of the "bench"
# stage (scripts/packages.sh) when missing, sets up the same tables in vornd,
# in a private PostgreSQL cluster and in an SQLite file, and removes all of it
# at the end. Not part of the tests: figures depend on the machine and its load.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ROUNDS=5
CALLGRIND=0
while [[ $# -gt 0 ]]; do
  case "$1" in
    --rounds) ROUNDS="$2"; shift 2 ;;
    --callgrind) CALLGRIND=1; shift ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    *) echo "unknown argument: $1 (see --help)" >&2; exit 2 ;;
  esac
done

# shellcheck source=../scripts/packages.sh
source "$ROOT/scripts/packages.sh"
vorn_ensure_packages build bench || exit 1

BUILD="$ROOT/build-bench"
echo "Building (release) in $BUILD ..." >&2
mkdir -p "$BUILD"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DVORN_TESTS=OFF >"$BUILD/bench-build.log" 2>&1 &&
  cmake --build "$BUILD" -j2 --target vornodbc vornd odbc_bench >>"$BUILD/bench-build.log" 2>&1 || {
    tail -20 "$BUILD/bench-build.log" >&2
    exit 1
  }
BENCH="$BUILD/bench/odbc_bench"
ODBC_DIR=/usr/lib/x86_64-linux-gnu/odbc
PGBIN="$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)"

WORK="$(mktemp -d /tmp/vorn-bench.XXXXXX)"
chmod 755 "$WORK"
VORND_PID=""
PG_STARTED=0
as_pg() {
  if [[ $(id -u) -eq 0 ]]; then runuser -u postgres -- "$@"; else "$@"; fi
}
cleanup() {
  [[ -n $VORND_PID ]] && kill "$VORND_PID" 2>/dev/null && wait "$VORND_PID" 2>/dev/null
  [[ $PG_STARTED -eq 1 ]] && as_pg timeout 60 "$PGBIN/pg_ctl" -D "$WORK/pg" -m fast stop >/dev/null 2>&1
  rm -rf "$WORK"
}
trap cleanup EXIT

free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# The same tables everywhere: 100,000 rows of five columns (integer,
# varchar(64), 40-character text, numeric, date) and 1,000 values of 100 KiB.
ALPHABET='abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJ'
cat >"$WORK/sqlite.sql" <<EOF
CREATE TABLE BENCH (ID INTEGER PRIMARY KEY, NAME VARCHAR(64), TXT CHAR(40), AMOUNT NUMERIC(12,2), DAY DATE);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000)
INSERT INTO BENCH SELECT i, 'name ' || i, substr('$ALPHABET', 1 + i % 7, 40), round(i / 3.0, 2),
  date('2000-01-01', '+' || (i % 9000) || ' days') FROM n;
CREATE TABLE WIDE (ID INTEGER PRIMARY KEY, V TEXT);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000)
INSERT INTO WIDE SELECT i, replace(hex(zeroblob(51200)), '00', 'xy') FROM n;
EOF
cat >"$WORK/pg.sql" <<EOF
CREATE TABLE BENCH (ID INTEGER PRIMARY KEY, NAME VARCHAR(64), TXT CHAR(40), AMOUNT NUMERIC(12,2), DAY DATE);
INSERT INTO BENCH SELECT i, 'name ' || i, substr('$ALPHABET', 1 + i % 7, 40), round(i / 3.0, 2),
  DATE '2000-01-01' + (i % 9000) FROM generate_series(1, 100000) i;
CREATE TABLE WIDE (ID INTEGER PRIMARY KEY, V TEXT);
INSERT INTO WIDE SELECT i, repeat('xy', 51200) FROM generate_series(1, 1000) i;
VACUUM ANALYZE;
EOF

echo "Setting up vornd, PostgreSQL and SQLite ..." >&2
timeout 300 "$BUILD/server/vornd" --db "$WORK/vorn.db" --init-sql "$WORK/sqlite.sql" --init-only
timeout 300 "$BUILD/server/vornd" --db "$WORK/sqlite.db" --init-sql "$WORK/sqlite.sql" --init-only
# TLS beside clear text, to show what encryption costs.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=localhost \
  -keyout "$WORK/tls.key" -out "$WORK/tls.pem" >/dev/null 2>&1
"$BUILD/server/vornd" --db "$WORK/vorn.db" --listen 127.0.0.1:0 --tls-cert "$WORK/tls.pem" \
  --tls-key "$WORK/tls.key" >"$WORK/vornd.out" 2>&1 &
VORND_PID=$!
for _ in $(seq 100); do grep -qs "listening on" "$WORK/vornd.out" && break; sleep 0.1; done
VPORT="$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$WORK/vornd.out" | head -1)"
[[ -n $VPORT ]] || { echo "vornd did not start: $(cat "$WORK/vornd.out")" >&2; exit 1; }

PGPORT="$(free_port)"
mkdir "$WORK/pg"
[[ $(id -u) -eq 0 ]] && chown postgres: "$WORK/pg"
as_pg timeout 120 "$PGBIN/initdb" -D "$WORK/pg" --auth=trust -U postgres >"$WORK/initdb.log" 2>&1 ||
  { cat "$WORK/initdb.log" >&2; exit 1; }
as_pg timeout 120 "$PGBIN/pg_ctl" -D "$WORK/pg" -l "$WORK/pg/server.log" -w \
  -o "-p $PGPORT -k $WORK/pg -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null
PG_STARTED=1
as_pg timeout 60 "$PGBIN/createdb" -h 127.0.0.1 -p "$PGPORT" -U postgres bench
as_pg timeout 300 "$PGBIN/psql" -q -h 127.0.0.1 -p "$PGPORT" -U postgres -d bench -v ON_ERROR_STOP=1 \
  -f "$WORK/pg.sql" >/dev/null

VORN="DRIVER=$BUILD/libvornodbc.so;Server=127.0.0.1;Service=$VPORT;UID=bench;PWD=bench"
PG="DRIVER=$ODBC_DIR/psqlodbca.so;Servername=127.0.0.1;Port=$PGPORT;Database=bench;UID=postgres;PWD=bench"
SQLITE="DRIVER=$ODBC_DIR/libsqlite3odbc.so;Database=$WORK/sqlite.db"
# name|connection string|what it runs: all measures, or rows and wide values
CONFIGS=(
  "vornodbc|$VORN|all"
  "vornodbc-1000|$VORN;BlockSize=1000|rows"
  "vornodbc-all|$VORN;BlockSize=all|rows"
  "vornodbc-tls|$VORN;Encrypt=yes;TrustServerCertificate=yes|rows"
  "vornodbc-tls-1000|$VORN;Encrypt=yes;TrustServerCertificate=yes;BlockSize=1000|rows"
  "psqlodbc|$PG|all"
  "psqlodbc-fetch10|$PG;UseDeclareFetch=1;Fetch=10|all"
  "sqliteodbc|$SQLITE|all"
)
QUERY="SELECT ID, NAME, TXT, AMOUNT, DAY FROM BENCH"
WIDE="SELECT ID, V FROM WIDE"

rss() { awk -v k="$1:" '$1 == k { print $2 }' "/proc/$VORND_PID/status"; }

if [[ $CALLGRIND -eq 1 ]]; then
  ROWS=20000
  echo "Client instructions per row (callgrind, execute and fetch of $ROWS rows bound as SQL_C_CHAR):"
  for entry in "${CONFIGS[@]}"; do
    IFS='|' read -r name conn _ <<<"$entry"
    out="$WORK/cg.$name"
    timeout 900 valgrind --tool=callgrind --toggle-collect=bench_fetch_all --callgrind-out-file="$out" \
      "$BENCH" rows "$conn" "$QUERY WHERE ID <= $ROWS" >"$WORK/cg.$name.txt" 2>"$WORK/cg.$name.err" ||
      { echo "  $name: failed ($(tail -1 "$WORK/cg.$name.err"))"; continue; }
    ir="$(awk '/^(summary|totals):/ { print $2; exit }' "$out")"
    printf '  %-18s %8.0f\n' "$name" "$(awk -v ir="$ir" -v n="$ROWS" 'BEGIN { print ir / n }')"
  done
  exit 0
fi

RESULTS="$WORK/results"
: >"$RESULTS"
# Appends "config metric value" for each pair of a line of odbc_bench.
record() {
  local name="$1"; shift
  local line
  line="$(timeout 600 "$BENCH" "$@")" || { echo "  $name: odbc_bench $1 failed" >&2; return 0; }
  awk -v n="$name" -v prefix="${MEASURE_PREFIX:-}" \
    '{ for (i = 1; i < NF; i += 2) print n, prefix $i, $(i + 1) }' <<<"$line" >>"$RESULTS"
}

VORND_RSS_START="$(rss VmRSS)"
for round in $(seq "$ROUNDS"); do
  echo "Round $round of $ROUNDS ..." >&2
  record ceiling pingpong 20000
  for entry in "${CONFIGS[@]}"; do
    IFS='|' read -r name conn what <<<"$entry"
    MEASURE_PREFIX=bound_ record "$name" rows "$conn" "$QUERY"
    MEASURE_PREFIX=getdata_ record "$name" rows "$conn" "$QUERY" getdata
    record "$name" wide "$conn" "$WIDE"
    if [[ $what == all ]]; then
      record "$name" latency "$conn" 2000
      record "$name" connect "$conn" 200
    fi
  done
done
VORND_RSS_END="$(rss VmRSS)"
VORND_HWM="$(rss VmHWM)"

# Client peak memory against the result size, once (not noisy).
for entry in "${CONFIGS[@]:0:3}"; do
  IFS='|' read -r name conn _ <<<"$entry"
  for n in 1000 100000; do MEASURE_PREFIX="size${n}_" record "$name" rows "$conn" "$QUERY WHERE ID <= $n"; done
done

/usr/bin/python3 - "$RESULTS" "$ROUNDS" "$VORND_RSS_START" "$VORND_RSS_END" "$VORND_HWM" <<'EOF'
import statistics, sys
from collections import defaultdict

results, rounds, rss_start, rss_end, hwm = sys.argv[1], sys.argv[2], *map(int, sys.argv[3:6])
values = defaultdict(list)
for line in open(results):
    name, metric, value = line.split()
    values[(name, metric)].append(float(value))
med = {k: statistics.median(v) for k, v in values.items()}

ours = ["vornodbc", "vornodbc-1000", "vornodbc-all"]
tls = {"vornodbc-tls": "vornodbc", "vornodbc-tls-1000": "vornodbc-1000"}
peers = ["psqlodbc", "psqlodbc-fetch10", "sqliteodbc"]
# metric, title, format, True when higher is better
measures = [
    ("bound_rows_per_s", "rows/s, bound SQL_C_CHAR", "{:,.0f}", True),
    ("getdata_rows_per_s", "rows/s, SQLGetData", "{:,.0f}", True),
    ("bound_cpu_us_per_row", "client CPU us per row (bound)", "{:.3f}", False),
    ("prepared_us", "prepared small query, us", "{:.1f}", False),
    ("direct_us", "direct small query, us", "{:.1f}", False),
    ("connect_us", "connect + disconnect, us", "{:.1f}", False),
    ("wide_seconds", "1,000 x 100 KiB text, s", "{:.3f}", False),
]
names = ours + peers
print(f"\nMedians of {rounds} interleaved rounds; 100,000 rows x 5 columns.")
print(f"{'':34}" + "".join(f"{n:>18}" for n in names))
for metric, title, fmt, _ in measures:
    cells = [fmt.format(med[(n, metric)]) if (n, metric) in med else "-" for n in names]
    print(f"{title:34}" + "".join(f"{c:>18}" for c in cells))

print("\nvornodbc's ratio to each peer (speed: above 1 means vornodbc is faster or cheaper):")
print(f"{'':34}" + "".join(f"{o + ' / ' + p:>34}" for o in ours[:1] for p in peers))
for metric, title, _, higher in measures:
    cells = []
    for p in peers:
        a, b = med.get(("vornodbc", metric)), med.get((p, metric))
        cells.append("-" if not a or not b else f"{(a / b if higher else b / a):.2f}")
    print(f"{title:34}" + "".join(f"{c:>34}" for c in cells))
for o in ours[1:]:
    for metric in ("bound_rows_per_s", "getdata_rows_per_s"):
        a, b = med.get((o, metric)), med.get(("psqlodbc", metric))
        if a and b:
            print(f"{o} / psqlodbc, {metric.replace('_', ' ')}: {a / b:.2f}")
print("\nTLS against clear text (above 1 means TLS is slower):")
for t, clear in tls.items():
    for metric in ("bound_rows_per_s", "getdata_rows_per_s", "wide_seconds"):
        a, b = med.get((t, metric)), med.get((clear, metric))
        if a and b:
            ratio = b / a if metric.endswith("per_s") else a / b
            print(f"  {t} / {clear}, {metric.replace('_', ' ')}: {ratio:.2f}")

rtt = med.get(("ceiling", "roundtrip_us"))
if rtt:
    ceiling = 10 / (rtt / 1e6)
    print(f"\nBare loopback round trip (64 bytes out, 2 KiB back, TCP_NODELAY): {rtt:.1f} us;"
          f" ceiling for 10-row blocks {ceiling:,.0f} rows/s")
    for n in ("vornodbc", "psqlodbc-fetch10"):
        if (n, "bound_rows_per_s") in med:
            print(f"  {n}: {med[(n, 'bound_rows_per_s')] / ceiling:.2f} of the ceiling")

print(f"\nvornd RSS: {rss_start / 1024:.1f} MiB at start, {rss_end / 1024:.1f} MiB after the runs"
      f" (peak {hwm / 1024:.1f} MiB)")
print("Client peak RSS, 1,000 rows / 100,000 rows (MiB):")
for n in ours:
    small, large = med.get((n, "size1000_peak_kib")), med.get((n, "size100000_peak_kib"))
    if small and large:
        print(f"  {n:18} {small / 1024:8.1f} {large / 1024:8.1f}")
EOF
