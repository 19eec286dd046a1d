#!/usr/bin/env bash
# Compares our SZDD encoder with mscompress on real 32-bit Windows binaries
# (stripped DLLs and EXEs from Debian's Wine package), a few text files, the
# ten files Setup.exe carries (uncompressed, from a project build tree), and
# any files given as arguments.
#
# usage: tools/szdd/bench.sh [FILE...]
# SZDD_BUILD_DIR selects the build directory (default: a fresh one in /tmp).
# PAYLOAD_DIR selects the carried files (default: build/win/payload of the
# project; BUILD_DIR as for tools/test.sh); they are skipped when not built.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/szdd-bench-corpus.XXXXXX")
trap 'rm -rf "$work"' EXIT
build=${SZDD_BUILD_DIR:-$work/build}

cmake -S "$here" -B "$build" >/dev/null
cmake --build "$build" --target szdd-bench -j2 >/dev/null

wine_dir=/usr/lib/i386-linux-gnu/wine/i386-windows
binaries=(find.exe clock.exe cfgmgr32.dll version.dll imm32.dll msacm32.dll explorer.exe
          xcopy.exe winspool.drv notepad.exe advapi32.dll)
texts=(/usr/share/common-licenses/{Apache-2.0,GPL-2,LGPL-2.1,GPL-3})

corpus=()
for name in "${binaries[@]}"; do
  if [ -f "$wine_dir/$name" ]; then
    i686-w64-mingw32-strip -o "$work/$name" "$wine_dir/$name"
    corpus+=("$work/$name")
  else
    echo "bench.sh: $wine_dir/$name not found, skipped" >&2
  fi
done
for f in "${texts[@]}"; do [ -f "$f" ] && corpus+=("$f"); done

repo=$(cd "$here/../.." && pwd)
payload=${PAYLOAD_DIR:-${BUILD_DIR:-$repo/build}/win/payload}
carried=(MarluneReleaseNotes.txt Mixer.exe Register.exe RmVesk.exe Vesk.Dll Vesk.Drv Vesk.Inf
         Vesk.Sys Vesk.VxD VeskASIO.Dll)
for name in "${carried[@]}"; do
  if [ -f "$payload/$name" ]; then
    corpus+=("$payload/$name")
  else
    echo "bench.sh: $payload/$name not found (build the project first), skipped" >&2
  fi
done

"$build/szdd-bench" "${corpus[@]}" "$@"
