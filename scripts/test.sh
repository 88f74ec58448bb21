#!/usr/bin/env bash
# Runs every test: the Linux build, the Linux build under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the Windows build (mingw-w64) under Wine;
# each with its unit, export and integration tests. Installs the Debian
# packages it needs first (scripts/packages.sh). Build trees and logs go to
# build-test/ (VORN_TEST_DIR overrides).
#
#   scripts/test.sh            all three builds
#   scripts/test.sh linux win  only those (linux, asan, win)
#   scripts/test.sh stress --long
#                              the stress tier (tests/stress/, also part of the
#                              linux and asan runs with small counts) with its
#                              long counts, minutes; fuzzing: scripts/fuzz.sh
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${VORN_TEST_DIR:-$ROOT/build-test}
JOBS=${VORN_JOBS:-2}
LOGS=$OUT/logs
mkdir -p "$LOGS"

stages=()
stress_long=
for arg in "$@"; do
  case $arg in
    --long) stress_long=1 ;;
    *) stages+=("$arg") ;;
  esac
done
[[ ${#stages[@]} -gt 0 ]] || stages=(linux asan win)

# shellcheck source=packages.sh
source "$ROOT/scripts/packages.sh"
vorn_ensure_packages build test || exit 1

total_pass=0
total_fail=0
summary=()
start_all=$SECONDS

note() { printf '\n=== %s\n' "$*"; }

# Runs a step with its output in a log; on failure shows the log's end.
step() {
  local name=$1 log=$2; shift 2
  local t0=$SECONDS
  if "$@" >"$log" 2>&1; then
    echo "    $name: ok ($((SECONDS - t0)) s)"
    return 0
  fi
  echo "    $name: FAILED ($((SECONDS - t0)) s), log $log:"
  tail -n 60 "$log" | sed 's/^/    | /'
  return 1
}

# Compiler warnings in our own sources (third-party code is built with -w).
count_warnings() {
  grep -E '^(/[^:]+):[0-9]+:[0-9]+: warning:' "$1" | grep -v -E '^/usr/|/\.cache/vornodbc/' | sort -u
}

# Configures, builds and tests one tree; adds to the totals.
run_tree() {
  local label=$1 dir=$2; shift 2
  local t0=$SECONDS
  note "$label ($dir)"
  mkdir -p "$dir"
  if ! step configure "$LOGS/$label-configure.log" cmake -S "$ROOT" -B "$dir" "$@"; then
    summary+=("$label: configure FAILED")
    total_fail=$((total_fail + 1))
    return
  fi
  if ! step build "$LOGS/$label-build.log" cmake --build "$dir" -j "$JOBS"; then
    summary+=("$label: build FAILED")
    total_fail=$((total_fail + 1))
    return
  fi
  local warnings
  warnings=$(count_warnings "$LOGS/$label-build.log")
  if [[ -n $warnings && -z ${VORN_ALLOW_WARNINGS:-} ]]; then
    echo "    warnings (the build must be warning-free):"
    sed 's/^/    | /' <<<"$warnings"
    total_fail=$((total_fail + 1))
    summary+=("$label: $(grep -c . <<<"$warnings") compiler warnings (counted as one failure)")
  fi

  local log=$LOGS/$label-ctest.log
  rm -f "$dir/win_tests.xml"
  (cd "$dir" && ctest --output-on-failure -j "$JOBS" --timeout 900) >"$log" 2>&1
  local rc=$?
  local line passed=0 failed=0 ntests
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n1)
  if [[ -n $line ]]; then
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    ntests=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((ntests - failed))
  elif grep -q 'No tests were found' "$log"; then
    passed=0
  else
    failed=1
  fi
  if [[ $rc -ne 0 && $failed -eq 0 ]]; then failed=1; fi
  total_pass=$((total_pass + passed))
  total_fail=$((total_fail + failed))
  if [[ $failed -gt 0 ]]; then
    echo "    tests: $failed FAILED, $passed passed ($((SECONDS - t0)) s in all), log $log:"
    sed -n '/The following tests FAILED/,$p' "$log" | sed 's/^/    | /'
    grep -E -B2 -A25 '(\*\*\*Failed|\*\*\*Exception|\*\*\*Timeout|Failed  |SEGFAULT)' "$log" | head -n 200 | sed 's/^/    | /'
  else
    echo "    tests: $passed passed ($((SECONDS - t0)) s in all)"
  fi
  summary+=("$label: $passed passed, $failed failed")
  # win_tests.exe is one ctest test; say how many cases it ran.
  if [[ -f $dir/win_tests.xml ]]; then
    local cases skipped
    cases=$(grep -m1 -o '<testsuites tests="[0-9]*" failures="[0-9]*"' "$dir/win_tests.xml" |
            sed -E 's/.*tests="([0-9]*)" failures="([0-9]*)"/\1 cases, \2 failed/')
    skipped=$(grep -o '<testsuite name="[^"]*" [^>]*skipped="[0-9]*"' "$dir/win_tests.xml" |
              sed -E 's/.*skipped="([0-9]*)"/\1/' | awk '{n += $1} END {print n + 0}')
    cases="$cases, $skipped skipped"
    summary+=("    (win_tests.exe under Wine: $cases)")
  fi
}

# Starts vornd from the Linux tree (building it there when needed) on the
# sample database; sets VORN_PORT.
start_linux_vornd() {
  # shellcheck source=odbc-env.sh
  source "$ROOT/scripts/odbc-env.sh"
  local vornd=$OUT/linux/server/vornd
  if [[ ! -x $vornd ]]; then
    step vornd-configure "$LOGS/win-vornd-build.log" cmake -S "$ROOT" -B "$OUT/linux" &&
      step vornd-build "$LOGS/win-vornd-build.log" cmake --build "$OUT/linux" -j "$JOBS" --target vornd ||
      return 1
  fi
  rm -f "$OUT/win-vornd.db"*
  # TLS beside clear text, with a certificate of a test CA made for this run.
  local tls=()
  if bash "$ROOT/tests/support/make-test-certs.sh" "$OUT/win-certs" > "$LOGS/win-certs.log" 2>&1; then
    tls=(--tls-cert "$OUT/win-certs/server.pem" --tls-key "$OUT/win-certs/server.key")
    VORN_WIN_CA_DIR="Z:$(tr / '\\' <<<"$OUT/win-certs")"
  fi
  vorn_start_vornd "$vornd" "$OUT/win-vornd.db" "$LOGS/win-vornd.log" "$OUT/win-vornd.pid" \
    --init-sql "$ROOT/server/sample.sql" "${tls[@]}"
}

for s in "${stages[@]}"; do
  case $s in
    linux)
      run_tree linux "$OUT/linux" ;;
    asan)
      export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1}
      export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
      # Unoptimised, with assertions: quicker to build, and the sanitizers
      # see every access as written.
      run_tree asan "$OUT/asan" -DVORN_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
      unset ASAN_OPTIONS UBSAN_OPTIONS ;;
    win)
      note "Expat source for the Windows build"
      if step fetch-expat "$LOGS/fetch-expat.log" bash "$ROOT/scripts/fetch-expat.sh"; then
        # The Windows connect tests reach a vornd on the Linux side.
        if start_linux_vornd; then
          export VORN_WIN_VORND_PORT=$VORN_PORT
          [[ -n ${VORN_WIN_CA_DIR:-} ]] && export VORN_WIN_CA_DIR
        else
          summary+=("win: vornd for the connect tests could not be started")
          total_fail=$((total_fail + 1))
        fi
        run_tree win "$OUT/win" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake"
        unset VORN_WIN_VORND_PORT VORN_WIN_CA_DIR
        vorn_stop_vornd "$OUT/win-vornd.pid"
      else
        summary+=("win: Expat source could not be fetched")
        total_fail=$((total_fail + 1))
      fi ;;
    stress)
      # The Linux tree, only the stress tier, long when asked.
      export VORN_STRESS_LONG=${stress_long:-0}
      note "stress tier (${stress_long:+long, }$OUT/linux)"
      if step configure "$LOGS/stress-configure.log" cmake -S "$ROOT" -B "$OUT/linux" &&
         step build "$LOGS/stress-build.log" cmake --build "$OUT/linux" -j "$JOBS" \
           --target vornd vornodbc storm_it hostile_clients_test; then
        if step ctest "$LOGS/stress-ctest.log" bash -c "cd '$OUT/linux' && ctest -L stress --output-on-failure -V --timeout 3600"; then
          grep -E 'threads x|wrong passwords|resident memory' "$LOGS/stress-ctest.log" | sed 's/^[0-9]*: /    /'
          total_pass=$((total_pass + 1)); summary+=("stress: passed")
        else
          total_fail=$((total_fail + 1)); summary+=("stress: FAILED")
        fi
      else
        total_fail=$((total_fail + 1)); summary+=("stress: build FAILED")
      fi
      unset VORN_STRESS_LONG ;;
    *)
      echo "unknown stage '$s' (linux, asan, win, stress)" >&2
      exit 2 ;;
  esac
done

# Test code against the rest of what the project builds, counted without
# blank and comment lines.
code_lines() {
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.py' -o -name '*.sh' \
    -o -name '*.pl' -o -name '*.php' -o -name '*.R' \) -print0 2>/dev/null |
    xargs -0 -r awk '
      FNR == 1 { script = FILENAME !~ /\.(cpp|h|c)$/ }
      /^[ \t]*$/ { next }
      script && /^[ \t]*#/ { next }
      !script && /^[ \t]*\/\// { next }
      { n++ } END { print n + 0 }' | awk '{ s += $1 } END { print s + 0 }'
}
test_ratio() {
  local tests code
  tests=$(cd "$ROOT" && code_lines tests)
  code=$(cd "$ROOT" && code_lines driver vornvdb Com log util setup platform server bench scripts)
  awk -v t="$tests" -v c="$code" 'BEGIN { printf "test code %d lines, other code %d lines: ratio %.3f\n", t, c, c ? t / c : 0 }'
}

note "Summary ($((SECONDS - start_all)) s; logs in $LOGS)"
for line in "${summary[@]}"; do echo "  $line"; done
echo "  $(test_ratio)"
echo "$total_pass passed, $total_fail failed"
[[ $total_fail -eq 0 && $total_pass -gt 0 ]]
