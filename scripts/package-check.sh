#!/usr/bin/env bash
# Builds the Debian packages (cpack), installs them with apt-get, connects
# through the installed, registered driver by its name (no data source) with
# isql and pyodbc to the installed vornd, reinstalls (the driver entry stays
# one), then removes the packages and checks that the entry and every file
# of theirs are gone. Needs root; /etc/odbcinst.ini is restored afterwards.
# Build tree: build-package/ (VORN_PACKAGE_DIR overrides).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${VORN_PACKAGE_DIR:-$ROOT/build-package}
JOBS=${VORN_JOBS:-2}
source "$ROOT/scripts/packages.sh"
source "$ROOT/scripts/odbc-env.sh"
[[ $(id -u) -eq 0 ]] || { echo "package-check: needs root (it installs and removes packages)" >&2; exit 2; }
vorn_ensure_packages build test
unset ODBCSYSINI ODBCINI  # the system's configuration, as an installed driver sees it

say() { printf '\n== %s\n' "$*"; }
fail() { echo "package-check: FAILED: $*" >&2; exit 1; }
export DEBIAN_FRONTEND=noninteractive

say "Building the packages ($OUT)"
mkdir -p "$OUT"
cmake -S "$ROOT" -B "$OUT" -DVORN_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >"$OUT/configure.log"
cmake --build "$OUT" -j "$JOBS" >"$OUT/build.log"
rm -f "$OUT"/*.deb
(cd "$OUT" && cpack -G DEB >"$OUT/cpack.log")
mapfile -t debs < <(ls "$OUT"/*.deb)
names=()
for deb in "${debs[@]}"; do
  names+=("$(dpkg-deb -f "$deb" Package)")
  echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
done

saved=$OUT/odbcinst.ini.saved
if [[ -f /etc/odbcinst.ini ]]; then cp -p /etc/odbcinst.ini "$saved"; else rm -f "$saved"; fi
restore() {
  vorn_stop_vornd "$OUT/vornd.pid"
  dpkg-query -W "${names[@]}" >/dev/null 2>&1 && apt-get remove -y -qq "${names[@]}" >/dev/null 2>&1
  if [[ -f $saved ]]; then cp -p "$saved" /etc/odbcinst.ini; else rm -f /etc/odbcinst.ini; fi
}
trap restore EXIT

say "Installing: apt-get install ${debs[*]##*/}"
apt-get install -y -qq "${debs[@]}" >"$OUT/install.log" 2>&1 || { cat "$OUT/install.log"; fail "apt-get install"; }
entry() { odbcinst -q -d -n "$VORN_DRIVER_NAME" 2>/dev/null; }
entry || fail "odbcinst does not list the driver after installing"
mapfile -t files < <(for n in "${names[@]}"; do dpkg -L "$n"; done | while read -r f; do [[ -f $f ]] && echo "$f"; done)
echo "${#files[@]} files installed"

say "Connecting by driver name to the installed vornd"
rm -f "$OUT/pkg.db"*
vorn_start_vornd /usr/bin/vornd "$OUT/pkg.db" "$OUT/vornd.log" "$OUT/vornd.pid" --init-sql /usr/share/vornd/sample.sql
conn="DRIVER={$VORN_DRIVER_NAME};Server=127.0.0.1;Service=$VORN_PORT"
echo "\$ isql -v -k \"$conn\""
out=$(echo "SELECT ID, NAME FROM AUTHORS ORDER BY ID" | timeout 60 isql -v -b -k "$conn" 2>&1) || { echo "$out"; fail "isql"; }
echo "$out"
grep -q 'Lagerl' <<<"$out" || fail "isql did not return the sample rows"
echo "\$ python3: pyodbc.connect(\"$conn\")"
timeout 60 /usr/bin/python3 - "$conn" <<'PY' || fail "pyodbc"
import sys, pyodbc
cnxn = pyodbc.connect(sys.argv[1])
rows = cnxn.cursor().execute("SELECT COUNT(*) FROM ARTICLES").fetchall()
print("ARTICLES:", rows[0][0])
assert rows[0][0] == 3000
PY
vorn_stop_vornd "$OUT/vornd.pid"

say "Reinstalling: the driver entry stays one"
apt-get install -y -qq --reinstall "${debs[@]}" >"$OUT/reinstall.log" 2>&1 || { cat "$OUT/reinstall.log"; fail "reinstall"; }
usage=$(entry | awk -F= '/^UsageCount/ {gsub(/ /, "", $2); print $2}')
echo "UsageCount=$usage"
[[ $usage == 1 ]] || fail "usage count after reinstalling is '$usage', not 1"

say "Removing: apt-get remove ${names[*]}"
apt-get remove -y -qq "${names[@]}" >"$OUT/remove.log" 2>&1 || { cat "$OUT/remove.log"; fail "apt-get remove"; }
if entry >/dev/null; then fail "odbcinst still lists the driver after removal"; fi
left=0
for f in "${files[@]}"; do [[ -e $f ]] && { echo "left behind: $f"; left=1; }; done
[[ $left -eq 0 ]] || fail "files of the packages are left"
echo "driver entry and all ${#files[@]} files gone"
say "Package check passed"
