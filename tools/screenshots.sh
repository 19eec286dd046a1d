#!/usr/bin/env bash
# Renders every wizard dialog and the progress window under Wine on a virtual
# display and saves them as PNG files in docs/screenshots/:
#   welcome-{install,upgrade}-{nt,95}.png, completion-{install,upgrade}.png,
#   progress.png
# The unit-test program draws them (its disabled WizardScreenshots test shows
# each dialog, copies its area of the screen into a .bmp file and ends it);
# ImageMagick turns those into PNG files without time stamps.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
out=$root/docs/screenshots

"$root/tools/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target win >/dev/null

# Always the bench's own 1024x768 Xvfb display, never the user's screen.
unset DISPLAY
shots=$build/screenshots
rm -rf "$shots"
mkdir -p "$shots" "$out"
MARLUNE_SCREENSHOTS="Z:$(sed 's|/|\\|g' <<<"$shots")" \
  "$root/tests/wine/wine-run" "$build/wine" "$build/win/unit_tests.exe" \
  --gtest_also_run_disabled_tests --gtest_filter='WizardScreenshots.*' >"$shots/run.log" 2>&1 \
  || { cat "$shots/run.log" >&2; exit 1; }

count=0
for bmp in "$shots"/*.bmp; do
  [ -e "$bmp" ] || break
  png=$out/$(basename "${bmp%.bmp}").png
  convert "$bmp" -strip -define png:exclude-chunks=date,time "$png"
  echo "$png"
  count=$((count + 1))
done
[ "$count" -eq 7 ] || { echo "expected 7 pictures, made $count" >&2; exit 1; }
