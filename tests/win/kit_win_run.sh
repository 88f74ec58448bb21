#!/usr/bin/env bash
# Runs the Windows kit test under Wine against the Linux fake server:
# starts tests' kit_fake_server, passes its port in VORN_KIT_FAKE_PORT,
# runs win_tests.exe --gtest_filter=KitWin.*, and fails when either side
# failed.
#
#   tests/win/kit_win_run.sh FAKE-SERVER PREFIX-DIR WIN_TESTS.exe
set -uo pipefail
if [[ $# -ne 3 ]]; then
  echo "usage: $0 FAKE-SERVER PREFIX-DIR WIN_TESTS.exe" >&2
  exit 2
fi
fake=$1 prefix=$2 exe=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

portfile=$(mktemp)
rm -f "$portfile"
"$fake" --port-file "$portfile" --connections 1 &
server=$!
for _ in $(seq 1 100); do
  [[ -s $portfile ]] && break
  sleep 0.1
done
if [[ ! -s $portfile ]]; then
  echo "kit_win_run: the fake server did not start" >&2
  kill "$server" 2>/dev/null
  exit 1
fi
export VORN_KIT_FAKE_PORT=$(cat "$portfile")
rm -f "$portfile"

bash "$here/wine-run.sh" "$prefix" "$exe" --gtest_filter='KitWin.*'
rc=$?

# The server ends by itself after its one connection; a client that never
# came leaves it waiting.
for _ in $(seq 1 50); do
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$server" 2>/dev/null; then
  echo "kit_win_run: the fake server saw no complete conversation" >&2
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null
  exit 1
fi
wait "$server"
src=$?
[[ $rc -eq 0 && $src -eq 0 ]]
