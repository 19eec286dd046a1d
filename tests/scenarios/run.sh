#!/usr/bin/env bash
# End-to-end scenarios: the real Setup.exe in a scratch Wine prefix, answered
# by the robot, then the transcript, files, times and registry are checked.
#   run.sh BENCH_DIR WIN_BUILD_DIR SCENARIO
# Scenarios: robot (the robot's self-test) xp_fresh nt4_fresh 95_fresh 98_fresh w2k_fresh w2k_now2k
#            xp_upgrade 98_upgrade xp_cancel xp_copy_failure xp_second_copy
# Those of Windows 95, 98 and NT 4 run Setup.exe with those platforms'
# documented refusals in place (Setup-rules.exe).
set -u
here=$(cd "$(dirname "$0")" && pwd)
bench_dir=$1 win=$2 name=$3
. "$here/checks.sh"
bench_init "$bench_dir" || exit 1
prefix=$(bench_clone "scenario-$name")
export WINEPREFIX=$prefix
drive=$prefix/drive_c
payload=$win/payload
transcript=$drive/bench/transcript.txt
mkdir -p "$drive/bench/shots"
cp "$win/robot.exe" "$win/robot-hook.dll" "$payload/Mixer.exe" "$drive/bench/"
case $name in
  95_*|98_*|nt4_*) cp "$win/Setup-rules.exe" "$drive/bench/Setup.exe" ;;
  robot) cp "$win/companion.exe" "$drive/bench/Setup.exe" ;;
  *) cp "$win/Setup.exe" "$drive/bench/" ;;
esac

stage_begin
# Libraries planted beside Setup.exe under the names of the libraries it
# uses (each one's own name: plant_libraries winmm ...), with Wine told to
# look beside the program first for each of them, as Windows does for every
# library that is not a KnownDLL.
plant_libraries() {
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\Setup.exe\\DllOverrides]\n' >>"$stage_reg"
  for dll in "$@"; do
    cp "$win/planted.dll" "$drive/bench/${dll^^}.DLL"
    printf '"%s"="native,builtin"\n' "$dll" >>"$stage_reg"
  done
  printf '\n' >>"$stage_reg"
}
plan="" args="" robot_opts=()

case $name in
  robot)      args=flickers ;;
  xp_fresh)   winver winxp; plan=1,2; plant_libraries winmm setupapi lz32 vesk ole32 shell32
              stage_card 'VEN_10B5&DEV_7C31&SUBSYS_00000000&REV_01' '4&1a2b3c&0&0008' 'PCI\VEN_10B5&DEV_7C31&SUBSYS_00000000&REV_01'
              robot_opts=(--start 'C:\bench\Mixer.exe') ;;
  nt4_fresh)  winver nt40; plan=1,2
              stage_card 'VEN_10B5&DEV_7C31' '4&1a2b3c&0&0010' 'PCI\VEN_10B5&DEV_7C31' ;;
  95_fresh)   winver win95; plan=1,2 ;;
  # Not OLE32 here: Wine's own IMM32, which its USER32 loads before the
  # program starts, asks for it by bare name where the platform offers no
  # safer search (Windows 98's own libraries do not).
  98_fresh)   winver win98; plan=1,2; plant_libraries winmm setupapi lz32 vesk ;;
  w2k_fresh)  winver win2k; plan=1,2
              stage_card 'VEN_10B5&DEV_7C31' '4&1a2b3c&0&0010' 'pci\ven_10b5&dev_7c31' ;;
  w2k_now2k)  winver win2k; plan=1,2; args=NOW2K
              stage_card 'VEN_10B5&DEV_7C31' '4&1a2b3c&0&0010' 'PCI\VEN_10B5&DEV_7C31' ;;
  xp_upgrade) winver winxp; plan=1,2
              printf 'old driver' >"$(unix_path "$SYS\\Vesk.Dll")"
              robot_opts=(--hold "$SYS\\Vesk.Dll") ;;
  98_upgrade) winver win98; plan=1,2
              printf 'old driver' >"$(unix_path "$SYS\\Vesk.Drv")"
              robot_opts=(--hold "$SYS\\Vesk.Drv") ;;
  xp_cancel)  winver winxp; plan=2
              printf 'working driver' >"$(unix_path "$SYS\\Vesk.Dll")" ;;
  xp_second_copy) winver winxp; plan=1,2; robot_opts=(--second-copy) ;;
  xp_copy_failure) winver winxp; plan=1
              # Both the destination and the name the LZ library falls back to
              # are folders, so the destination cannot be opened.
              mkdir -p "$(unix_path "$APP\\Mixer.exe")" "$(unix_path "$APP\\Mixer.ex_")" ;;
  *) echo "unknown scenario $name"; exit 2 ;;
esac

stage_registry
wine 'C:\bench\robot.exe' --transcript 'C:\bench\transcript.txt' --shots 'C:\bench\shots' \
  --plan "$plan" --timeout 150 "${robot_opts[@]}" -- 'C:\bench\Setup.exe' $args </dev/null >/dev/null 2>&1 9>&-
wineserver -w 9>&-
echo "--- transcript of $name"
cat "$transcript" 2>/dev/null || { echo "no transcript"; exit 1; }
echo "---"

nt_files() {
  expect_installed "$SYS\\Vesk.Dll" Vesk.Dll
  expect_installed "$SYS\\drivers\\Vesk.Sys" Vesk.Sys
  expect_absent "$SYS\\Vesk.Drv"; expect_absent "$SYS\\Vesk.VxD"; expect_absent "$SYS\\VeskASIO.Dll"
}
common_files() {
  local f; for f in "${COMMON_FILES[@]}"; do expect_installed "$f" "${f##*\\}"; done
  local leftovers; leftovers=$(ls "$(unix_path "$TEMP")" 2>/dev/null | grep -E '\$$' || true)
  [ -z "$leftovers" ] || fail "compressed copies left in the temporary folder: $leftovers"
}
completed() {
  expect_line 'progress "File '
  expect_count 'dialog "Installation Complete"' 1
  expect_line 'exit 0'
}
# The welcome dialog with "Continue" focused. Where a companion program was
# just closed, Wine may not yet have handed Setup the input focus when the
# robot looks (the unit tests check the dialog's initial focus).
welcome() {
  expect_line "dialog \"$1\""
  [ "${#robot_opts[@]}" -gt 0 ] && [ "${robot_opts[0]}" = --start ] || expect_line '  focus 1'
}

CLSID='{5E2B93A1-7D04-11d3-9C6E-00A0C93F1B52}'
MEDIA='System\CurrentControlSet\Control\Class\{4D36E96C-E325-11CE-BFC1-08002BE10318}'
# The ASIO driver, the uninstall entry and, on Windows 9x, the PCI bus value.
registrations() { # module
  expect_reg system 'Software\ASIO\Marlune' CLSID "\"$CLSID\""
  expect_reg system "Software\Classes\CLSID\\$CLSID" @ '"Marlune"'
  expect_reg system "Software\Classes\CLSID\\$CLSID\\InprocServer32" @ "\"C:\\\\windows\\\\system32\\\\$1\""
  expect_reg system "Software\Classes\CLSID\\$CLSID\\InprocServer32" ThreadingModel '"Apartment"'
  local uninstall='Software\Microsoft\Windows\CurrentVersion\Uninstall\Vesk'
  [ "$(reg_names system "$uninstall" | sort | tr '\n' ' ')" = "DisplayName UninstallString " ] \
    || fail "the uninstall entry has the values: $(reg_names system "$uninstall" | tr '\n' ' ')"
  expect_reg system "$uninstall" DisplayName '"Marlune Audio Driver (Remove Only)"'
  expect_reg system "$uninstall" UninstallString '"C:\\windows\\RmVesk.exe"'
  if [ "$1" = VeskASIO.Dll ]; then
    expect_reg system 'System\CurrentControlSet\Services\VxD\PCI' 7C3110B5 'hex:00,00,40,00'
    expect_no_reg system 'Software\Microsoft\Windows NT\CurrentVersion\Drivers32' Wave
  else
    expect_no_reg system 'System\CurrentControlSet\Services\VxD\PCI' 7C3110B5
    expect_reg system 'Software\Microsoft\Windows NT\CurrentVersion\drivers.desc' Vesk.Dll '"Marlune"'
    for kind in Wave MIDI Mixer; do
      expect_reg system 'Software\Microsoft\Windows NT\CurrentVersion\Drivers32' $kind '"Vesk.Dll"'
    done
  fi
}
# The card's device bound to the driver (instance 0001: the prefix has no
# media class instances before), or left alone.
device_registered() { # enum-key
  expect_reg system "System\CurrentControlSet\Enum\PCI\\$1" Driver '"{4D36E96C-E325-11CE-BFC1-08002BE10318}\\0001"'
  expect_reg system "System\CurrentControlSet\Enum\PCI\\$1" Mfg '"Brenmark, Inc."'
  expect_reg system "$MEDIA\\0001" DriverDesc '"Marlune"'
  expect_reg system "$MEDIA\\0001" DriverVersion '"1.20 Build 024l"'
  expect_reg system "$MEDIA\\0001\\Drivers\\wave\\Vesk.Dll" Alias '"Wave"'
}
device_untouched() { # enum-key
  expect_no_reg system "System\CurrentControlSet\Enum\PCI\\$1" Driver
  expect_no_reg system "$MEDIA\\0001" DriverDesc
}
# The six Start-menu entries, read back through the shell's link object.
shortcuts() { # programs-folder
  local list; list=$(wine 'C:\bench\robot.exe' links "$1" </dev/null 2>/dev/null 9>&- | tr -d '\r')
  local expected=(
    "link \"$1\\StartUp\\Marlune TaskBar Icon.lnk\" target=\"$APP\\Mixer.exe\" arguments=\"TASKBAR\" description=\"\""
    "link \"$1\\Brenmark\\Marlune Mixer.lnk\" target=\"$APP\\Mixer.exe\" arguments=\"\" description=\"Software control of the Marlune settings\""
    "link \"$1\\Brenmark\\Online Registration Wizard.lnk\" target=\"$APP\\Register.exe\" arguments=\"\" description=\"Register your Marlune (requires an internet connection)\""
    "link \"$1\\Brenmark\\Marlune Release Notes.lnk\" target=\"$APP\\MarluneReleaseNotes.txt\" arguments=\"\" description=\"Revision History for the Marlune Driver\""
    "link \"$1\\Brenmark\\Uninstall Marlune.lnk\" target=\"$WIN\\RmVesk.exe\" arguments=\"\" description=\"Remove the Marlune Driver and Mixer application\""
    "url \"$1\\Brenmark\\Brenmark Web Site.url\" content=\"[InternetShortcut]\\r\\n\\rURL=http://www.brenmark.com/\\r\\n\\r\""
  )
  for e in "${expected[@]}"; do
    grep -qixF -- "$e" <<<"$list" || fail "shortcut missing or wrong: $e"
  done
}

case $name in
  robot)  # every state of a window shown for a millisecond and of labels changed within a few
    expected=('dialog "Brief"' 'progress "File 0 of 10 | 0 of 10"')
    for n in 1 2 3; do expected+=("progress \"File $n of 10 | $((n - 1)) of 10\"" "progress \"File $n of 10 | $n of 10\""); done
    [ "$(tr -d '\r' <"$transcript")" = "$(printf '%s\n' "${expected[@]}" 'exit 0')" ] || fail "the robot missed a state" ;;
  xp_fresh|nt4_fresh|w2k_fresh|w2k_now2k)
    welcome "Marlune Windows NT Driver Installation Wizard"
    completed
    expect_line '  control 1 Button hidden "Restart"'
    nt_files; common_files
    if [ $name = nt4_fresh ]; then expect_absent "$WIN\\inf\\Vesk.Inf"; else expect_installed "$WIN\\inf\\Vesk.Inf" Vesk.Inf; fi
    grep -q 'DRV_INSTALL 9' "$drive/windows/temp/vesk-driver.log" 2>/dev/null || fail "the driver was not installed"
    grep -q 'DRV_ENABLE 2' "$drive/windows/temp/vesk-driver.log" 2>/dev/null || fail "the driver was not enabled"
    expect_count message 0
    registrations Vesk.Dll
    shortcuts "$NT_PROGRAMS"
    case $name in
      xp_fresh) expect_line 'companion ended'
                device_registered 'VEN_10B5&DEV_7C31&SUBSYS_00000000&REV_01\4&1a2b3c&0&0008' ;;
      w2k_fresh) device_registered 'VEN_10B5&DEV_7C31\4&1a2b3c&0&0010' ;;
      *) device_untouched 'VEN_10B5&DEV_7C31\4&1a2b3c&0&0010' ;;
    esac
    ;;
  95_fresh|98_fresh)
    welcome "Marlune Windows 95 Driver Installation Wizard"
    expect_line '  control 1101 Static visible "You should install your Marlune Audio Card in a PCI Slot inside your computer AFTER this process is complete."'
    completed
    expect_installed "$SYS\\Vesk.Drv" Vesk.Drv
    expect_installed "$SYS\\Vesk.VxD" Vesk.VxD
    expect_installed "$SYS\\VeskASIO.Dll" VeskASIO.Dll
    expect_installed "$WIN\\inf\\Vesk.Inf" Vesk.Inf
    expect_absent "$SYS\\Vesk.Dll"; expect_absent "$SYS\\drivers\\Vesk.Sys"
    common_files
    [ -e "$drive/windows/temp/vesk-driver.log" ] && fail "the driver was called on Windows 9x"
    expect_count message 0
    registrations VeskASIO.Dll
    shortcuts "$USER_PROGRAMS"
    ;;
  xp_upgrade)
    welcome "Marlune Windows NT Driver Upgrade Wizard"
    expect_line '  control 1100 Static visible "This program will upgrade the Marlune driver and associated files on your computer.  We recommend exiting any other programs that are currently running before continuing the upgrade process."'
    completed
    expect_line '  control 1 Button visible "Restart"'
    expect_content "$SYS\\Vesk.Dll" "old driver"
    # The new driver waits for the restart beside the old one, never in the
    # temporary folder, which other users may write.
    expect_installed "$SYS\\Vesk.Dl\$" Vesk.Dll
    expect_absent "$TEMP\\VESK.DLL"
    grep -q 'Vesk\.Dl\$.*Vesk\.Dll' "$prefix/system.reg" || fail "no pending move of Vesk.Dl\$ onto Vesk.Dll"
    [ -e "$drive/windows/temp/vesk-driver.log" ] && fail "the driver was called during an upgrade"
    expect_installed "$SYS\\drivers\\Vesk.Sys" Vesk.Sys
    common_files
    registrations Vesk.Dll
    ;;
  98_upgrade)
    welcome "Marlune Windows 95 Driver Upgrade Wizard"
    completed
    expect_content "$SYS\\Vesk.Drv" "old driver"
    expect_installed "$TEMP\\VESK.DRV" Vesk.Drv
    expect_installed "$TEMP\\VESK.VXD" Vesk.VxD
    ini=$(find "$drive/windows" -maxdepth 1 -iname wininit.ini -exec cat {} + 2>/dev/null | tr -d '\r')
    grep -qixF "C:\\windows\\system32\\Vesk.Drv=$TEMP\\VESK.DRV" <<<"$ini" || fail "wininit.ini lacks the Vesk.Drv line: $ini"
    grep -qixF "C:\\windows\\system32\\Vesk.VxD=$TEMP\\VESK.VXD" <<<"$ini" || fail "wininit.ini lacks the Vesk.VxD line: $ini"
    common_files
    registrations VeskASIO.Dll
    ;;
  xp_second_copy)  # started at the welcome dialog: it shows nothing, brings the welcome forward, ends
    welcome "Marlune Windows NT Driver Installation Wizard"
    expect_order 'foreground "Robot in front"' 'second copy exit 0, windows 0' \
      'foreground "Marlune Windows NT Driver Installation Wizard"' 'answer 1'
    completed
    expect_count 'dialog' 2
    expect_count message 0
    nt_files; common_files
    registrations Vesk.Dll
    ;;
  xp_cancel)
    welcome "Marlune Windows NT Driver Installation Wizard"
    expect_line 'answer 2'
    expect_line 'exit 0'
    expect_count 'dialog' 1
    expect_content "$SYS\\Vesk.Dll" "working driver"
    expect_absent "$APP\\Mixer.exe"
    [ -d "$(unix_path "$APP")" ] || fail "the application folder was not made before the welcome dialog"
    ;;
  xp_copy_failure)
    expect_count 'message' 4
    expect_line 'message caption="File Open Failure! [-'
    expect_order "text=\"Unable to open destination file '$APP\\Mixer.exe'!\"" \
      'message caption="Error" text="EnumResourceNames [' \
      'message caption="Error" text="CopyFiles Failed!"' \
      'text="The Marlune Driver Installation Wizard was unable to complete successfully.\n\nPlease report this problem to Brenmark as soon as possible."'
    expect_no_line 'dialog "Installation Complete"'
    expect_installed "$APP\\MarluneReleaseNotes.txt" MarluneReleaseNotes.txt
    expect_absent "$APP\\Register.exe"
    expect_line 'exit 0'
    [ -d "$(unix_path "$NT_PROGRAMS\\Brenmark")" ] && fail "Start-menu folder made after a copy failure"
    expect_no_reg system 'Software\Microsoft\Windows\CurrentVersion\Uninstall\Vesk' DisplayName
    expect_no_reg system 'Software\ASIO\Marlune' CLSID
    ;;
esac

planted=$drive/bench/planted.log
[ -e "$planted" ] && fail "Setup.exe loaded libraries planted beside it: $(tr -s '\r\n' ' ' <"$planted")"
if [ "$failures" -eq 0 ]; then echo "scenario $name: passed"; else echo "scenario $name: $failures failures"; fi
[ "$failures" -eq 0 ]
