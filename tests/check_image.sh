#!/usr/bin/env bash
# Checks the built Setup.exe's PE headers and import table: a 32-bit Intel
# GUI image with subsystem and OS version 4.0 (so Windows 95 and NT 4 load
# it) that imports only from system DLLs, never from a MinGW runtime DLL or
# from SETUPAPI.DLL (loaded at run time instead).
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
allowed='^(kernel32|user32|gdi32|advapi32|lz32|winmm|ole32|oleaut32|shell32|comctl32|comdlg32|version|msvcrt)\.dll$'
dlls=$(grep -E '^[[:space:]]*DLL Name:' <<<"$dump" | awk '{print tolower($3)}')
[ -n "$dlls" ] || { echo "FAIL: no import table"; fail=1; }
for dll in $dlls; do
  if ! grep -qE "$allowed" <<<"$dll"; then echo "FAIL: imports from $dll"; fail=1; fi
done
[ $fail -eq 0 ] && echo "Setup.exe: PE32 i386 GUI 4.0, imports from: $(echo $dlls)"
exit $fail
