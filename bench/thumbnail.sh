#!/usr/bin/env bash
# Thumbnails as a file manager asks for them (256 px): orvanta-thumbnailer on
# a RAW file against the shell pipeline that extracts the embedded preview
# with ExifTool and scales it with vipsthumbnail, side by side.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
source bench/fixtures.sh
make_fixtures
out=$(realpath -m "$BENCH_OUT/thumbnail")
mkdir -p "$out"
raw=$fixtures/raw-24mp-preview.cr2

bench_compare thumbnail "RAW with 24 MP preview, 256 px PNG" 1.2 \
  "$build/bin/orvanta-thumbnailer -s 256 $raw $out/ours.png" \
  "exiftool -b -PreviewImage piped into vipsthumbnail" \
  "sh -c 'exiftool -b -PreviewImage $raw | vipsthumbnail stdin --size 256 -o $out/vips.png'"
