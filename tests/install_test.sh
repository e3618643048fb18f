#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed programs
# with the build folder, the source tree and the corpus hidden behind empty
# mounts, so anything that still points back into them fails.
#   install_test.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
corpus=$(cd "$2" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
mkdir "$tmp/files"
cp "$corpus/exiftool-t/FujiFilm.raf" "$corpus/exif-samples/jpg/Canon_40D.jpg" "$tmp/files/"
echo "not a picture" > "$tmp/files/notes.txt"

if ! unshare -m true 2>/dev/null; then
  echo "install_test: needs a private mount namespace (run as root)"
  exit 77
fi

unshare -m bash -s "$tmp" "$build" "$src" "$corpus" <<'INNER'
set -euo pipefail
tmp=$1 build=$2 src=$3 corpus=$4
source "$src/tests/lib.sh"  # before the source tree is hidden
for hidden in "$build" "$src" "$corpus"; do mount -t tmpfs none "$hidden"; done
p=$tmp/prefix
f=$tmp/files

# The versions come from the programs themselves, not from this script.
path_version=$(exiftool -ver)
installed_version=$(perl "$p/share/orvanta/exiftool/exiftool" -ver)
check "orv-ql selftest (exiftool from PATH)" \
  test "$("$p/bin/orv-ql" selftest)" = "status=Some(0) out=\"$path_version\" err=\"\""
check "orv-ql selftest (installed ExifTool, in-process)" \
  test "$("$p/bin/orv-ql" --exiftool bundled selftest)" = "status=Some(0) out=\"$installed_version\" err=\"\""
check "orv-ql inspect reads the camera look" \
  grep -q '"lookName":"Provia"' <("$p/bin/orv-ql" --exiftool bundled inspect "$f/FujiFilm.raf")

for input in FujiFilm.raf Canon_40D.jpg; do
  "$p/bin/orvanta-thumbnailer" -s 128 "$f/$input" "$tmp/$input.png" || true
  check "thumbnail of $input" test -s "$tmp/$input.png"
  size=$(png_size "$tmp/$input.png")
  check "thumbnail of $input within 128 px" test "${size%x*}" -le 128 -a "${size#*x}" -le 128
done
check "no thumbnail for a text file" bash -c "! '$p/bin/orvanta-thumbnailer' -s 128 '$f/notes.txt' '$tmp/notes.png' 2>/dev/null"
check "and no output file left" test ! -e "$tmp/notes.png"

dump=$("$p/bin/orvanta-preview" --dump "$f/FujiFilm.raf")
check "orvanta-preview --dump shows the picture" grep -q '"image":\[1800,1800\]' <<<"$dump"
check "orvanta-preview --dump shows the panel" grep -q '"kind":"title","text":"FujiFilm.raf"' <<<"$dump"

for mode in "" in-process child; do
  dump=$(ORVANTA_EXIFTOOL=$mode "$p/bin/orvanta-preview" --dump "$f/FujiFilm.raf")
  check "orvanta-preview --dump with ORVANTA_EXIFTOOL=${mode:-(unset)} shows the maker notes" \
    grep -q '"label":"Film simulation","value":"Provia"' <<<"$dump"
done
# Without a perl program, no ExifTool can be kept running: the window still
# fills, in-process, and says why once.
mount --bind /dev/null /usr/bin/perl
dump=$("$p/bin/orvanta-preview" --dump "$f/FujiFilm.raf" 2>"$tmp/perl-missing.err")
umount /usr/bin/perl
check "without perl the panel still fills" grep -q '"kind":"title","text":"FujiFilm.raf"' <<<"$dump"
check "and the fallback is told once" test "$(grep -c 'runs in-process instead' "$tmp/perl-missing.err")" = 1

check "pkg-config finds the core" \
  grep -q -- "-I$p/include" <(PKG_CONFIG_PATH="$p/lib/pkgconfig:$p/$(ls "$p" | grep -m1 lib)/pkgconfig" pkg-config --cflags orvql)
for file in share/applications/orvanta-preview.desktop share/thumbnailers/orvanta.thumbnailer \
            share/man/man1/orvanta-preview.1 share/man/man1/orv-ql.1 share/man/man1/orvanta-thumbnailer.1 \
            include/orv_ql.h share/icons/hicolor/scalable/apps/orvanta-preview.svg; do
  check "installed $file" test -s "$p/$file"
done
finish
INNER
