#!/usr/bin/env bash
# Preview benchmark: `orv-ql preview` against vipsthumbnail and ImageMagick,
# side by side on the same files, each producing a JPEG whose longer side is
# 1800 pixels at quality 75. Run through scripts/bench (build/ configured
# with -DORVQL_BENCH=ON); the fixtures are generated into
# $BENCH_OUT/fixtures on first use.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh

build=${ORVQL_BUILD_DIR:-build}
orv=$build/bin/orv-ql

source bench/fixtures.sh
out=$(realpath -m "$BENCH_OUT/preview-out")
mkdir -p "$out"
make_fixtures

# bench_case CASE TARGET FILE: ours against both peers on FILE.
bench_case() {
  local case=$1 target=$2 file=$3
  bench_compare preview "$case" "$target" \
    "$orv preview $file -o $out/ours.jpg" \
    vipsthumbnail "vipsthumbnail --size 1800x1800 $file -o '$out/vips.jpg[Q=75]'"
  bench_compare preview "$case" "" \
    "$orv preview $file -o $out/ours.jpg" \
    imagemagick "$magick $file -resize 1800x1800 -quality 75 $out/im.jpg"
}

bench_case "JPEG 6000x4000" 0.5 "$fixtures/scene-24mp.jpg"
bench_case "PNG 4240x2832" "" "$fixtures/scene-12mp.png"
bench_case "TIFF 4000x3000" "" "$fixtures/scene-12mp.tif"

# What turning colours into sRGB costs: the same 24 MP JPEG with an Adobe
# RGB (1998) profile embedded, against it untagged (nothing converted).
adobe=$fixtures/scene-24mp-adobe.jpg
[ -s "$adobe" ] || exiftool -q "-ICC_Profile<=/usr/share/color/icc/colord/AdobeRGB1998.icc" \
  -o "$adobe" "$fixtures/scene-24mp.jpg"
bench_compare preview "JPEG 6000x4000 with an Adobe RGB profile, converted to sRGB" 1.1 \
  "$orv preview $adobe -o $out/ours.jpg" "the same untagged" "$orv preview $fixtures/scene-24mp.jpg -o $out/plain.jpg"

# Neither peer reads the RAW file itself; each is given the preview that
# ExifTool extracts, which is what ours does internally.
raw=$fixtures/raw-24mp-preview.cr2
bench_compare preview "RAW with 24 MP preview" "" \
  "$orv preview $raw -o $out/ours.jpg" \
  "exiftool + vipsthumbnail" \
  "bash -c 'exiftool -b -PreviewImage $raw > $out/extracted.jpg && vipsthumbnail --size 1800x1800 $out/extracted.jpg -o \"$out/vips.jpg[Q=75]\"'"
bench_compare preview "RAW with 24 MP preview" "" \
  "$orv preview $raw -o $out/ours.jpg" \
  "exiftool + imagemagick" \
  "bash -c 'exiftool -b -PreviewImage $raw > $out/extracted.jpg && $magick $out/extracted.jpg -resize 1800x1800 -quality 75 $out/im.jpg'"

# Peak memory and time of one run on pictures that are large once decoded:
# the decoders hold a band of rows besides the output, never the whole
# picture. An interlaced PNG this large is refused, which is the point.
make_large_fixtures
memory_case() {
  local case=$1 file=$2 kb seconds
  /usr/bin/time -f '%M %e' -o "$BENCH_OUT/.rss" "$orv" preview "$file" -o "$out/large.jpg" >/dev/null 2>&1 || true
  read -r kb seconds < <(tail -n 1 "$BENCH_OUT/.rss")
  bench_record preview "$case" "peak RSS" "$(awk -v kb="$kb" 'BEGIN { printf "%.1f", kb / 1024 }')" MB 300
  bench_record preview "$case" "time" "$seconds" s ""
}
memory_case "TIFF 14142x14142, one deflate strip" "$fixtures/one-strip-14142.tif"
memory_case "TIFF 1000000x200 RGBA 16-bit, 100-row strips" "$fixtures/wide-rgba16.tif"
memory_case "PNG 14000x14000 interlaced (refused)" "$fixtures/interlaced-14000.png"

# The full-size view (Z): a 2560 x 1600 region (1280 x 800 at twice the
# density) at the centre of the picture, one picture pixel per pixel,
# against `vips crop` of the same region to a JPEG, each a process of its
# own. The RAW file's embedded 24 MP preview is the full-size picture; its
# peer gets the preview ExifTool extracts. Then the figure the target is
# for, 250 ms from the key to the view in a warm service: the same regions
# in one process whose resident ExifTool is running (orvql-bench-zoom).
# And a peak RSS under 250 MB on 45 MP files.
zoom_warm=$build/bin/orvql-bench-zoom
script=$build/share/orvanta/exiftool/exiftool
# zoom_row CASE FILE WIDTH HEIGHT PEER_NAME PEER
zoom_row() {
  local case=$1 file=$2 width=$3 height=$4 peer_name=$5 peer=$6
  local left=$(( (width - 2560) / 2 )) top=$(( (height - 1600) / 2 )) line
  bench_compare preview "$case" "" \
    "$orv --exiftool bundled zoom $file 0.5 0.5 2560 1600" \
    "$peer_name" "${peer//@CROP@/vips crop \$in $out/vips-crop.jpg $left $top 2560 1600}"
  line=$("$zoom_warm" "$script" "$file" 2560 1600 "$BENCH_RUNS")
  echo "  $case, warm: $line"
  bench_record preview "$case" "time to the 100 % view, warm (median)" \
    "$(echo "$line" | sed -n 's/.*median_ms=\([0-9.]*\).*/\1/p')" ms 250
}
zoom_row "Full-size region 2560x1600 of a JPEG 6000x4000" "$fixtures/scene-24mp.jpg" 6000 4000 \
  "vips crop" "bash -c 'in=$fixtures/scene-24mp.jpg; @CROP@'"
zoom_row "Full-size region 2560x1600 of a RAW with a 6000x4000 preview" "$raw" 6000 4000 \
  "exiftool + vips crop" "bash -c 'in=$out/extracted.jpg; exiftool -b -PreviewImage $raw > \$in && @CROP@'"
make_zoom_fixtures
for file in scene-45mp.jpg scene-45mp-strips.tif scene-45mp-tiles.tif scene-45mp.png; do
  /usr/bin/time -f '%M' -o "$BENCH_OUT/.rss" "$orv" zoom "$fixtures/$file" 0.5 0.5 2560 1600 >/dev/null 2>&1 || true
  bench_record preview "Full-size region 2560x1600 of $file (8256x5504)" "peak RSS" \
    "$(awk -v kb="$(tail -n 1 "$BENCH_OUT/.rss")" 'BEGIN { printf "%.1f", kb / 1024 }')" MB 250
done
# The same in the interface: the window zoomed in on that file, drawn off
# screen (the drawing is a copy of the window the service does not make).
preview=$build/bin/orvanta-preview
for scale in 1 2; do
  QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=$scale /usr/bin/time -f '%M' -o "$BENCH_OUT/.rss" \
    "$preview" --render "$out/zoomed.png" --size 2560x1440 --zoom "$fixtures/scene-45mp.jpg" >/dev/null 2>&1 || true
  bench_record preview "Window 2560x1440 at scale $scale zoomed on a JPEG 8256x5504 (--render)" "peak RSS" \
    "$(awk -v kb="$(tail -n 1 "$BENCH_OUT/.rss")" 'BEGIN { printf "%.1f", kb / 1024 }')" MB "$([ "$scale" = 1 ] && echo 250)"
done
