#!/usr/bin/env bash
# The whole cut-off sweep: for each scenario, Setup is ended before every
# change it makes and run again (tests/scenarios/sweep.sh, which ctest runs
# at the points it chooses by what they prove, in fewer scenarios). Like
# tools/test.sh, it installs and builds what is missing first. Prints each
# scenario's counts and time, and exits non-zero when any point broke the
# invariant or the rerun. Run it before a release and after any change to how
# files are replaced.
#   tools/sweep.sh [--every N] [SCENARIO...]
# Scenarios (all by default): xp_fresh xp_upgrade xp_upgrade_idle
# xp_upgrade_queued 98_fresh 98_upgrade 98_upgrade_idle 98_upgrade_queued.
# MARLUNE_SWEEP_JOBS sets how many points run at once in each scenario (one
# more than the processors by default: a point spends about a third of its
# time waiting for its Wine session to end).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
every=1
if [ "${1:-}" = --every ]; then every=$2; shift 2; fi
case $every in ''|*[!0-9]*|0) echo "usage: $0 [--every N] [SCENARIO...]" >&2; exit 2 ;; esac
scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(xp_fresh xp_upgrade xp_upgrade_idle xp_upgrade_queued
  98_fresh 98_upgrade 98_upgrade_idle 98_upgrade_queued)
export MARLUNE_SWEEP_JOBS=${MARLUNE_SWEEP_JOBS:-$(($(nproc) + 1))}

"$root/tools/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)"

logs=$build/sweep
rm -rf "$logs"; mkdir -p "$logs"
status=0 summary=()
for scenario in "${scenarios[@]}"; do
  start=$(date +%s)
  "$root/tests/scenarios/sweep.sh" "$build/wine" "$build/win" "$scenario" "$every" >"$logs/$scenario.log" 2>&1 || status=1
  summary+=("$(tail -n 1 "$logs/$scenario.log") ($(($(date +%s) - start)) s)")
  echo "${summary[-1]}"
done
stride="every ${every}th change"; [ "$every" -eq 1 ] && stride="every change"
echo "$stride swept (logs in $logs):"
printf '  %s\n' "${summary[@]}"
exit $status
