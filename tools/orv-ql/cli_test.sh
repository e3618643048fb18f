#!/usr/bin/env bash
# orv-ql from the outside: exit codes, output files, one envelope per path.
#   cli_test.sh ORV_QL CORPUS_DIR
set -uo pipefail
orv=$1 corpus=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
check() {
  local what=$1; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
status() { "$@" >/dev/null 2>&1; echo $?; }

check "no command is misuse" test "$(status "$orv")" = 2
check "unknown command is misuse" test "$(status "$orv" frobnicate)" = 2
check "preview without -o is misuse" test "$(status "$orv" preview "$corpus/exiftool-t/PNG.png")" = 2
check "bad orientation is misuse" test "$(status "$orv" preview x.jpg --orientation six -o "$tmp/x.jpg")" = 2
check "help exits 0" test "$(status "$orv" --help)" = 0

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
exit $((failures > 0))
