#!/usr/bin/env bash
# A build around a release folder: ten generated files, two of them named in
# other case, and one file the catalogue does not know. A second, small
# Windows-side configure builds only the carried files and their containers;
# every resource of the compiled resource script must expand (msexpand) to its
# release file byte for byte, in the catalogue's order, and the folder the
# tests compare installed files with must hold the release's files. Then
# folders that cannot be carried are refused, naming the problem.
#   release_folder.sh SOURCE_DIR HOST_BIN_DIR WORK_DIR
set -u
src=$1 host_bin=$2 work=$3
release=$work/release bin=$work/build
rm -rf "$release" "$work/res"; mkdir -p "$release" "$work/res"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

names=(MarluneReleaseNotes.txt MIXER.EXE Register.exe RmVesk.exe vesk.dll Vesk.Drv Vesk.Inf Vesk.Sys Vesk.VxD VeskASIO.Dll)
i=0
for name in "${names[@]}"; do
  # Text that compresses, then bytes that do not: a different mix per file.
  { for n in $(seq 1 $((i * 40 + 1))); do echo "release file $name, line $n"; done
    head -c $((i * 997 + 1)) /dev/urandom; } >"$release/$name"
  i=$((i + 1))
done
echo "not carried" >"$release/ReadMe.1st"

configure() { # release folder; output in $work/configure.log
  cmake -S "$src" -B "$bin" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DHOST_BIN_DIR="$host_bin" -DWINE_BENCH_DIR="$work/wine" -DMARLUNE_RELEASE_DIR="$1" >"$work/configure.log" 2>&1
}

configure "$release" || { cat "$work/configure.log"; fail "a good release folder was refused"; exit 1; }
grep -q 'not carried (not in the catalogue): ReadMe.1st' "$work/configure.log" || fail "no warning about ReadMe.1st"
cmake --build "$bin" --target payload >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "payload build"; exit 1; }
i686-w64-mingw32-windres "$bin/payload.rc" -O res -o "$work/payload.res" || fail "windres"

# Each resource of the .res file as TYPE LANGUAGE NAME in a file named after it.
perl -e '
  local $/; open my $in, "<:raw", $ARGV[0] or die; my $res = <$in>; my $at = 0;
  while ($at + 8 <= length $res) {
    my ($size, $header) = unpack "VV", substr($res, $at, 8);
    my $p = $at + 8; my @id;
    for (1 .. 2) {
      if (unpack("v", substr($res, $p, 2)) == 0xFFFF) { push @id, unpack("v", substr($res, $p + 2, 2)); $p += 4; next }
      my $s = ""; while ((my $c = unpack "v", substr($res, $p, 2)) != 0) { $s .= chr $c; $p += 2 } $p += 2; push @id, $s;
    }
    $p = ($p + 3) & ~3;
    my $lang = unpack "v", substr($res, $p + 6, 2);
    if ($size) {
      print "$id[0] $lang $id[1]\n";
      open my $out, ">:raw", "$ARGV[1]/$id[1]" or die; print $out substr($res, $at + $header, $size);
    }
    $at = ($at + $header + $size + 3) & ~3;
  }' "$work/payload.res" "$work/res" >"$work/resources.txt"

expected="" i=0
for row in MARLUNERELEASENOTES.TXT:MarluneReleaseNotes.txt MIXER.EXE:Mixer.exe REGISTER.EXE:Register.exe \
           RMVESK.EXE:RmVesk.exe VESK.DLL:Vesk.Dll VESK.DRV:Vesk.Drv VESK.INF:Vesk.Inf VESK.SYS:Vesk.Sys \
           VESK.VXD:Vesk.VxD VESKASIO.DLL:VeskASIO.Dll; do
  resource=${row%%:*} carried=${row#*:} file=$release/${names[$i]}
  expected+="10 1033 $resource"$'\n'
  msexpand <"$work/res/$resource" >"$work/expanded" 2>/dev/null || fail "$resource does not expand"
  cmp -s "$work/expanded" "$file" || fail "$resource does not expand to ${names[$i]}"
  [ "$(od -An -tu4 -j10 -N4 "$work/res/$resource" | tr -d ' ')" = "$(stat -c %s "$file")" ] \
    || fail "$resource's header does not give the size of ${names[$i]}"
  cmp -s "$bin/payload/$carried" "$file" || fail "the tests' payload folder lacks the release's $carried"
  i=$((i + 1))
done
[ "$(cat "$work/resources.txt")" = "${expected%$'\n'}" ] || fail "resources: $(cat "$work/resources.txt")"
[ -e "$bin/payload/ReadMe.1st" ] && fail "ReadMe.1st was carried"

refused() { # description, expected message part
  if configure "$release"; then fail "$1: the folder was not refused"
  elif ! grep -qF -- "$2" "$work/configure.log"; then cat "$work/configure.log"; fail "$1: no message '$2'"
  fi
}
mv "$release/Vesk.Sys" "$work/Vesk.Sys"
refused "missing file" "lacks Vesk.Sys"
mv "$work/Vesk.Sys" "$release/Vesk.Sys"
cp "$release/vesk.dll" "$release/VESK.DLL"
refused "one name twice" "holds both VESK.DLL and vesk.dll: one name in different case"
rm "$release/VESK.DLL"
: >"$release/Vesk.Inf"
refused "empty file" "holds an empty Vesk.Inf"

[ $failures -eq 0 ] && echo "release folder: passed"
[ $failures -eq 0 ]
