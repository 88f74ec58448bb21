#!/usr/bin/env bash
# Fetches Expat's Debian source package once and unpacks it (with Debian's
# patches) into a cache folder shared by all build trees, for the mingw-w64
# build, which has no Expat of its own. Safe to run again: a complete unpacked
# tree is reused without touching the network.
#
#   scripts/fetch-expat.sh [cache-dir]
#
# Prints the unpacked source directory (the one holding CMakeLists.txt) last.
set -euo pipefail

VERSION="${VORN_EXPAT_VERSION:-2.5.0-1+deb12u2}"
CACHE="${1:-${VORN_CACHE_DIR:-${HOME:-/root}/.cache/vornodbc}/expat}"
SRC="$CACHE/src"
STAMP="$CACHE/unpacked.stamp"
# Bumped whenever the preparation below changes, so old caches are redone.
PREP=2
SRC_LIST=/etc/apt/sources.list.d/vornodbc-deb-src.sources

say() { echo "fetch-expat: $*" >&2; }

mkdir -p "$CACHE"
exec 9>"$CACHE/.lock"
flock 9

if [[ -f "$STAMP" && -f "$SRC/expat/CMakeLists.txt" ]] && grep -q " prep $PREP\$" "$STAMP"; then
  say "using $(cat "$STAMP") in $SRC"
  echo "$SRC/expat"
  exit 0
fi

have_source() { [[ $(apt-cache showsrc expat 2>/dev/null) == *"Package: expat"* ]]; }

# Source entries for the Debian suites apt already uses for binaries.
add_deb_src() {
  if [[ $(id -u) -ne 0 ]]; then
    say "no deb-src entry for Expat and not root: add one for your Debian suites and run 'apt-get update'"
    exit 1
  fi
  local keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  apt-get indextargets --format '$(ORIGIN)|$(REPO_URI)|$(RELEASE)|$(COMPONENT)|$(TARGET_OF)' |
    awk -F'|' -v key="$keyring" '
      $5 == "deb" && ($1 == "Debian" || $2 ~ /debian/) {
        k = $2; if (!(k in suites)) order[++n] = k
        if (index(" " suites[k] " ", " " $3 " ") == 0) suites[k] = suites[k] (suites[k] ? " " : "") $3
        if (index(" " comps[k] " ", " " $4 " ") == 0) comps[k] = comps[k] (comps[k] ? " " : "") $4
      }
      END {
        for (i = 1; i <= n; i++) {
          k = order[i]
          printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n", k, suites[k], comps[k]
          if ((getline line < key) >= 0) printf "Signed-By: %s\n", key
          printf "\n"
        }
      }' > "$SRC_LIST.new"
  if [[ ! -s "$SRC_LIST.new" ]]; then
    rm -f "$SRC_LIST.new"
    say "apt knows no Debian suites to take sources from (has 'apt-get update' run?)"
    exit 1
  fi
  mv "$SRC_LIST.new" "$SRC_LIST"
  say "added deb-src entries in $SRC_LIST:"
  sed 's/^/    /' "$SRC_LIST" >&2
  say "apt-get update"
  apt-get update -qq >&2
}

if ! have_source; then
  add_deb_src
  have_source || { say "apt still offers no Expat source package"; exit 1; }
fi

# The pinned version first; a mirror that has moved on offers its own.
mapfile -t versions < <({ echo "$VERSION"; apt-cache showsrc expat | awk '/^Version:/ {print $2}'; } | awk '!seen[$0]++')
DL="$CACHE/download"
fresh_dl() {
  rm -rf "$DL"; mkdir -p "$DL"
  # apt downloads as its own user where it can.
  if [[ $(id -u) -eq 0 ]] && id _apt >/dev/null 2>&1; then chown _apt "$DL"; fi
}
fresh_dl
got=""
for v in "${versions[@]}"; do
  say "apt-get source --download-only expat=$v"
  if (cd "$DL" && apt-get source -qq --download-only "expat=$v" >&2); then got="$v"; break; fi
  fresh_dl
done
[[ -n "$got" ]] || { say "could not download any Expat source package"; exit 1; }

dsc=$(ls "$DL"/expat_*.dsc | head -n1)
rm -rf "$SRC"
# dpkg-source applies Debian's patches (security fixes) on top of the orig
# tarball; apt has already checked the files against the signed index.
dpkg-source --no-check -x "$dsc" "$SRC" >&2
[[ -f "$SRC/expat/CMakeLists.txt" ]] || { say "unexpected layout in $SRC"; exit 1; }
# Debian builds with autotools, where XML_DTD is 1; its security backports
# test "#if XML_DTD == 1", which the CMake config header (an empty define)
# cannot satisfy. Give the CMake header the same value.
sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$SRC/expat/expat_config.h.cmake"
grep -q '^#cmakedefine XML_DTD 1$' "$SRC/expat/expat_config.h.cmake" ||
  { say "could not set XML_DTD in expat_config.h.cmake"; exit 1; }
echo "expat $got prep $PREP" > "$STAMP"
say "unpacked expat $got into $SRC"
echo "$SRC/expat"
