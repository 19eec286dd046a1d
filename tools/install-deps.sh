#!/usr/bin/env bash
# Installs everything the build and the tests need. Safe to run again: it only
# asks apt for what is missing, and does nothing when everything is present.
#
#   tools/install-deps.sh                    install what is missing
#   tools/install-deps.sh --backports-entry  only print the bookworm-backports
#                                            entry this machine would get
#
# MARLUNE_APT_DIR (default /etc/apt) is the folder whose sources.list and
# sources.list.d/ are read and extended.
set -euo pipefail
apt_dir=${MARLUNE_APT_DIR:-/etc/apt}

# The bookworm-backports entry made from the machine's own bookworm source,
# so that a mirror or a local proxy is used as for every other package: the
# first enabled "deb" entry of the suite bookworm, in apt's reading order
# (sources.list, then sources.list.d/ by name), copied in its own format
# (one-line or deb822) with its addresses and options, for the suite
# bookworm-backports and the component main. Prints the file to write on the
# first line and its content after it; fails when there is no such entry.
backports_entry() {
  local f entry
  for f in "$apt_dir/sources.list" "$apt_dir"/sources.list.d/*; do
    [ -f "$f" ] || continue
    case $f in
      *.list)
        entry=$(awk '
          { sub(/#.*/, "") }
          $1 != "deb" { next }
          { line = $0; sub(/^[ \t]*deb[ \t]+/, "", line); options = "" }
          line ~ /^\[/ { options = substr(line, 1, index(line, "]")) " "; line = substr(line, index(line, "]") + 1) }
          { split(line, w, " ") }
          w[2] == "bookworm" { print "deb " options w[1] " bookworm-backports main"; exit }' "$f")
        [ -n "$entry" ] && { printf '%s\n%s\n' "$apt_dir/sources.list.d/bookworm-backports.list" "$entry"; return 0; } ;;
      *.sources)
        # Stanzas are separated by blank lines; a field runs on over the
        # following lines that start with white space; "#" lines are comments.
        entry=$(awk '
          function words(field, w,   n, i, list) {
            n = split(value[field], list, /[ \t\n]+/)
            for (i = 1; i <= n; i++) if (list[i] == w) return 1
            return 0
          }
          function stanza_end(   i) {
            if (words("types", "deb") && words("suites", "bookworm") && !words("enabled", "no")) {
              print "Types: deb"
              for (i = 1; i <= n; i++) if (keep[i] != "") print keep[i]
              print "Suites: bookworm-backports"
              print "Components: main"
              found = 1; exit
            }
            delete value; delete keep; n = 0; field = ""
          }
          /^#/ { next }
          /^[ \t]*$/ { stanza_end(); next }
          /^[ \t]/ { value[field] = value[field] " " $0; if (kept) keep[n] = keep[n] "\n" $0; next }
          {
            field = tolower(substr($0, 1, index($0, ":") - 1))
            value[field] = substr($0, index($0, ":") + 1)
            kept = field !~ /^(types|suites|components|enabled)$/
            n++; keep[n] = kept ? $0 : ""
          }
          END { if (!found) stanza_end() }' "$f")
        [ -n "$entry" ] && { printf '%s\n%s\n' "$apt_dir/sources.list.d/bookworm-backports.sources" "$entry"; return 0; } ;;
    esac
  done
  echo "no Debian bookworm source in $apt_dir/sources.list or $apt_dir/sources.list.d/ (*.list or *.sources):" \
    "cannot derive the bookworm-backports entry; add one for bookworm-backports by hand" >&2
  return 1
}

if [ "${1:-}" = --backports-entry ]; then
  backports_entry
  exit
fi

packages=(
  cmake make g++ pkg-config
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  wine wine32:i386 wine64
  xvfb xauth x11-utils
  googletest
  libmspack-dev mscompress
  imagemagick
  nsis
  fonts-wine
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
updated=0
apt_update() { [ $updated -eq 1 ] || { $SUDO apt-get update -qq; updated=1; }; }

if [ ${#missing[@]} -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  apt_update
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi

# Some virtual machines run no 32-bit user code at all (the kernel refuses
# i386 ELF files and the 32-bit code segment). There, Wine's 32-bit loader
# runs under qemu's user-mode emulator, registered with binfmt_misc. qemu 7.2
# ignores MAP_FIXED_NOREPLACE, which makes every Wine start take a minute of
# address-space probing; the backported qemu handles it and starts in ~0.3 s.
# MARLUNE_FORCE_QEMU=1 does the same on a machine that runs 32-bit code
# natively (tools/stress.sh --slow), making every 32-bit program slower.
if [ -n "${MARLUNE_FORCE_QEMU:-}" ] || ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  if ! qemu-i386-static --version 2>/dev/null | grep -qE 'version ([89]|[1-9][0-9])\.'; then
    if ! grep -rqs bookworm-backports "$apt_dir/sources.list" "$apt_dir/sources.list.d/"; then
      entry=$(backports_entry)
      sed 1d <<<"$entry" | $SUDO tee "$(head -n1 <<<"$entry")" >/dev/null
      updated=0
    fi
    apt_update
    $SUDO apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user-static </dev/null
  fi
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e $binfmt/register ] || $SUDO mount -t binfmt_misc binfmt_misc $binfmt
  # The F flag pins the interpreter file when registering, so register again
  # after qemu was replaced.
  [ -e $binfmt/qemu-i386 ] && echo -1 | $SUDO tee $binfmt/qemu-i386 >/dev/null
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:FP' \
    | $SUDO tee $binfmt/register >/dev/null
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 || { echo "cannot run 32-bit programs on this machine" >&2; exit 1; }
fi
