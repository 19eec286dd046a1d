#!/usr/bin/env bash
# Builds Setup.exe twice from the same sources, in two fresh folders whose
# paths differ (in length too), and compares the bytes of what it carries:
# Setup.exe, the ten carried files, their SZDD containers and the pictures.
# The first build reads the sources where they are and takes its time stamp
# from the last commit; the second reads a copy of them in another folder,
# without the git history, given that commit's date as SOURCE_DATE_EPOCH. The
# two agree only if nothing depends on the folders' paths or the time of the
# build, and SOURCE_DATE_EPOCH stands for the commit date exactly. With
# SOURCE_DATE_EPOCH set by the caller both builds use it. Only what Setup.exe
# needs is built (the host tools, its code, the stand-ins), not the tests.
#   check-reproducible.sh [--against BUILD_DIR] [WORK_DIR]
#                                        (default: $BUILD_DIR/reproducible)
# With --against, the finished build tree BUILD_DIR (the one whose tests run
# this) stands for the first build when it was made as the first would be:
# from these sources, their commit's date or the caller's SOURCE_DATE_EPOCH,
# a Release build carrying the stand-ins. Only the second build is made then;
# otherwise both are, and the tree is left out.
# Prints each file that differs, how many bytes do and, for an image, the
# differing lines of its PE headers (objdump -p); exits non-zero then.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
against=""
if [ "${1:-}" = --against ]; then against=$2; shift 2; fi
work=${1:-${BUILD_DIR:-$root/build}/reproducible}
jobs=${MARLUNE_CHECK_JOBS:-$(nproc)}
rm -rf "$work"; mkdir -p "$work"
work=$(cd "$work" && pwd)

commit_date=$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)

# build SOURCE_DIR BUILD_DIR [VAR=VALUE ...]: the host tools, then the
# Windows part's Setup target, configured as the top-level build configures it.
build() {
  local src=$1 bin=$2; shift 2
  local log=$bin.log
  {
    env "$@" cmake -S "$src" -B "$bin" -DCMAKE_BUILD_TYPE=Release
    env "$@" cmake --build "$bin" -j"$jobs" --target szdd-compress make-art
    env "$@" cmake -S "$src" -B "$bin/win" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DHOST_BIN_DIR="$bin/bin" -DWINE_BENCH_DIR="$bin/wine" -DMARLUNE_RELEASE_DIR=
    env "$@" cmake --build "$bin/win" -j"$jobs" --target Setup
  } >"$log" 2>&1 || { cat "$log"; echo "check-reproducible: the build in $bin failed (log: $log)"; exit 2; }
}

start=$(date +%s)
first_env=() second_env=()
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  :  # both builds see the caller's value
elif [ -n "$commit_date" ]; then
  first_env=(-u SOURCE_DATE_EPOCH)
  second_env=(SOURCE_DATE_EPOCH="$commit_date")
fi
a=$work/a/win
if [ -n "$against" ] && [ -f "$against/win/Setup.exe" ] &&
   [ "$(cat "$against/win/source-date" 2>/dev/null)" = "${SOURCE_DATE_EPOCH:-$commit_date}" ] &&
   grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$against/CMakeCache.txt" &&
   grep -qx 'MARLUNE_RELEASE_DIR:PATH=' "$against/CMakeCache.txt"; then
  a=$against/win
  echo "check-reproducible: the first build is $against"
else
  build "$root" "$work/a" "${first_env[@]}"
fi

# The copy: every file of the working tree that git tracks or would track
# (not one deleted meanwhile), without .git.
copy=$work/source-copy-in-a-longer-folder
mkdir -p "$copy"
if git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
  (cd "$root" && git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do if [ -e "$f" ]; then printf '%s\0' "$f"; fi; done |
    tar -cf - --null --no-recursion -T -) | tar -xf - -C "$copy"
else
  (cd "$root" && tar -cf - --exclude=./build .) | tar -xf - -C "$copy"
fi
build "$copy" "$work/second-build-folder" "${second_env[@]}"
echo "check-reproducible: built in $(($(date +%s) - start)) s"

# What Setup.exe is made of and carries, relative to the Windows build folder.
b=$work/second-build-folder/win
files=(Setup.exe)
for dir in payload payload-szdd art; do
  for f in "$a/$dir"/*; do files+=("$dir/${f##*/}"); done
done
differ=0
for f in "${files[@]}"; do
  if [ ! -e "$b/$f" ]; then
    echo "differs: $f is missing from the second build"; differ=$((differ + 1)); continue
  fi
  cmp -s "$a/$f" "$b/$f" && continue
  differ=$((differ + 1))
  echo "differs: $f ($(cmp -l "$a/$f" "$b/$f" 2>/dev/null | wc -l) bytes; sizes $(stat -c %s "$a/$f") and $(stat -c %s "$b/$f"))"
  if [ "$(head -c2 "$a/$f")" = MZ ] && i686-w64-mingw32-objdump -p "$a/$f" >/dev/null 2>&1; then
    diff <(i686-w64-mingw32-objdump -p "$a/$f" | tail -n +3) <(i686-w64-mingw32-objdump -p "$b/$f" | tail -n +3) |
      grep '^[<>]' | head -20 | sed 's/^/    /' || true
  fi
  cmp -l "$a/$f" "$b/$f" 2>/dev/null | head -8 | awk '{ printf "    at 0x%x: %s %s (octal)\n", $1 - 1, $2, $3 }' || true
done
if [ $differ -ne 0 ]; then
  echo "check-reproducible: $differ of ${#files[@]} files differ ($a and $b)"
  exit 1
fi
echo "check-reproducible: the two builds are the same, byte for byte (${#files[@]} files)"
