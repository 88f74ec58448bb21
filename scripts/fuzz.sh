#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (under AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for as long as asked, on a working
# copy of its seed corpus (tests/fuzz/corpus/<name>, tests/xml_corpus for the
# result XML). A crash stops that target and leaves its input as
# build-fuzz/crashes/<name>-crash-*: copy it into the target's seed corpus, where
# the Linux build replays it as a regression test.
#
#   scripts/fuzz.sh                  every target for 30 s
#   scripts/fuzz.sh 1800             every target for 30 minutes
#   scripts/fuzz.sh 600 escapes      only the named targets
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${VORN_FUZZ_DIR:-$ROOT/build-fuzz}
JOBS=${VORN_JOBS:-2}
SECONDS_EACH=${1:-30}
shift || true
ALL=(resultxml kitanswer connstr attrlist escapes vornd_request)
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=("${ALL[@]}")

# shellcheck source=packages.sh
source "$ROOT/scripts/packages.sh"
vorn_ensure_packages build test fuzz || exit 1

mkdir -p "$OUT/logs" "$OUT/crashes"
if ! { cmake -S "$ROOT" -B "$OUT" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
         -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_SANITIZE=ON -DVORN_LIBFUZZER=ON &&
       cmake --build "$OUT" -j "$JOBS" --target "${targets[@]/%/_libfuzzer}"; } >"$OUT/logs/build.log" 2>&1; then
  echo "fuzz build failed, log $OUT/logs/build.log:" >&2
  tail -n 40 "$OUT/logs/build.log" >&2
  exit 1
fi

# Leaks are the leak check's business; here a run ends on a crash only.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=0
for t in "${targets[@]}"; do
  seeds=$ROOT/tests/fuzz/corpus/$t
  [[ $t == resultxml ]] && seeds=$ROOT/tests/xml_corpus
  work=$OUT/corpus/$t
  mkdir -p "$work"
  cp -n "$seeds"/* "$work"/ 2>/dev/null
  log=$OUT/logs/$t.log
  bin=$(find "$OUT" -name "${t}_libfuzzer" -type f -perm -u+x | head -n1)
  timeout $((SECONDS_EACH + 120)) "$bin" -max_total_time="$SECONDS_EACH" -max_len=65536 -timeout=20 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$OUT/crashes/$t-" "$work" >"$log" 2>&1
  rc=$?
  runs=$(grep -m1 -oE 'Done [0-9]+ runs in [0-9]+ second' "$log" | sed -E 's/Done ([0-9]+) runs in ([0-9]+) second/\1 executions in \2 s/')
  if [[ $rc -eq 0 ]]; then
    echo "  $t: ${runs:-done}, corpus $(find "$work" -type f | wc -l) inputs"
  else
    failed=$((failed + 1))
    echo "  $t: FAILED (exit $rc), log $log; crash inputs: $(ls "$OUT/crashes" | grep "^$t-" | tr '\n' ' ')"
    grep -m1 -A20 -E 'ERROR: (AddressSanitizer|libFuzzer|UndefinedBehaviorSanitizer)|runtime error' "$log" | sed 's/^/    | /'
  fi
done
[[ $failed -eq 0 ]]
