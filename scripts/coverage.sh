#!/usr/bin/env bash
# Line and branch coverage of the project's own code by the Linux tests, per
# folder: builds an instrumented Debug tree (build-coverage/, VORN_COVERAGE_DIR
# overrides), runs ctest there and summarises with lcov. The HTML report goes
# to build-coverage/html.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${VORN_COVERAGE_DIR:-$ROOT/build-coverage}
JOBS=${VORN_JOBS:-2}
source "$ROOT/scripts/packages.sh"
vorn_ensure_packages build test coverage

mkdir -p "$OUT"
# No compiler launcher: ccache's base_dir makes the recorded paths relative,
# and lcov would then miss every folder.
cmake -S "$ROOT" -B "$OUT" -DVORN_COVERAGE=ON -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER_LAUNCHER= -DCMAKE_CXX_COMPILER_LAUNCHER= >"$OUT/configure.log"
cmake --build "$OUT" -j "$JOBS" >"$OUT/build.log"
find "$OUT" -name '*.gcda' -delete
(cd "$OUT" && ctest -j "$JOBS" --timeout 900 >"$OUT/ctest.log" 2>&1) || echo "coverage: some tests failed (see $OUT/ctest.log)" >&2

rc=(--rc lcov_branch_coverage=1 --quiet)
lcov "${rc[@]}" --capture --directory "$OUT" --base-directory "$ROOT" --output-file "$OUT/all.info" 2>/dev/null
folders=(driver vornvdb Com log util setup platform server)
printf '%-10s %18s %18s\n' folder lines branches
for f in "${folders[@]}"; do
  lcov "${rc[@]}" --extract "$OUT/all.info" "$ROOT/$f/*" --output-file "$OUT/$f.info" 2>/dev/null || continue
  lcov --rc lcov_branch_coverage=1 --summary "$OUT/$f.info" 2>&1 |
    awk -v f="$f" '
      function figure() { return $2 " (" substr($3, 2) "/" $5 ")" }
      /lines\.\.\./ { l = figure() } /branches\.\.\./ { b = figure() }
      END { printf "%-10s %18s %18s\n", f, l, b }'
done
lcov "${rc[@]}" --extract "$OUT/all.info" $(printf "$ROOT/%s/* " "${folders[@]}") --output-file "$OUT/project.info" 2>/dev/null
genhtml "${rc[@]}" --branch-coverage --output-directory "$OUT/html" "$OUT/project.info" >/dev/null 2>&1 || true
echo "report: $OUT/html/index.html"
