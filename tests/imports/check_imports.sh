#!/usr/bin/env bash
# Checks that images load on every Windows version we ship for: each function
# an image imports must be exported (a stub counts) by Windows 95, 98, NT 4,
# 2000 and XP, as the platform table next to this script records with its
# sources. A function the table does not list fails too, and so does an image
# whose link map shows winpthreads code linked in.
#   check_imports.sh [--system-libraries-only] [--crt-dll] [--not-linked-here] IMAGE...
# --system-libraries-only holds the following images to the libraries of
# system-libraries.tsv beside this script, which the loader of every target
# takes from the system, never from the program's own folder.
# --crt-dll lets the following images import msvcrt.dll, which only the first
# Windows 95 releases lack. Each image's link map is IMAGE.map or, for a
# stripped copy, given as IMAGE=MAP; images after --not-linked-here (a
# release's own files) have none.
set -u
table=$(dirname "$0")/platform-exports.tsv
system_libraries=$(awk -F'\t' 'NR > 1 { print tolower($1) }' "$(dirname "$0")/system-libraries.tsv")
system_only=0
platforms=(win95 win98 nt4 w2k xp)
crt_allowed=0
linked_here=1
failures=0
checked=0
for arg in "$@"; do
  if [ "$arg" = --system-libraries-only ]; then system_only=1; continue; fi
  if [ "$arg" = --crt-dll ]; then crt_allowed=1; system_only=0; continue; fi
  if [ "$arg" = --not-linked-here ]; then linked_here=0; continue; fi
  image=${arg%%=*}
  map=${image}.map
  [ "$arg" != "$image" ] && map=${arg#*=}
  name=$(basename "$image")
  dump=$(i686-w64-mingw32-objdump -p "$image") || { echo "FAIL: $name: cannot read it"; failures=$((failures + 1)); continue; }
  report=$(awk -F'\t' -v image="$name" -v crt="$crt_allowed" -v platforms="${platforms[*]}" '
    BEGIN { split(platforms, platform, " ") }
    FNR == NR {                      # the platform table
      if (FNR > 1) for (i = 1; i <= 5; i++) status[tolower($1) "!" $2, i] = $(i + 2)
      if (FNR > 1) listed[tolower($1) "!" $2] = 1
      next
    }
    /^\tDLL Name:/ { split($0, words, " "); dll = words[3]; next }
    /^$/ { dll = "" }
    dll != "" && /^\t[0-9a-f]+\t/ {
      n = split($0, field, " "); function_name = field[n]
      key = tolower(dll) "!" function_name
      if (!(key in listed)) { print "FAIL: " image ": " dll "!" function_name " is not in the platform table"; next }
      for (i = 1; i <= 5; i++) {
        s = status[key, i]
        if (s == "yes" || s == "stub") continue
        if (s == "dll-absent" && crt == 1 && tolower(dll) == "msvcrt.dll") continue
        what = s == "no" ? "missing" : s == "dll-absent" ? "in a DLL that is absent" : s == "" ? "not recorded" : s
        print "FAIL: " image ": " dll "!" function_name " is " what " on " platform[i]
      }
    }' "$table" - <<<"$dump")
  if [ -n "$report" ]; then
    echo "$report"
    failures=$((failures + $(wc -l <<<"$report")))
  fi
  if [ $system_only -eq 1 ]; then
    for dll in $(grep -E '^\s*DLL Name:' <<<"$dump" | awk '{print $3}'); do
      grep -qixF "$dll" <<<"$system_libraries" && continue
      echo "FAIL: $name: imports $dll, which a loader may take from the program's own folder"
      failures=$((failures + 1))
    done
  fi
  if [ $linked_here -eq 0 ]; then
    :
  elif [ ! -f "$map" ]; then
    echo "FAIL: $name: no link map ($map)"; failures=$((failures + 1))
  elif grep -q 'libwinpthread' "$map"; then
    echo "FAIL: $name: winpthreads code is linked in ($(grep -m1 -o '[^ ]*libwinpthread[^ ]*' "$map"))"
    failures=$((failures + 1))
  fi
  imports=$(awk '/^\tDLL Name:/ { in_dll = 1; next } /^$/ { in_dll = 0 } in_dll && /^\t[0-9a-f]+\t/ { n++ } END { print n + 0 }' <<<"$dump")
  echo "$name: $imports imports from $(grep -E '^\s*DLL Name:' <<<"$dump" | awk '{print $3}' | tr '\n' ' ')"
  checked=$((checked + 1))
done
echo "$checked images checked, $failures failures"
[ "$failures" -eq 0 ] && [ "$checked" -gt 0 ]
