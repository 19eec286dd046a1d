#!/usr/bin/env bash
# Runs the whole test suite: installs what is missing, builds the host tools
# and Setup.exe with its Windows tests, and runs every test under ctest
# (Windows tests under Wine, in the build tree's test prefix).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/tools/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
# Each test runs once: a test that fails once fails the run (tools/stress.sh
# runs the suite many times over to find what fails only now and then).
ctest -j"$(nproc)" --output-on-failure "$@"
