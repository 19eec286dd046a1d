#!/usr/bin/env bash
# Where the bytes of Setup.exe go, beside the installer stub of NSIS (Debian's
# nsis package, zlib-x86-ansi): total size, the resources, and the rest
# (headers, code, data, imports, relocations), section by section, as stored
# in the file.
#   image-size.sh [SETUP.EXE]             print the comparison
#   image-size.sh --check LIMIT SETUP.EXE fail when the part outside the
#                                         resources passes LIMIT bytes, or the
#                                         image imports a C runtime DLL
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
stub=/usr/share/nsis/Stubs/zlib-x86-ansi

u32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
u16() { od -An -tu2 -j "$2" -N2 "$1" | tr -d ' '; }

# Prints "name raw-size" per section, then "headers N" and "total N".
sections() {
  local f=$1 pe count optional table i name raw pointer first=-1
  pe=$(u32 "$f" 60)
  count=$(u16 "$f" $((pe + 6)))
  optional=$(u16 "$f" $((pe + 20)))
  table=$((pe + 24 + optional))
  for ((i = 0; i < count; i++)); do
    name=$(dd if="$f" bs=1 skip=$((table + 40 * i)) count=8 status=none | tr -d '\0')
    raw=$(u32 "$f" $((table + 40 * i + 16)))
    pointer=$(u32 "$f" $((table + 40 * i + 20)))
    [ "$raw" -gt 0 ] && { [ "$first" -lt 0 ] || [ "$pointer" -lt "$first" ]; } && first=$pointer
    echo "$name $raw"
  done
  echo "headers $first"
  echo "total $(stat -c %s "$f")"
}

rest_of() { # image: bytes outside the resources
  sections "$1" | awk '$1 == ".rsrc" { r = $2 } $1 == "total" { t = $2 } END { print t - r }'
}

if [ "${1:-}" = --check ]; then
  limit=$2 image=$3
  rest=$(rest_of "$image")
  crt=$(i686-w64-mingw32-objdump -p "$image" | awk '/DLL Name:/ { print tolower($3) }' \
        | grep -E '^(msvcr.*|msvcp.*|crtdll|ucrtbase|api-ms-win-crt-.*|libstdc\+\+.*|libgcc.*|libwinpthread.*)\.dll$' || true)
  status=0
  echo "$(basename "$image"): $rest bytes outside the resources (limit $limit)"
  [ "$rest" -le "$limit" ] || { echo "FAIL: more than $limit bytes outside the resources"; status=1; }
  [ -z "$crt" ] || { echo "FAIL: imports a C runtime DLL: $crt"; status=1; }
  exit $status
fi

setup=${1:-${BUILD_DIR:-$root/build}/win/Setup.exe}
[ -f "$setup" ] || { echo "no $setup: build first (tools/test.sh or cmake --build build)" >&2; exit 1; }
a=$(sections "$setup")
if [ -f "$stub" ]; then b=$(sections "$stub"); else b=""; echo "(NSIS stub not found: apt-get install nsis)"; fi
value() { awk -v n="$2" '$1 == n { print $2; found = 1 } END { if (!found) print "-" }' <<<"$1"; }
printf '%-26s %12s %16s\n' "" "Setup.exe" "NSIS zlib stub"
printf '%-26s %12s %16s\n' "total" "$(value "$a" total)" "$(value "$b" total)"
printf '%-26s %12s %16s\n' "resources (.rsrc)" "$(value "$a" .rsrc)" "$(value "$b" .rsrc)"
printf '%-26s %12s %16s\n' "everything else" "$(rest_of "$setup")" "$([ -f "$stub" ] && rest_of "$stub" || echo -)"
names=$( { awk '$1 != "total" && $1 != ".rsrc" { print $1 }' <<<"$a"; awk '$1 != "total" && $1 != ".rsrc" { print $1 }' <<<"$b"; } | awk '!seen[$0]++')
for n in $names; do
  printf '  %-24s %12s %16s\n' "$n" "$(value "$a" "$n")" "$(value "$b" "$n")"
done
