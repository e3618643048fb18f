#!/usr/bin/env bash
# orvanta-thumbnailer from the outside, as a file manager calls it: the
# output name is replaced (never written through a link), any valid name
# will do, an output that is no regular file is refused, and what is not a
# picture fails at once with no output.
#   thumbnailer_test.sh THUMBNAILER CORPUS_DIR
set -uo pipefail
thumb=$1 corpus=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
check() {
  local what=$1; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
status() { timeout 20 "$@" >/dev/null 2>&1; echo $?; }
raw="$corpus/exiftool-t/FujiFilm.raf"

echo precious > "$tmp/victim"
ln -s "$tmp/victim" "$tmp/out.png"
[ "$(id -u)" = 0 ] && chown -h nobody "$tmp/out.png"
check "a thumbnail is made" test "$(status "$thumb" -s 128 "$raw" "$tmp/out.png")" = 0
check "the link's target is left alone" test "$(cat "$tmp/victim")" = precious
check "the name now holds the PNG" test "$(head -c 4 "$tmp/out.png" | tail -c 3)" = PNG

mkfifo "$tmp/fifo.cr2"
ln -s /dev/zero "$tmp/zero.nef"
mkdir "$tmp/folder.arw"
for input in "$tmp/fifo.cr2" "$tmp/zero.nef" "$tmp/folder.arw" /dev/zero; do
  check "$(basename "$input"): fails at once" test "$(status "$thumb" -s 128 "$input" "$tmp/odd.png")" = 1
  check "$(basename "$input"): no output" test ! -e "$tmp/odd.png"
done
# Refused before any open: a FIFO nobody reads would block the writer for ever.
mkfifo "$tmp/fifo.png"
check "an output FIFO: refused at once" test "$(status "$thumb" -s 128 "$raw" "$tmp/fifo.png")" = 1
check "an output FIFO: left as it was" test -p "$tmp/fifo.png"
long="$tmp/$(printf 'l%.0s' {1..250}).png"  # 254 bytes, the longest name
check "the longest output name" test "$(status "$thumb" -s 128 "$raw" "$long")" = 0
check "the longest output name holds the PNG" test "$(head -c 4 "$long" | tail -c 3)" = PNG
check "no temporary file is left" test -z "$(find "$tmp" -name '.*')"
exit $((failures > 0))
