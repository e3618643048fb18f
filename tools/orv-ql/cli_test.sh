#!/usr/bin/env bash
# orv-ql from the outside: exit codes, output files, one envelope per path.
#   cli_test.sh ORV_QL CORPUS_DIR
set -uo pipefail
orv=$1 corpus=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
source "$(dirname "$0")/../../tests/lib.sh"

check "no command is misuse" test "$(status "$orv")" = 2
check "unknown command is misuse" test "$(status "$orv" frobnicate)" = 2
check "preview without -o is misuse" test "$(status "$orv" preview "$corpus/exiftool-t/PNG.png")" = 2
check "bad orientation is misuse" test "$(status "$orv" preview x.jpg --orientation six -o "$tmp/x.jpg")" = 2
check "help exits 0" test "$(status "$orv" --help)" = 0
check "zoom without the region is misuse" test "$(status "$orv" zoom x.jpg 0.5 0.5)" = 2
check "zoom writes the region as PPM" test "$("$orv" zoom "$corpus/exif-samples/jpg/Canon_40D.jpg" 0.5 0.5 64 32 \
  --orientation 6 2>/dev/null | head -n 2 | tr '\n' ' ')" = "P6 64 32 "

lines=$("$orv" inspect "$corpus/exiftool-t/Canon.jpg" "$tmp/missing.jpg" | wc -l)
check "inspect prints one envelope per path" test "$lines" = 2

echo "not a picture" > "$tmp/notes.jpg"
check "no picture: exit 1" test "$(status "$orv" preview "$tmp/notes.jpg" -o "$tmp/out.jpg")" = 1
check "no picture: no file" test ! -e "$tmp/out.jpg"
check "a picture is written" test "$(status "$orv" preview "$corpus/exif-samples/jpg/Canon_40D.jpg" -o "$tmp/out.jpg")" = 0
check "as a JPEG" test "$(head -c 2 "$tmp/out.jpg" | od -An -tx1 | tr -d ' ')" = ffd8

# Writing to a device goes to the device; it is never renamed over.
"$orv" preview "$corpus/exif-samples/jpg/Canon_40D.jpg" -o /dev/null
check "/dev/null is still a device" test -c /dev/null
# The reason given is the write's own, not what the clean-up met after it
# (sysfs refuses new files even to root).
if [ -d /sys/kernel ]; then
  err=$("$orv" preview "$corpus/exif-samples/jpg/Canon_40D.jpg" -o /sys/orv-ql-test.jpg 2>&1)
  check "a refused write says why" test "$err" = "orv-ql: cannot write /sys/orv-ql-test.jpg: Permission denied"
fi
# Nothing another user plants beside or at OUT is followed: the file is
# written under a fresh name and renamed over OUT.
pic="$corpus/exif-samples/jpg/Canon_40D.jpg"
echo precious > "$tmp/victim"
ln -s "$tmp/victim" "$tmp/planted.jpg.orv-ql-tmp"
mkfifo "$tmp/fifo.jpg.orv-ql-tmp"
"$orv" preview "$pic" -o "$tmp/planted.jpg"
check "a link where a temporary file might go is left alone" test "$(cat "$tmp/victim")" = precious
check "and the picture is written" test "$(head -c 2 "$tmp/planted.jpg" | od -An -tx1 | tr -d ' ')" = ffd8
check "a FIFO there neither blocks nor receives the picture" test "$(status timeout 20 "$orv" preview "$pic" -o "$tmp/fifo.jpg")" = 0
ln -s "$tmp/victim" "$tmp/linked.jpg"
[ "$(id -u)" = 0 ] && chown -h nobody "$tmp/linked.jpg"
"$orv" preview "$pic" -o "$tmp/linked.jpg"
check "a link at OUT is replaced, not written through" test "$(cat "$tmp/victim")" = precious
check "by the picture" test -f "$tmp/linked.jpg" -a ! -L "$tmp/linked.jpg"
ln -s /dev/null "$tmp/to-null.jpg"
"$orv" preview "$pic" -o "$tmp/to-null.jpg"
check "one's own link to a device is written through" test -L "$tmp/to-null.jpg"
check "no temporary file is left" test -z "$(find "$tmp" -name '.*.jpg.*')"
check "the file gets the usual mode" test "$(umask 022; "$orv" preview "$pic" -o "$tmp/mode.jpg"; stat -c %a "$tmp/mode.jpg")" = 644
finish
