# Sourced by scripts/demo.sh, scripts/test.sh and .ci/run: the Debian
# packages the project needs, in one list, and a function that installs the
# missing ones.
#
# Each line: a package and the stage that needs it. "build" is what the main
# job needs (both builds, registration, vornd, isql); "test" adds what the
# tests run (GoogleTest, Wine, the scripting clients, valgrind for the leak
# check); "fuzz" what scripts/fuzz.sh adds; "coverage" what scripts/coverage.sh
# adds; "bench" what bench/run.sh compares against and measures with.
VORN_PACKAGE_LIST='
cmake                 build
make                  build
g++                   build
binutils              build
dpkg-dev              build
file                  build
libexpat1-dev         build
libsqlite3-dev        build
libssl-dev            build
unixodbc              build
unixodbc-dev          build
odbcinst              build
g++-mingw-w64-x86-64  build
python3               build
util-linux            build
procps                build
libgtest-dev          test
googletest            test
wine64                test
python3-pyodbc        test
libdbd-odbc-perl      test
php-cli               test
php-odbc              test
r-cran-rodbc          test
valgrind              test
clang                 fuzz
lcov                  coverage
postgresql            bench
odbc-postgresql       bench
libsqliteodbc         bench
'

# vorn_packages STAGE...: the packages of those stages, one per line.
vorn_packages() {
  local stages=" $* "
  awk -v stages="$stages" 'NF == 2 && index(stages, " " $2 " ") { print $1 }' <<<"$VORN_PACKAGE_LIST"
}

# vorn_ensure_packages STAGE...: installs the packages of those stages that
# are missing: directly as root, through sudo otherwise; without either, says
# which command to run and fails. Does nothing when all are there.
vorn_ensure_packages() {
  local missing=() p
  while read -r p; do
    [[ $(dpkg-query -W -f='${Status}' "$p" 2>/dev/null) == "install ok installed" ]] || missing+=("$p")
  done < <(vorn_packages "$@")
  [[ ${#missing[@]} -gt 0 ]] || return 0

  local as=()
  if [[ $(id -u) -ne 0 ]]; then
    if command -v sudo >/dev/null 2>&1; then
      as=(sudo)
    else
      echo "Missing Debian packages. As root, run:" >&2
      echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
      return 1
    fi
  fi
  echo "Installing the missing Debian packages: ${missing[*]}" >&2
  "${as[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
    "${as[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null || {
      echo "Installing the packages failed; as root, run: apt-get install -y ${missing[*]}" >&2
      return 1
    }
}
