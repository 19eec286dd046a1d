#!/usr/bin/env bash
# Runs the whole test suite N times (10 by default), each time with
# ctest -j$(nproc) and without retry, beside a bounded CPU load; prints how
# often each test failed, last, and fails when any test failed once. Like
# tools/test.sh, it installs and builds what is missing first.
#   tools/stress.sh [--slow] [N]
# --slow imitates a machine without 32-bit user mode on one that has it: it
# registers qemu-user for i386 programs with binfmt_misc, as
# tools/install-deps.sh does where the kernel refuses them, so that every
# 32-bit program (Wine's side of the tests) runs under qemu, several times
# slower; the registration is undone on exit. binfmt_misc is machine-wide:
# everything 32-bit on the machine runs slowly meanwhile.
# MARLUNE_STRESS_LOAD sets the number of busy loops (one per processor by
# default); they run at nice 10 and end with the script.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
slow=0
if [ "${1:-}" = --slow ]; then slow=1; shift; fi
runs=${1:-10}
case $runs in ''|*[!0-9]*) echo "usage: $0 [--slow] [N]" >&2; exit 2 ;; esac

binfmt=/proc/sys/fs/binfmt_misc/qemu-i386
undo_slow=0
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
if [ $slow = 1 ]; then
  if [ -e $binfmt ]; then
    echo "stress: qemu-user already runs 32-bit programs here; the machine is slow already"
  else
    undo_slow=1
  fi
fi

loads=()
cleanup() {
  [ ${#loads[@]} -eq 0 ] || kill "${loads[@]}" 2>/dev/null || true
  if [ $undo_slow = 1 ] && [ -e $binfmt ]; then
    echo -1 | $SUDO tee $binfmt >/dev/null
    echo "stress: qemu-user unregistered; 32-bit programs run natively again"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# With MARLUNE_FORCE_QEMU, install-deps registers qemu-user as on a machine
# without 32-bit user mode.
if [ $undo_slow = 1 ]; then
  MARLUNE_FORCE_QEMU=1 "$root/tools/install-deps.sh"
else
  "$root/tools/install-deps.sh"
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)"

for _ in $(seq "${MARLUNE_STRESS_LOAD:-$(nproc)}"); do
  # Bounded even if this script is killed outright.
  nice -n 10 timeout 12h sh -c 'while :; do :; done' </dev/null >/dev/null 2>&1 &
  loads+=($!)
done

logs=$build/stress
rm -rf "$logs"; mkdir -p "$logs"
: >"$logs/failed"
cd "$build"
for run in $(seq "$runs"); do
  start=$(date +%s)
  if ctest -j"$(nproc)" --output-on-failure >"$logs/run-$run.log" 2>&1; then
    result=passed
  else
    failed=$(cut -d: -f2 Testing/Temporary/LastTestsFailed.log 2>/dev/null || echo "ctest")
    result="failed: $(echo $failed)"
    echo "$failed" >>"$logs/failed"
  fi
  echo "run $run of $runs: $(($(date +%s) - start)) s, $result"
done

echo "failures per test in $runs runs (logs in $logs):"
if [ ! -s "$logs/failed" ]; then
  echo "  none"
  exit 0
fi
sort "$logs/failed" | uniq -c | sort -rn
exit 1
