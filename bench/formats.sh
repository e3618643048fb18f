#!/usr/bin/env bash
# Phone and web formats: `orv-ql preview` against vipsthumbnail (libvips
# reads all four through the same Debian libraries), side by side on a
# 12-megapixel HEIC, AVIF, WebP and JPEG XL made from the same generated
# scene, each producing a JPEG whose longer side is 1800 pixels at quality
# 75. Run through scripts/bench; the files are made into $BENCH_OUT/fixtures
# on first use (the HEIC encode alone takes about half a minute).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh

build=${ORVQL_BUILD_DIR:-build}
orv=$build/bin/orv-ql

source bench/fixtures.sh
out=$(realpath -m "$BENCH_OUT/formats-out")
mkdir -p "$out"

f=$fixtures
if [ ! -s "$f/scene-12mp.jxl" ]; then
  "$scene" 4000 3000 > "$f/scene-4000.ppm"
  "$magick" "$f/scene-4000.ppm" "PNG24:$f/scene-4000.png"
  # Each written under a temporary name, so a cut-off run leaves nothing
  # that looks finished; the JPEG XL one last, as the mark of a full set.
  heif-enc -q 80 "$f/scene-4000.png" -o "$f/.scene-12mp.heic" && mv "$f/.scene-12mp.heic" "$f/scene-12mp.heic"
  avifenc -s 6 "$f/scene-4000.png" "$f/.scene-12mp.avif" >/dev/null && mv "$f/.scene-12mp.avif" "$f/scene-12mp.avif"
  cwebp -quiet -q 80 "$f/scene-4000.png" -o "$f/.scene-12mp.webp" && mv "$f/.scene-12mp.webp" "$f/scene-12mp.webp"
  cjxl --quiet "$f/scene-4000.png" "$f/.scene-12mp.jxl" && mv "$f/.scene-12mp.jxl" "$f/scene-12mp.jxl"
  rm -f "$f/scene-4000.ppm" "$f/scene-4000.png"
fi

for kind in heic:HEIC avif:AVIF webp:WebP jxl:"JPEG XL"; do
  file=$f/scene-12mp.${kind%%:*}
  bench_compare preview "${kind#*:} 4000x3000" 1.0 \
    "$orv preview $file -o $out/ours.jpg" \
    vipsthumbnail "vipsthumbnail --size 1800x1800 $file -o '$out/vips.jpg[Q=75]'"
done
