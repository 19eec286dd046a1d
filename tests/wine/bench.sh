# Wine test bench, sourced by the scripts that run Windows programs.
#   bench_init DIR      set up (once) and enter the bench of one build tree:
#                       a Wine prefix made with wineboot -i, a persistent
#                       wineserver, and an Xvfb display of the caller's own
#                       when DISPLAY is unset.
#   bench_clone NAME [FROM]  a scratch prefix cloned with hard links from the
#                       bench's template (or the prefix FROM), in
#                       $BENCH/scratch/NAME; prints its path.
#   bench_winver EXE VERSION   make EXE see win95 / win98 / nt40 / win2k / winxp.
# Everything runs with WINEDEBUG=-all and without the Wine menu builder, so
# shortcuts never leak into the host's desktop menus.

export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export WINEARCH=win32

# Runs a command with every standard stream on /dev/null and without the
# bench's lock descriptor, so long-lived children never hold the lock.
_bench_quiet() { "$@" </dev/null >/dev/null 2>&1 9>&-; }

# Start (or reuse) the persistent wineserver of WINEPREFIX. All three
# standard streams go to /dev/null: a server that inherits ctest's pipe makes
# ctest wait for ever.
bench_server() {
  _bench_quiet wineserver -p || true  # fails when one is running already
}

# An X display of the calling script's own, as Wine programs on one display
# take the foreground from each other: an Xvfb that picks a free number itself
# (-displayfd) and is stopped when the script ends, after the Wine session of
# the script's WINEPREFIX then. A DISPLAY already set is used as it is.
bench_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local fifo n; fifo=$(mktemp -u) && mkfifo "$fifo" || return 1
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" </dev/null >/dev/null 2>&1 9>&- &
  _bench_xvfb=$!
  trap '_bench_quiet wineserver -k || true; kill $_bench_xvfb 2>/dev/null && wait $_bench_xvfb || true' EXIT
  read -r n <"$fifo"; rm -f "$fifo"
  [ -n "$n" ] || { echo "bench: could not start Xvfb" >&2; return 1; }
  export DISPLAY=":$n"
}

# Registry settings every bench prefix gets: Windows XP by default, no
# window-manager handshake (without a window manager Wine would otherwise wait
# about two seconds whenever a window closes), no crash dialog (a crash ends the
# program at once, with a backtrace).
bench_configure_prefix() {
  cat >"$WINEPREFIX/bench-setup.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine]
"Version"="winxp"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
"Decorated"="Y"

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"winemenubuilder.exe"=""

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
  _bench_quiet wine regedit /S "$WINEPREFIX/bench-setup.reg"
}

# Wine's own fonts (Debian's fonts-wine: Marlett for the caption buttons,
# the "MS Sans Serif" bitmap font of the dialogs, Tahoma ...). Wine 8.0 as
# Debian builds it never reads them where the package puts them, in Wine's
# data folder /usr/share/wine/fonts: its font list holds only fontconfig's
# fonts, so dialogs get a wider stand-in and the close box an "r". Wine does
# read the prefix's own C:\windows\Fonts at every start, so they are copied
# there.
bench_fonts() {
  local fonts=/usr/share/wine/fonts
  [ -f "$fonts/marlett.ttf" ] || { echo "bench: no $fonts/marlett.ttf (package fonts-wine)" >&2; return 0; }
  cp "$fonts"/*.ttf "$fonts"/*.fon "$WINEPREFIX/drive_c/windows/Fonts/"
}

# Clones a prefix with hard links, except the files Wine rewrites in place
# (the registry hives and INI files), which each clone gets a copy of.
_bench_clone_prefix() {
  cp -al "$1" "$2"
  local f
  for f in "$2"/*.reg "$2"/drive_c/windows/*.ini; do
    [ -f "$f" ] && cp --remove-destination "$1/${f#"$2"/}" "$f"
  done
  return 0
}

# Bumped whenever the template's making changes, so old build trees remake it.
BENCH_VERSION=4

bench_init() {
  BENCH=$1
  mkdir -p "$BENCH"
  exec 9>"$BENCH/lock"
  flock 9
  bench_display || { flock -u 9; return 1; }
  # The template prefix is made once and never run afterwards; the unit
  # tests' prefix and every scenario's prefix are hard-linked clones of it.
  if [ "$(cat "$BENCH/template/.bench-ready" 2>/dev/null)" != "$BENCH_VERSION" ]; then
    WINEPREFIX="$BENCH/prefix" _bench_quiet wineserver -k || true
    rm -rf "$BENCH/template" "$BENCH/prefix" "$BENCH/scratch"
    export WINEPREFIX="$BENCH/template"
    _bench_quiet wineboot -i
    bench_configure_prefix
    bench_fonts
    _bench_quiet wineserver -w
    echo "$BENCH_VERSION" >"$WINEPREFIX/.bench-ready"
  fi
  export WINEPREFIX="$BENCH/prefix"
  [ -d "$WINEPREFIX" ] || _bench_clone_prefix "$BENCH/template" "$WINEPREFIX"
  bench_server
  flock -u 9
}

bench_winver() {
  local exe version key
  exe=$(basename "$1"); version=$2
  local stamp="$WINEPREFIX/.winver-$exe-$version"
  [ -f "$stamp" ] && return 0
  key="HKCU\\Software\\Wine\\AppDefaults\\$exe"
  _bench_quiet wine reg add "$key" /v Version /d "$version" /f
  rm -f "$WINEPREFIX"/.winver-"$exe"-*
  touch "$stamp"
}

# A scratch prefix for one scenario, from the template or from the prefix
# FROM; prints its path. Run programs in it with WINEPREFIX set to that path
# (each gets its own wineserver).
bench_clone() {
  local dest="$BENCH/scratch/$1" from=${2:-$BENCH/template}
  if [ -d "$dest" ]; then
    WINEPREFIX="$dest" _bench_quiet wineserver -k || true
    rm -rf "$dest"
  fi
  mkdir -p "$BENCH/scratch"
  _bench_clone_prefix "$from" "$dest"
  echo "$dest"
}
