#!/usr/bin/env bash
# The cut-off sweep: Setup is ended abruptly just before a change it makes to
# the machine, then run again, in a scratch prefix per cut point.
#   sweep.sh BENCH_DIR WIN_BUILD_DIR SCENARIO [EVERY]
# Scenarios: xp_fresh xp_upgrade xp_upgrade_idle xp_upgrade_queued 98_fresh
# 98_upgrade 98_upgrade_idle 98_upgrade_queued (an upgrade finds an older copy
# of every file it installs; in *_upgrade and *_upgrade_queued the robot holds
# the old driver open, in use, through the runs; in *_upgrade_queued one
# uninterrupted upgrade has queued the restart's move already, and no restart
# followed).
# One uninterrupted run of Setup-sweep.exe counts the changes (N) and gives
# the machine as it should end. Then for k = 1, 1+EVERY, 1+2*EVERY ... (or
# the points choose_points prints with its reasons) a clone of the machine as
# it was before has a run cut just before its k-th change (at N+1, not cut,
# the uninterrupted run's own machine is the clone: Setup runs through
# twice), and
#   the invariant: every file that existed before is at its own name, as its
#   old or its new version, byte for byte (so is a file queued for the
#   restart); a new file at a real name (not a `$`, `#` or `~` sibling,
#   VESKOLD.BAK or in a temporary folder) is complete (an INI file holds only
#   whole lines of its complete version);
#   the rerun: Setup run again, uninterrupted, says what one run says and
#   leaves the same files byte for byte and the same registry hives (no
#   stray sibling or backup).
# Prints each point that breaks either, then the counts; fails unless none did.
set -u
here=$(cd "$(dirname "$0")" && pwd)
bench_dir=$1 win=$2 name=$3 every=${4:-}
. "$here/checks.sh"
bench_init "$bench_dir" || exit 1
case $name in
  xp_fresh|xp_upgrade|xp_upgrade_idle|xp_upgrade_queued|98_fresh|98_upgrade|98_upgrade_idle|98_upgrade_queued) ;;
  *) echo "unknown sweep $name"; exit 2 ;;
esac

# The machine before: its files that Setup may change are copied into each
# clone (`staged`), every other file is shared with it by hard links.
before=$(bench_clone "sweep-$name-before")
export WINEPREFIX=$before
drive=$before/drive_c
mkdir -p "$drive/bench"
cp "$win/robot.exe" "$win/robot-hook.dll" "$drive/bench/"
cp "$win/Setup-sweep.exe" "$drive/bench/Setup.exe"
staged=()
old() { # an older version of an installed file
  local f; f=$(unix_path "$1")
  mkdir -p "$(dirname "$f")"; printf 'old %s\r\n' "${1##*\\}" >"$f"
  staged+=("${f#"$before"/}")
}
stage_begin
robot_opts=()
case $name in
  xp_*) winver winxp; driver="$SYS\\Vesk.Dll"
        stage_card 'VEN_10B5&DEV_7C31&SUBSYS_00000000&REV_01' '4&1a2b3c&0&0008' 'PCI\VEN_10B5&DEV_7C31&SUBSYS_00000000&REV_01'
        installed=("$SYS\\Vesk.Dll" "$SYS\\drivers\\Vesk.Sys") ;;
  98_*) winver win98; driver="$SYS\\Vesk.Drv"
        installed=("$SYS\\Vesk.Drv" "$SYS\\Vesk.VxD" "$SYS\\VeskASIO.Dll") ;;
esac
case $name in
  *_upgrade*) for f in "${installed[@]}" "$WIN\\inf\\Vesk.Inf" "${COMMON_FILES[@]}"; do old "$f"; done ;;
esac
case $name in *_upgrade|*_upgrade_queued) robot_opts=(--hold "$driver") ;; esac
stage_registry
wineserver -w 9>&-
said() { grep -E '^(dialog|message|exit|timeout)' "$1" | tr -d '\r'; }
run_setup() { # prefix label [k]
  WINEPREFIX=$1 MARLUNE_SWEEP_LOG="C:\\bench\\$2.log" MARLUNE_SWEEP_CUT=${3:-} \
    wine 'C:\bench\robot.exe' --transcript "C:\\bench\\$2.txt" --plan 1,2 --timeout 150 "${robot_opts[@]}" \
    -- 'C:\bench\Setup.exe' </dev/null >/dev/null 2>&1 8>&- 9>&-
}
# The restart's queue of NT in a prefix: its pending moves, "\0" between the
# names, as reg add takes them.
pending_moves() { # prefix
  sed -n 's/^"PendingFileRenameOperations"=str(7):"\(.*\)\\0"$/\1/p' "$1/system.reg" | sed 's/\\\\/\\/g'
}
# The restart's queue of Windows 9x: WININIT.INI's name in a prefix, if any.
wininit() { # prefix
  find "$1/drive_c/windows" -maxdepth 1 -iname wininit.ini -printf '%P'
}
# An upgrade over a restart that an earlier run queued: that run goes through
# (the restart not taken) in the machine before; every file it changed is
# then copied into each clone, as the cut run may write it in place.
if [[ $name == *_queued ]]; then
  touch "$before/queued-mark"
  run_setup "$before" queue
  wineserver -w 9>&-
  grep -q '^exit 0' "$drive/bench/queue.txt" || { echo "sweep $name: the run that queues the restart did not finish"; exit 1; }
  while IFS= read -r -d '' f; do staged+=("${f#"$before"/}"); done < <(find "$drive" -type f -cnewer "$before/queued-mark" ! -path "$drive/bench/*" -print0)
  # The restart's queue: NT's pending moves and WININIT.INI; the files it is
  # to take are the sources.
  queue=$(pending_moves "$before") ini=$(wininit "$before")
  queued_files=$({ sed 's/\\0/\n/g' <<<"$queue" | awk 'NR % 2'; [ -z "$ini" ] || awk -F= '!/^\[/ { print $2 }' "$drive/windows/$ini"; } |
    tr -d '\r' | sed 's/^.*[Cc]:\\//' | tr 'A-Z' 'a-z' | grep .)
fi

# Every file of drive C: (but the bench's own and the stand-in driver's log)
# as "path<TAB>hash", paths in lower case as Windows compares them. A file
# still shared with the machine before is named by its inode; only the others
# are read. A shell link records its folders' times: it is taken by what the
# shell reads from it (target, arguments, description).
find "$drive" -type f -printf '%i\n' | sort >"$before/inodes"
for f in "${staged[@]}"; do stat -c %i "$before/$f"; done | sort >"$before/staged-inodes"
comm -23 "$before/inodes" "$before/staged-inodes" >"$before/shared-inodes"
manifest() { # prefix
  local listed; listed=$(cd "$1/drive_c" && find . -type f ! -path './bench/*' ! -path './windows/temp/vesk-driver.log' \
    -printf '%i\t%P\n' | awk -F'\t' 'NR == FNR { shared[$1] = 1; next } { print ($1 in shared ? "=" $1 : "?") "\t" $2 }' \
    "$before/shared-inodes" -)
  awk -F'\t' '$1 != "?" { print tolower($2) "\t" $1 }' <<<"$listed"
  (cd "$1/drive_c" && awk -F'\t' '$1 == "?" { print $2 }' <<<"$listed" | tr '\n' '\0' | xargs -0 -r md5sum) |
    awk '{ h = $1; sub(/^[^ ]+  /, ""); if (tolower($0) !~ /\.lnk$/) print tolower($0) "\t" h }'
  grep -qi '^?.*\.lnk$' <<<"$listed" || return 0
  WINEPREFIX=$1 wine 'C:\bench\robot.exe' links "$NT_PROGRAMS" "$USER_PROGRAMS" </dev/null 2>/dev/null 8>&- 9>&- |
    tr -d '\r' | sed -n 's/^link "C:\\\(.*\)" \(target=.*\)$/\1\t\2/p' |
    awk -F'\t' '{ p = tolower($1); gsub(/\\/, "/", p); print p "\tlink " $2 }'
}
# The registry hives without Wine's time stamps, the display adapter's date,
# which Wine sets at the start of each session, and the console's settings,
# which Wine's console host writes now and then when a console program (the
# robot) starts.
hives() { # prefix
  local hive
  for hive in system user; do
    awk -v hive=$hive '/^\[/ { sub(/\] [0-9]+$/, "]"); key = $0 } key ~ /^\[Console[]\\]/ { next }
      /^\[/ { print hive " " $0; next }
      /^#time=/ || key ~ /\{4D36E968-E325-11CE-BFC1-08002BE10318\}/ { next } { print }' "$1/$hive.reg"
  done
}
# A Wine session of the prefix until end_session: a session's start carries
# out the restart's queue, as a restart does, so a console program reading
# this script's descriptor 8 (no other program gets it) keeps the session
# between runs and ends with the script. A queue there is already is held
# back from that start and put back after it.
start_session() { # prefix
  local p=$1 pending held
  pending=$(pending_moves "$p")
  held=$(wininit "$p")
  sed -i '/^"PendingFileRenameOperations"=/d' "$p/system.reg"
  [ -z "$held" ] || mv "$p/drive_c/windows/$held" "$p/wininit.held"
  exec 8> >(WINEPREFIX=$p wine cmd >/dev/null 2>&1 9>&-)
  if [ -n "$pending" ]; then
    WINEPREFIX=$p wine reg add 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations \
      /t REG_MULTI_SZ /d "$pending" /f </dev/null >/dev/null 2>&1 8>&- 9>&-
  elif [ -n "$held" ]; then
    WINEPREFIX=$p wine cmd /c exit </dev/null >/dev/null 2>&1 8>&- 9>&-
    mv "$p/wininit.held" "$p/drive_c/windows/$held"
  fi
}
# A clone of the machine before ($cloned), in a session of its own.
clone() { # name
  local p f; p=$(bench_clone "$1" "$before") cloned=$p
  for f in "${staged[@]}"; do cp --remove-destination "$before/$f" "$p/$f"; done
  start_session "$p"
}
end_session() { # prefix: its registry saved
  exec 8>&-
  WINEPREFIX=$1 wineserver -k </dev/null >/dev/null 2>&1 8>&- 9>&-
  WINEPREFIX=$1 wineserver -w </dev/null >/dev/null 2>&1 8>&- 9>&-
}

# One run through: the count of changes and the machine it leaves.
clone "sweep-$name-ref"; ref=$cloned
manifest "$ref" >"$before/before.manifest"
run_setup "$ref" run
manifest "$ref" >"$before/after.manifest"
end_session "$ref"
total=$(sed -n 's/^total //p' "$ref/drive_c/bench/run.log")
echo "--- what one run says"; said "$ref/drive_c/bench/run.txt"
if [ -z "$total" ] || ! grep -q '^exit 0' "$ref/drive_c/bench/run.txt"; then
  echo "sweep $name: the uninterrupted run did not finish"; exit 1
fi
# Each kind of change every install makes must have been counted: a counter
# that no longer finds its function (moved out of the import table) would
# silently leave its changes unswept.
for kind in CreateFileA WriteFile LZCopy DeleteFileA SetFileTime IPersistFile::Save RegSetValueExA; do
  grep -q "^[0-9]* $kind " "$ref/drive_c/bench/run.log" || { echo "sweep $name: no $kind was counted"; exit 1; }
done
hives "$ref" >"$before/after.hives"
said "$ref/drive_c/bench/run.txt" >"$before/after.said"

# The cut points chosen by what they prove, "k<TAB>why": the first and the
# last change, the run through, and inside each kind of change (shortest
# first) where no point chosen cuts yet, just after its first change. Over a
# queued restart, only the two points after each change that names a file the
# restart is to take (a write through its handle follows): its other changes
# are of the kinds, and its rerun is the run through, of the upgrade that
# queued the restart (*_upgrade). The Start-menu entries, the uninstall entry
# and the other registry writes are made by the same code on every platform,
# in an upgrade as in a fresh install (none of them is there before): only
# xp_fresh sweeps those kinds.
choose_points() { # change-log
  QUEUED=${queued_files:-} awk -v on9x="$([[ $name == 9[58]_* ]] && echo 1)" \
    -v shared_kinds="$([[ $name != xp_fresh ]] && echo 'Start-menu|uninstall|registry')" '
    BEGIN { queued = split(ENVIRON["QUEUED"], names, "\n") }
    function kind(line, call) {
      if (line ~ /start menu/) return "the Start-menu entries"
      if (line ~ /\\uninstall\\vesk/) return "the uninstall entry"
      if (call ~ /^(Reg|SetupDi)/) return "the registry writes"
      if (call == "WritePrivateProfileStringA" || line ~ / at the restart$/) return "the restart'"'"'s queue"
      if (call == "MoveFileExA" && !on9x) return "a replacement in one step"
      if (call == "MoveFileA" && line ~ /~$/) return "the rename pair (its first: the old file aside)"
      if (call == "MoveFileA") return "a rename into place (Windows 9x)"
      return ""
    }
    function choose(k, why) { if (!(k in chosen)) chosen[k] = why }
    /^[0-9]+ / {
      n = $1; change[n] = $0; line = tolower($0)
      for (i = 1; i <= queued; i++) if (names[i] != "" && index(line, names[i])) named[n] = names[i]
      what = queued ? "" : kind(line, $2)
      if (what == "" || (shared_kinds != "" && what ~ shared_kinds)) next
      if (!(what in first)) { first[what] = n; kinds[++count] = what }
      if (what !~ /pair/) last[what] = n  # a cut inside a pair, not between two
    }
    END {
      if (!queued) { choose(1, "the first change"); choose(n, "the last change"); choose(n + 1, "no cut: two whole runs") }
      for (k in named) for (j = 1; j <= 2 && k + j <= n + 1; j++)
        choose(k + j, "after a change to the queued " named[k] ": " change[k + j - 1])
      for (i = 1; i <= count; i++) for (j = i + 1; j <= count; j++)  # the shortest kinds first
          if (last[kinds[j]] - first[kinds[j]] < last[kinds[i]] - first[kinds[i]]) { t = kinds[i]; kinds[i] = kinds[j]; kinds[j] = t }
      for (i = 1; i <= count; i++) {
        inside = 0
        for (k in chosen) if (k + 0 > first[kinds[i]] && k + 0 <= last[kinds[i]]) inside = 1
        if (!inside) choose(first[kinds[i]] + 1, "inside " kinds[i] ", after its first: " change[first[kinds[i]]])
      }
      for (k in chosen) print k "\t" chosen[k]
    }' "$1" | sort -n
}
if [ -n "$every" ]; then
  points=($(seq 1 "$every" "$total") $((total + 1)))
  stride="every ${every}th change"; [ "$every" -eq 1 ] && stride="every change"
  echo "sweep $name: $total changes in one run; cut before $stride from the first, and after the last"
else
  choose_points "$ref/drive_c/bench/run.log" >"$before/points"
  grep -q 'after a change to the queued' "$before/points" || [[ $name != *_queued ]] ||
    { echo "sweep $name: no change names a file the restart is to take (${queued_files:-none queued})"; exit 1; }
  points=($(cut -f1 "$before/points"))
  echo "sweep $name: $total changes in one run; ${#points[@]} cut points chosen (cut before k):"
  sed 's/^/  k=/' "$before/points"
fi

# The invariant after a cut: prints each file that breaks it.
invariant() { # prefix
  manifest "$1" >"$1/cut.manifest"
  # Windows 95/98 have no one-step replacement: a cut between the rename pair
  # leaves the old file whole beside its name ("~"), which the next run puts
  # back before anything else ("aside", counted on its own; broken on NT).
  awk -F'\t' -v on9x="$([[ $name == 9[58]_* ]] && echo 1)" '
    function staging(p) { return p ~ /[$~#]$/ || p ~ /(^|\/)veskold\.bak$/ || p ~ /^users\/[^\/]+\/temp\// || p ~ /^windows\/temp\// }
    FILENAME == ARGV[1] { old[$1] = $2; next }
    FILENAME == ARGV[2] { new[$1] = $2; next }
    { now[$1] = $2 }
    END {
      for (p in old)
        if (!(p in now)) {
          aside = substr(p, 1, length(p) - 1) "~"
          if (on9x && now[aside] == old[p]) print "aside: " p
          else if (p in new) print "missing: " p
        }
        else if (now[p] != old[p] && now[p] != new[p]) print "neither its old nor its new version: " p
      for (p in now)
        if (!(p in old) && !staging(p) && (p in new) && now[p] != new[p]) print "half-written: " p
    }' "$before/before.manifest" "$before/after.manifest" "$1/cut.manifest" | sort | while read -r line; do
      # An INI file is rewritten whole by each profile call: a complete one
      # with fewer entries is not torn.
      case $line in half-written:*.ini)
        local path; path=$(grep -ixF -m1 "${line#half-written: }" <(cd "$1/drive_c" && find . -type f -printf '%P\n'))
        grep -qvxFf <(tr -d '\r' <"$ref/drive_c/$path") <(tr -d '\r' <"$1/drive_c/$path") || continue ;;
      # A shell link is listed by what it says, its aside by its bytes: the
      # aside is the old link when it holds the old link's bytes.
      missing:*.lnk)
        local link; link=$(grep -ixF -m1 "${line#missing: }" <(cd "$before/drive_c" && find . -type f -printf '%P\n'))
        if [[ $name == 9[58]_* ]] && cmp -s "$before/drive_c/$link" "$1/drive_c/${link%?}~"; then
          line="aside: ${line#missing: }"
        fi ;;
      esac
      echo "$line"
    done
}
# What the rerun left that one run does not: prints each difference.
rerun_differences() { # prefix
  diff "$before/after.manifest" "$1/rerun.manifest" | awk -F'\t' '
    /^[<>]/ { side = substr($1, 1, 1); p = substr($1, 3); if (side == ">") extra[p] = 1; else gone[p] = 1 }
    END {
      for (p in extra) if (p in gone) print "differs: " p
        else print (p ~ /[$~#]$/ || p ~ /veskold\.bak$/ ? "stray: " : "extra: ") p
      for (p in gone) if (!(p in extra)) print "missing: " p
    }' | sort
  hives "$1" | diff "$before/after.hives" - | grep '^[<>]' | head -5 | sed 's/^/registry: /'
  said "$1/drive_c/bench/rerun.txt" | diff "$before/after.said" - | grep '^[<>]' | sed 's/^/said: /'
}

# One cut point; prints a line per broken check and a last line
# "k invariant-broken rerun-differed not-reached" (0 or 1 each).
# With no cut (k=N+1) the reference run was the first of the two whole runs:
# its prefix, in a new session, runs again.
sweep_point() { # k prefix-name
  local k=$1 point change at problems broke=0 differed=0 aside=0
  if [ "$k" -gt "$total" ]; then
    point=$ref; start_session "$point"
    at="k=$k (before nothing: the run went through)"
  else
    clone "$2"; point=$cloned
    run_setup "$point" cut "$k"
    change=$(sed -n "s/^cut $k //p" "$point/drive_c/bench/cut.log")
    if [ -z "$change" ]; then
      echo "k=$k: the cut run did not reach change $k"
      end_session "$point"; echo "$k 0 0 1 0"; return
    fi
    at="k=$k (before $change)"
    problems=$(invariant "$point")
    grep -q '^aside: ' <<<"$problems" && { aside=1; echo "$at: the old file aside, put back by the next run"; grep '^aside: ' <<<"$problems" | sed 's/^/    /'; }
    problems=$(grep -v '^aside: ' <<<"$problems")
    [ -z "$problems" ] || { broke=1; echo "$at: invariant broken"; sed 's/^/    /' <<<"$problems"; }
  fi
  run_setup "$point" rerun
  manifest "$point" >"$point/rerun.manifest"
  end_session "$point"
  problems=$(rerun_differences "$point")
  [ -z "$problems" ] || { differed=1; echo "$at: the rerun differs"; sed 's/^/    /' <<<"$problems"; }
  echo "$k $broke $differed 0 $aside"
}

# The points are shared out among MARLUNE_SWEEP_JOBS workers (2 by default),
# each with a prefix and an X display of its own; a point's report is
# printed when all are done, in order.
jobs=${MARLUNE_SWEEP_JOBS:-2} workers=()
for worker in $(seq 0 $((jobs - 1))); do
  (
    unset DISPLAY; bench_display || exit 1
    for i in $(seq "$worker" "$jobs" $((${#points[@]} - 1))); do
      sweep_point "${points[$i]}" "sweep-$name-$worker" >"$before/point-${points[$i]}.out"
    done
  ) &
  workers+=($!)
done
wait "${workers[@]}"
swept=0 broken=0 differed=0 lost=0 asides=0
for k in "${points[@]}"; do
  out=$before/point-$k.out
  [ -s "$out" ] || { echo "k=$k: no report"; lost=$((lost + 1)); swept=$((swept + 1)); continue; }
  head -n -1 "$out"
  read -r _ b d l a < <(tail -n 1 "$out")
  swept=$((swept + 1)) broken=$((broken + b)) differed=$((differed + d)) lost=$((lost + l)) asides=$((asides + a))
done
echo "sweep $name: $swept cut points swept, $broken broke the invariant, $differed reruns differed, $lost not reached, $asides in Windows 9x's rename pair"
[ $broken -eq 0 ] && [ $differed -eq 0 ] && [ $lost -eq 0 ]
