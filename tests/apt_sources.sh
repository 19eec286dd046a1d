#!/usr/bin/env bash
# tools/install-deps.sh derives the bookworm-backports entry from the
# machine's own bookworm source: one-line and deb822 sources (with comments,
# options, disabled and other-suite entries around the one that counts), and
# a machine without any bookworm source, which is refused.
set -u
script=$(cd "$(dirname "$0")/.." && pwd)/tools/install-deps.sh
dir=$(mktemp -d); trap 'rm -rf "$dir"' EXIT
failures=0
check() { # name, expected output, expected status
  local got status
  got=$(MARLUNE_APT_DIR=$dir "$script" --backports-entry 2>&1); status=$?
  if [ "$got" != "$2" ] || [ $status -ne "$3" ]; then
    printf 'FAIL: %s (status %s)\n--- got\n%s\n--- expected\n%s\n' "$1" $status "$got" "$2"
    failures=$((failures + 1))
  fi
}

mkdir -p "$dir/sources.list.d"
cat >"$dir/sources.list" <<'LIST'
# deb http://deb.debian.org/debian bookworm main
deb-src http://mirror.example/debian bookworm main
deb http://security.example/debian-security bookworm-security main
deb [arch=amd64 signed-by=/etc/apt/keyrings/mirror.gpg] http://mirror.example/debian bookworm main contrib
LIST
echo 'deb http://other.example/debian bookworm main' >"$dir/sources.list.d/later.list"
check "one-line source" "$dir/sources.list.d/bookworm-backports.list
deb [arch=amd64 signed-by=/etc/apt/keyrings/mirror.gpg] http://mirror.example/debian bookworm-backports main" 0

rm "$dir/sources.list" "$dir/sources.list.d/later.list"
echo 'deb http://proxy.example:3142/debian bookworm main' >"$dir/sources.list.d/old.list.disabled"
cat >"$dir/sources.list.d/debian.sources" <<'SOURCES'
Types: deb
URIs: http://off.example/debian
Suites: bookworm
Components: main
Enabled: no

Types: deb deb-src
# a snapshot comment inside the stanza
URIs: http://proxy.example:3142/debian
 http://mirror.example/debian
Suites: bookworm bookworm-updates
Components: main non-free-firmware
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
check "deb822 source" "$dir/sources.list.d/bookworm-backports.sources
Types: deb
URIs: http://proxy.example:3142/debian
 http://mirror.example/debian
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
Suites: bookworm-backports
Components: main" 0

printf 'Types: deb\nURIs: http://security.example/debian-security\nSuites: bookworm-security\nComponents: main\n' \
  >"$dir/sources.list.d/debian.sources"
check "no bookworm source" "no Debian bookworm source in $dir/sources.list or $dir/sources.list.d/ (*.list or *.sources): cannot derive the bookworm-backports entry; add one for bookworm-backports by hand" 1

[ $failures -eq 0 ] && echo "apt sources: passed"
[ $failures -eq 0 ]
