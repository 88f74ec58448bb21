#!/usr/bin/env bash
# Checks a built driver library against driver/exports.list: it exports exactly
# the listed names (no C++ symbols, no helpers) and depends on nothing it must
# not (no ODBC driver manager; on Windows no runtime DLLs beyond the system's).
#
#   tests/check-exports.sh so  libvornodbc.so  driver/exports.list
#   tests/check-exports.sh dll vornodbc64.dll  driver/exports.list
set -uo pipefail

mode=$1 lib=$2 list=$3
fail=0
bad() { echo "FAIL: $*"; fail=1; }

[[ -f $lib ]] || { echo "FAIL: $lib does not exist"; exit 1; }
# "Name [windows]" lines are exported by the DLL only.
windows='/\[windows\]/d'
[[ $mode == dll ]] && windows='s/\[windows\]//'
expected=$(sed -e 's/#.*//' -e "$windows" -e 's/[[:space:]]//g' "$list" | grep -v '^$' | sort -u)

case $mode in
  so)
    actual=$(nm -D --defined-only "$lib" | awk 'NF >= 3 {print $3}' | sed 's/@.*//' | sort -u)
    needed=$(readelf -d "$lib" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
    for n in $needed; do
      case $n in
        libodbc.so*|libodbcinst.so*|libodbccr.so*|libiodbc*)
          bad "$lib links $n: a driver must not link the driver manager" ;;
      esac
    done
    ;;
  dll)
    dump=$(x86_64-w64-mingw32-objdump -p "$lib") || { echo "FAIL: objdump"; exit 1; }
    actual=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next}
                  on && /^[[:space:]]*\[ *[0-9]+\]/ {print $NF; next}
                  on && NF == 0 {on=0}' <<<"$dump" | sort -u)
    imports=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$dump" | sort -u)
    for d in $imports; do
      case $d in
        kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|comctl32.dll|comdlg32.dll|ws2_32.dll|msvcrt.dll|\
        shell32.dll|ole32.dll|oleaut32.dll|shlwapi.dll|version.dll|bcrypt.dll|crypt32.dll|secur32.dll|\
        rpcrt4.dll|winmm.dll|ucrtbase.dll|api-ms-win-*.dll) ;;
        odbc32.dll|odbccp32.dll)
          bad "$lib imports $d: the driver must not link the driver manager or load the installer library statically" ;;
        *) bad "$lib imports $d, which is not a Windows system DLL" ;;
      esac
    done
    ;;
  *) echo "unknown mode $mode"; exit 2 ;;
esac

extra=$(comm -13 <(echo "$expected") <(echo "$actual") | grep -v '^$')
missing=$(comm -23 <(echo "$expected") <(echo "$actual") | grep -v '^$')
[[ -z $extra ]] || bad "exported but not in $(basename "$list"): $(echo $extra)"
[[ -z $missing ]] || bad "listed but not exported: $(echo $missing)"
cxx=$(grep '^_Z' <<<"$actual")
[[ -z $cxx ]] || bad "C++ symbols exported: $(echo $cxx)"

if [[ $fail -eq 0 ]]; then
  echo "OK: $(basename "$lib") exports exactly the $(grep -c . <<<"$expected") listed names"
fi
exit $fail
