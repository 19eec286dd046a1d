#!/usr/bin/env bash
# Installs everything the build and the tests need. Safe to run again: it only
# asks apt for what is missing, and does nothing when everything is present.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  wine wine32:i386 wine64
  xvfb xauth x11-utils
  googletest
  libmspack-dev mscompress
  imagemagick
  nsis
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
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  if ! qemu-i386-static --version 2>/dev/null | grep -qE 'version ([89]|[1-9][0-9])\.'; then
    src=/etc/apt/sources.list.d/bookworm-backports.sources
    if [ ! -f "$src" ] && ! grep -rqs bookworm-backports /etc/apt/sources.list /etc/apt/sources.list.d/; then
      printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        | $SUDO tee "$src" >/dev/null
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
