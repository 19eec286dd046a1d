#!/usr/bin/env bash
# Compares our SZDD encoder with mscompress on real 32-bit Windows binaries
# (stripped DLLs and EXEs from Debian's Wine package), a few text files, and
# any files given as arguments.
#
# usage: tools/szdd/bench.sh [FILE...]
# SZDD_BUILD_DIR selects the build directory (default: a fresh one in /tmp).
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

"$build/szdd-bench" "${corpus[@]}" "$@"
