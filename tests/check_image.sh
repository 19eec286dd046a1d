#!/usr/bin/env bash
# Checks the built Setup.exe's PE headers: a 32-bit Intel GUI image with
# subsystem and OS version 4.0 (so Windows 95 and NT 4 load it), with an
# import table. Which libraries it may import from, image_imports checks
# (tests/imports/check_imports.sh --system-libraries-only).
set -u
exe=$1
dump=$(i686-w64-mingw32-objdump -p "$exe") || { echo "cannot read $exe"; exit 1; }
fail=0
expect() { # description, pattern
  if ! grep -qE "$2" <<<"$dump"; then echo "FAIL: $1"; fail=1; fi
}
expect "PE32 image for Intel 386" 'file format pei-i386'
expect "PE32 optional header" '^Magic[[:space:]]+010b'
expect "GUI subsystem" '^Subsystem[[:space:]]+00000002'
expect "OS version 4.0" '^MajorOSystemVersion[[:space:]]+4$'
expect "OS minor version 0" '^MinorOSystemVersion[[:space:]]+0$'
expect "subsystem version 4.0" '^MajorSubsystemVersion[[:space:]]+4$'
expect "subsystem minor version 0" '^MinorSubsystemVersion[[:space:]]+0$'
dlls=$(grep -E '^[[:space:]]*DLL Name:' <<<"$dump" | awk '{print tolower($3)}')
[ -n "$dlls" ] || { echo "FAIL: no import table"; fail=1; }
[ $fail -eq 0 ] && echo "Setup.exe: PE32 i386 GUI 4.0, imports from: $(echo $dlls)"
exit $fail
