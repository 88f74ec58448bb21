#!/usr/bin/env bash
# Runs a Windows program under wine64 in a private prefix, creating the prefix
# once. The program's exit code is this script's exit code.
#
#   tests/win/wine-run.sh PREFIX-DIR PROGRAM.exe [ARGS...]
set -uo pipefail
prefix=$(realpath -m "$1"); shift

WINE=/usr/lib/wine/wine64
[[ -x $WINE ]] || WINE=$(command -v wine64 || command -v wine || true)
if [[ -z $WINE ]]; then
  echo "wine-run: no wine64 found (apt-get install wine64)" >&2
  exit 2
fi

export WINEPREFIX=$prefix
export WINEARCH=win64
export WINELOADER=$WINE
export WINEDEBUG=-all
# No Mono or Gecko install prompts, no display.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

mkdir -p "$prefix"
wineserver=$(dirname "$WINE")/wineserver64
[[ -x $wineserver ]] || wineserver=$(command -v wineserver || echo true)

# The first start builds the prefix (about ten seconds); parallel runs wait.
(
  flock 9
  if [[ ! -f $prefix/.vorn-ready ]]; then
    echo "wine-run: creating the Wine prefix $prefix" >&2
    if ! timeout 300 "$WINE" wineboot -i >/dev/null 2>&1; then
      echo "wine-run: wineboot failed or hung" >&2
      exit 1
    fi
    timeout 60 "$wineserver" -w
    touch "$prefix/.vorn-ready"
  fi
) 9>"$prefix.lock" || exit 1

timeout --kill-after=10 "${VORN_WINE_TIMEOUT:-900}" "$WINE" "$@"
rc=$?
if [[ $rc -eq 124 ]]; then
  echo "wine-run: $1 timed out" >&2
fi
exit $rc
