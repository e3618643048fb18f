#!/usr/bin/env bash
# The Debian package: built with cpack from the install rules, checked with
# dpkg-deb, installed with apt-get, used from the installed paths, and purged
# again, so the machine is left as it was found.
#   package_test.sh BUILD_DIR CORPUS_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
corpus=$(cd "$2" && pwd)
if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null; then
  echo "package_test: needs root and apt-get to install a package"
  exit 77
fi
if dpkg-query -W -f='${db:Status-Status}' orvanta-preview 2>/dev/null | grep -qx installed; then
  echo "package_test: orvanta-preview is already installed here; not touching it"
  exit 77
fi
source "$(dirname "$0")/lib.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { echo "FAIL cpack"; exit 1; }
deb=$(ls "$work"/orvanta-preview_*_*.deb)
check "the package is named for its version and architecture" \
  test "$(basename "$deb")" = "orvanta-preview_$(dpkg-deb -f "$deb" Version)_$(dpkg --print-architecture).deb"

depends=$(dpkg-deb -f "$deb" Depends)
for dep in perl "libperl$(perl -e 'printf "%vd", $^V' | cut -d. -f1,2)" libimage-exiftool-perl libqt6widgets6 \
           libturbojpeg0 libtiff6 libpng16-16; do
  check "depends on $dep" grep -qE "(^|, )$dep( |,|$)" <<<"$depends"
done
contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for file in usr/bin/orvanta-preview usr/bin/orv-ql usr/bin/orvanta-thumbnailer usr/lib/liborvql.so.0 \
            usr/include/orv_ql.h usr/lib/pkgconfig/orvql.pc \
            usr/share/applications/orvanta-preview.desktop usr/share/thumbnailers/orvanta.thumbnailer \
            usr/share/man/man1/orvanta-preview.1 usr/share/man/man1/orv-ql.1 usr/share/man/man1/orvanta-thumbnailer.1; do
  check "holds /$file" grep -qx "./$file" <<<"$contents"
done
check "carries no ExifTool of its own: Debian's is kept current" bash -c "! grep -q exiftool <<<'$contents'"

export DEBIAN_FRONTEND=noninteractive
if ! apt-get install -y -qq "$deb" >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "FAIL apt-get install"
  exit 1
fi
version=$(/usr/bin/exiftool -ver)
check "installed orv-ql selftest" test "$(/usr/bin/orv-ql selftest)" = "status=Some(0) out=\"$version\" err=\"\""
dump=$(/usr/bin/orvanta-preview --dump "$corpus/exiftool-t/FujiFilm.raf" 2>&1)
check "installed orvanta-preview --dump shows the picture" grep -q '"image":\[1800,1800\]' <<<"$dump"
check "and the panel" grep -q '"kind":"title","text":"FujiFilm.raf"' <<<"$dump"
check "installed thumbnailer" /usr/bin/orvanta-thumbnailer -s 128 "$corpus/exiftool-t/FujiFilm.raf" "$work/thumb.png"

apt-get purge -y -qq orvanta-preview >/dev/null 2>&1
check "purged again" bash -c "! dpkg-query -W -f='\${db:Status-Status}' orvanta-preview 2>/dev/null | grep -qx installed"
check "nothing of it left" test ! -e /usr/bin/orvanta-preview -a ! -e /usr/share/orvanta
finish
