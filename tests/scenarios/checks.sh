# Checks used by the scenarios: each prints a FAIL line and counts failures.
# With the bench, UTC, and an X display of the script's own (see bench.sh).
. "$(dirname "${BASH_SOURCE[0]}")/../wine/bench.sh"
export TZ=UTC
unset DISPLAY
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { [ -n "${VERBOSE:-}" ] && echo "ok: $*"; return 0; }

# A transcript line containing the text (fixed string).
expect_line() { grep -qF -- "$1" "$transcript" && pass "$1" || fail "transcript lacks: $1"; }
expect_no_line() { grep -qF -- "$1" "$transcript" && fail "transcript has: $1" || pass "no $1"; }
# Lines matching the patterns appear in this order (fixed strings).
expect_order() {
  local at=0 n
  for text in "$@"; do
    n=$(grep -nF -- "$text" "$transcript" | awk -F: -v at="$at" '$1 > at {print $1; exit}')
    [ -n "$n" ] || { fail "transcript lacks, in order: $text"; return; }
    at=$n
  done
  pass "order"
}
# Exactly N lines starting with the prefix.
expect_count() { local n; n=$(grep -c -- "^$1" "$transcript"); [ "$n" -eq "$2" ] && pass "$1" || fail "$2 lines '$1' expected, found $n"; }

# The folders Setup installs to in a bench prefix.
SYS='C:\windows\system32'
WIN='C:\windows'
APP='C:\Program Files\Brenmark'
# The files every platform installs outside the system folders.
COMMON_FILES=("$APP\\MarluneReleaseNotes.txt" "$APP\\Mixer.exe" "$APP\\Register.exe" "$WIN\\RmVesk.exe")
TEMP="C:\\users\\$(whoami)\\Temp"
NT_PROGRAMS='C:\ProgramData\Microsoft\Windows\Start Menu\Programs'
USER_PROGRAMS="C:\\users\\$(whoami)\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"

# The registry a run starts from: stage_begin starts C:\bench\stage.reg,
# winver and stage_card add to it, stage_registry loads it into the prefix.
stage_begin() { stage_reg=$drive/bench/stage.reg; printf 'REGEDIT4\n\n' >"$stage_reg"; }
winver() { printf '[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\Setup.exe]\n"Version"="%s"\n\n' "$1" >>"$stage_reg"; }
# A recorded PCI device of the card, as Windows 2000 and later list it.
stage_card() {
  printf '[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\PCI\\%s\\%s]\n' "$1" "$2" >>"$stage_reg"
  printf '"HardwareID"=hex(7):%s\n"ClassGUID"="{4d36e96c-e325-11ce-bfc1-08002be10318}"\n\n' \
    "$(printf '%s\0\0' "$3" | od -An -tx1 -v | tr -s ' \n' ',' | sed 's/^,//; s/,$//')" >>"$stage_reg"
}
stage_registry() { wine regedit /S 'C:\bench\stage.reg' </dev/null >/dev/null 2>&1 9>&-; }

# Unix path of a Windows path in the scenario's prefix (C: only).
unix_path() { local p=${1#C:\\}; echo "$drive/${p//\\//}"; }

# An installed file byte-identical to the carried one, stamped with the release time.
expect_installed() {
  local path carried=$2 file; file=$(unix_path "$1")
  [ -f "$file" ] || { fail "not installed: $1"; return; }
  cmp -s "$file" "$payload/$carried" || fail "$1 differs from the carried $carried"
  local stamp; stamp=$(TZ=UTC stat -c '%y' "$file")
  [[ $stamp == "2004-05-24 01:20:00.024"* ]] || fail "$1 has the time $stamp"
}
expect_absent() { [ -e "$(unix_path "$1")" ] && fail "present but should not be: $1" || pass "absent $1"; }
expect_content() { [ "$(cat "$(unix_path "$1")" 2>/dev/null)" = "$2" ] && pass "$1" || fail "$1 does not hold '$2'"; }

# A value of the prefix's registry as Wine stores it: system.reg for
# HKEY_LOCAL_MACHINE (HKEY_CLASSES_ROOT lives under Software\Classes),
# user.reg for HKEY_CURRENT_USER. The value name "@" is the default value.
reg_get() { # file key name
  reg_key "$1" "$2" | NAME=$3 awk 'BEGIN { name = ENVIRON["NAME"] }
    name == "@" && index($0, "@=") == 1 { print substr($0, 3); exit }
    index($0, "\"" name "\"=") == 1 { print substr($0, length(name) + 4); exit }'
}
# The value lines of one key (named through the environment: awk -v unescapes).
reg_key() { # file key
  KEY="[${2//\\/\\\\}]" awk 'BEGIN { key = tolower(ENVIRON["KEY"]) " " }
    /^\[/ { inkey = index(tolower($0), key) == 1; next } inkey' "$1"
}
expect_reg() { # hive key name expected-raw-value
  local got; got=$(reg_get "$prefix/$1.reg" "$2" "$3")
  [ "$got" = "$4" ] && pass "$2 $3" || fail "registry $2 \"$3\" is [$got], expected [$4]"
}
expect_no_reg() {
  local got; got=$(reg_get "$prefix/$1.reg" "$2" "$3")
  [ -z "$got" ] && pass "no $2 $3" || fail "registry $2 \"$3\" is [$got], expected none"
}
# Names of the values of one key.
reg_names() { reg_key "$prefix/$1.reg" "$2" | sed -n 's/^"\([^"]*\)"=.*/\1/p; s/^@=.*/@/p'; }
