#!/usr/bin/env bash
# The main job: installs what is missing, builds Setup.exe, runs it on a
# scratch Windows prefix and reports what the run did.
#
#   tools/run-setup.sh [--platform xp|2000|nt4|98|95] [--release-dir DIR]
#                      [--upgrade] [--robot] [--plan ANSWERS] [-- SETUP ARGUMENTS]
#
#   --platform  the Windows version the prefix reports (default xp)
#   --release-dir  Setup.exe carries the ten files of DIR (the release's own,
#               names matched ignoring case) instead of the stand-ins; without
#               it the build goes back to the stand-ins
#   --upgrade   an older driver is installed and held open, as a running
#               system holds its driver: the setup runs as an upgrade
#   --robot     the dialogs are answered by the test robot ("Continue", then
#               "Close"), also when a display is at hand; without a DISPLAY
#               this is what happens, on a virtual display (Xvfb)
#   --plan      the robot's answers, e.g. "2" to cancel at the welcome dialog
#
# On the user's display the dialogs are shown for the user to answer; they
# are recorded and pictured all the same. The report (also printed) and the
# pictures go to build/report/<platform>/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
platform=xp upgrade=0 robot=0 plan=1,2 release_dir=""
while [ $# -gt 0 ]; do
  case $1 in
    --platform) platform=$2; shift 2 ;;
    --release-dir) release_dir=$(cd "$2" && pwd) || exit 2; shift 2 ;;
    --upgrade) upgrade=1; shift ;;
    --robot) robot=1; shift ;;
    --plan) plan=$2; robot=1; shift 2 ;;
    --) shift; break ;;
    -h|--help) sed -n '2,23p' "$0"; exit 0 ;;
    *) break ;;
  esac
done
case $platform in
  xp) winver=winxp ;; 2000) winver=win2k ;; nt4) winver=nt40 ;; 98) winver=win98 ;; 95) winver=win95 ;;
  *) echo "unknown platform '$platform' (xp, 2000, nt4, 98 or 95)" >&2; exit 2 ;;
esac
[ -n "${DISPLAY:-}" ] || robot=1

echo "Installing what is missing and building Setup.exe ..."
"$root/tools/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMARLUNE_RELEASE_DIR="$release_dir" >/dev/null
cmake --build "$build" -j"$(nproc)" --target win >/dev/null

. "$root/tests/wine/bench.sh"
bench_init "$build/wine"
prefix=$(bench_clone "run-$platform")
export WINEPREFIX=$prefix TZ=${TZ:-UTC}
drive=$prefix/drive_c
report=$build/report/$platform
rm -rf "$report"; mkdir -p "$report" "$drive/bench/shots"
cp "$build/win/Setup.exe" "$build/win/robot.exe" "$build/win/robot-hook.dll" "$drive/bench/"

printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\Setup.exe]\n"Version"="%s"\n' "$winver" \
  >"$drive/bench/stage.reg"
wine regedit /S 'C:\bench\stage.reg' </dev/null >/dev/null 2>&1 9>&-
hold=()
if [ $upgrade = 1 ]; then
  driver=Vesk.Dll; case $platform in 98|95) driver=Vesk.Drv ;; esac
  printf 'an older Marlune driver' >"$drive/windows/system32/$driver"
  hold=(--hold "C:\\windows\\system32\\$driver")
fi
wineserver -w 9>&-
cp "$prefix/system.reg" "$report/.system.before"; cp "$prefix/user.reg" "$report/.user.before"
touch "$report/.started"; sleep 1

mode=(--plan "$plan")
[ $robot = 1 ] || mode=(--watch)
echo "Running Setup.exe on a scratch Windows $platform prefix ($prefix)$([ $robot = 1 ] && echo ', answered by the robot')"
wine 'C:\bench\robot.exe' --transcript 'C:\bench\transcript.txt' --shots 'C:\bench\shots' \
  --timeout 600 "${mode[@]}" "${hold[@]}" -- 'C:\bench\Setup.exe' "$@" </dev/null >/dev/null 2>&1 9>&- || true
wineserver -w 9>&-

winpath() { local p=${1#"$drive"/}; p=${p//\//\\}; echo "C:\\$p"; }
# Registry values as "key | name=value" lines, to compare two saves of a hive.
reg_lines() {
  awk '/^\[/ { key = $0; sub(/\] [0-9]+$/, "]", key); next }
       /^(#|$)/ { next }
       { print key " " $0 }' "$1" | sed 's/\\\\/\\/g' | sort
}
noise='Software\\Wine|MountedDevices|\\Enum\\|Perflib|Explorer\\(MountPoints|Shell Folders)|DeviceClasses|Session Manager\\Environment|Windows NT\\CurrentVersion\\(Fonts|Time Zones)|\\Classes\\(Interface|TypeLib|AppID|CLSID\\\{[0-9A-F-]{36}\}\\(ProgID|VersionIndependentProgID))|Volatile Environment|ProfileList|Control\\Class\\\{4D36E968'

{
  echo "Marlune setup on Windows $platform$([ $upgrade = 1 ] && echo ' (upgrade: an older driver was in use)')"
  echo
  echo "Files carried by Setup.exe (from ${release_dir:-the stand-ins}): size, compressed size"
  for container in "$build/win/payload-szdd"/*; do
    resource=$(basename "$container")
    carried=$(ls "$build/win/payload" | grep -ixF "$resource")
    printf '  %-24s %8s bytes  %8s bytes  %s\n' "$carried" "$(stat -c %s "$build/win/payload/$carried")" \
      "$(stat -c %s "$container")" "$resource"
  done
  echo
  echo "Dialogs and messages (pictures in $report):"
  n=0
  while IFS= read -r line; do
    case $line in
      dialog*|message*) n=$((n + 1)); printf '  %02d %s\n' "$n" "$line" ;;
      answer*|exit*|timeout|hold*|progress*) echo "       $line" ;;
    esac
  done <"$drive/bench/transcript.txt"
  echo
  echo "Files installed (size, last-write time):"
  find "$drive" -cnewer "$report/.started" -type f ! -path '*/bench/*' ! -name '*.reg' ! -path '*/users/*/AppData/*' \
       -printf '%p\t%s\t%TY-%Tm-%Td %TH:%TM:%TS\n' | sort |
    while IFS=$'\t' read -r path size time; do
      printf '  %-58s %8s bytes  %s\n' "$(winpath "$path")" "$size" "${time:0:23}"
    done
  echo
  echo "Registry values written or changed:"
  { comm -13 <(reg_lines "$report/.system.before") <(reg_lines "$prefix/system.reg") | sed 's/^\[/  [HKLM\\/'
    comm -13 <(reg_lines "$report/.user.before") <(reg_lines "$prefix/user.reg") | sed 's/^\[/  [HKCU\\/'
  } | grep -vE "$noise" || echo "  (none)"
  echo
  echo "Pending renames (carried out at the next restart):"
  renames=$(grep -h 'PendingFileRenameOperations' "$prefix/system.reg" | sed 's/.*str(7)://; s/\\\\/\\/g' || true)
  ini=$(find "$drive/windows" -maxdepth 1 -iname wininit.ini -exec cat {} + 2>/dev/null | tr -d '\r' || true)
  [ -n "$renames" ] && echo "  MoveFileEx: $renames"
  [ -n "$ini" ] && sed 's/^/  WININIT.INI: /' <<<"$ini"
  [ -z "$renames$ini" ] && echo "  (none)"
  echo
  echo "Shortcuts:"
  mapfile -t links < <(find "$drive" -cnewer "$report/.started" -type f \( -name '*.lnk' -o -name '*.url' \) ! -path '*/bench/*')
  if [ ${#links[@]} -gt 0 ]; then
    wlinks=(); for l in "${links[@]}"; do wlinks+=("$(winpath "$l")"); done
    wine 'C:\bench\robot.exe' links "${wlinks[@]}" </dev/null 2>/dev/null 9>&- | tr -d '\r' | sed 's/^/  /'
    wineserver -w 9>&-
  else
    echo "  (none)"
  fi
} >"$report/report.txt"

for bmp in "$drive"/bench/shots/*.bmp; do
  [ -f "$bmp" ] || continue
  out="$report/dialog-$(basename "${bmp%.bmp}").png"
  convert "$bmp" "$out" 2>/dev/null || cp "$bmp" "$report/"
done
cp "$drive/bench/transcript.txt" "$report/transcript.txt"
rm -f "$report"/.system.before "$report"/.user.before
echo
cat "$report/report.txt"
echo
echo "Report and dialog pictures: $report"
