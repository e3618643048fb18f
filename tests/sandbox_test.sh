#!/usr/bin/env bash
# The thumbnailer where file managers run it: installed system-wide (here a
# temporary prefix bound at its own path), inside a bubblewrap sandbox that
# shows /usr, /proc, /dev and a private scratch /tmp, with the session's
# XDG_RUNTIME_DIR and TMPDIR naming folders that do not exist in there.
#   sandbox_test.sh BUILD_DIR CORPUS_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
corpus=$(cd "$2" && pwd)
# Outside /tmp: inside the sandbox /tmp is the scratch folder.
work=$(mktemp -d /var/tmp/orvql-sandbox.XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null || exit 1
if ! bwrap --ro-bind /usr /usr --symlink usr/lib /lib --symlink usr/lib64 /lib64 --unshare-all /usr/bin/true 2>/dev/null; then
  echo "sandbox_test: bubblewrap cannot make a sandbox here"
  exit 77
fi

source "$(dirname "$0")/lib.sh"

# thumbnail INPUT NAME SCRATCH: the file manager's call; its exit status.
thumbnail() {
  timeout 30 bwrap --ro-bind /usr /usr --symlink usr/lib /lib --symlink usr/lib64 /lib64 --symlink usr/bin /bin \
    --proc /proc --dev /dev --unshare-all --bind "$3" /tmp --ro-bind "$prefix" "$prefix" --ro-bind "$1" "/tmp/$2" \
    --setenv XDG_RUNTIME_DIR /run/user/1000 --setenv TMPDIR /nonexistent/tmp \
    "$prefix/bin/orvanta-thumbnailer" -s 256 "/tmp/$2" /tmp/out.png >/dev/null 2>&1
}

# A RAW file with a 1200 x 800 preview, stored turned a quarter (6).
convert -size 1200x800 gradient:red-blue "$work/preview.jpg"
cp "$corpus/exiftool-t/CanonRaw.cr2" "$work/shot.cr2" && chmod u+w "$work/shot.cr2"
exiftool -q -overwrite_original -n -Orientation=6 "-PreviewImage<=$work/preview.jpg" "$work/shot.cr2"

mkdir "$work/scratch-raw"
check "a RAW file gets a thumbnail" test "$(thumbnail "$work/shot.cr2" in.cr2 "$work/scratch-raw"; echo $?)" = 0
check "upright and 256 px on its longer side" test "$(png_size "$work/scratch-raw/out.png")" = 171x256
check "the scratch folder holds only the input and the PNG" \
  test "$(ls -A "$work/scratch-raw" | tr '\n' ' ')" = "in.cr2 out.png "

head -c $(( $(stat -c %s "$work/shot.cr2") / 2 )) "$work/shot.cr2" > "$work/damaged.cr2"
echo "not a picture" > "$work/notes.CR2"
for input in damaged.cr2 notes.CR2; do
  mkdir "$work/scratch-$input"
  status=$(thumbnail "$work/$input" "$input" "$work/scratch-$input"; echo $?)
  check "$input: fails (not a timeout)" test "$status" -ne 0 -a "$status" -ne 124
  check "$input: no PNG, nothing else left" test "$(ls -A "$work/scratch-$input")" = "$input"
done
finish
