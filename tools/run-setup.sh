#!/usr/bin/env bash
# The main job: installs what is missing, builds Setup.exe, runs it on a
# scratch Windows prefix and reports what the run left behind.
#   tools/run-setup.sh [--platform xp|2000|nt4|98] [SETUP ARGUMENTS...]
# Without a DISPLAY it runs on a virtual display (Xvfb).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
platform=xp
if [ "${1:-}" = "--platform" ]; then platform=$2; shift 2; fi
case $platform in
  xp) winver=winxp ;; 2000) winver=win2k ;; nt4) winver=nt40 ;; 98) winver=win98 ;;
  *) echo "unknown platform '$platform' (xp, 2000, nt4 or 98)" >&2; exit 2 ;;
esac

"$root/tools/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target win >/dev/null

. "$root/tests/wine/bench.sh"
bench_init "$build/wine"
prefix=$(bench_clone "run-$platform")
export WINEPREFIX=$prefix
drive=$prefix/drive_c
cp "$build/win/Setup.exe" "$drive/Setup.exe"
bench_winver Setup.exe "$winver"
touch "$prefix/.before-run"
sleep 1

echo "Running Setup.exe on a scratch Windows $platform prefix ($prefix)"
set +e
wine "C:\\Setup.exe" "$@"
status=$?
set -e
wineserver -w 2>/dev/null || true

echo
echo "Setup.exe ended with exit code $status."
echo "Files and folders it created or changed:"
( cd "$drive" && find . -newer "$prefix/.before-run" ! -name Setup.exe -printf '  C:\\%P  %s bytes  %TY-%Tm-%Td %TH:%TM\n' \
    | sed 's|/|\\|g' | grep -v -i -E 'windows\\(temp|Fonts|win.ini|system.ini)|users\\' || echo "  (none)" )
