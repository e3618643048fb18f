# Benchmark fixtures, generated on first use into $BENCH_OUT/fixtures (sourced
# by bench/*.sh after bench/lib.sh): a generated scene (sky, hills, texture)
# encoded the way cameras and editors store it — a 24-megapixel JPEG, a
# 12-megapixel PNG, a 12-megapixel TIFF — and a small RAW file carrying the
# 24-megapixel JPEG as its preview.
build=${ORVQL_BUILD_DIR:-build}
scene=$build/bin/orvql-bench-scene
[ -x "$scene" ] || { echo "bench: $scene is missing; build with -DORVQL_BENCH=ON" >&2; exit 1; }
# The ImageMagick binary itself, not a wrapper that may stand in front of it.
magick=$(command -v convert-im6.q16 || command -v /usr/bin/convert || command -v convert)
# Absolute: vipsthumbnail takes a relative output name as relative to the input.
fixtures=$(realpath -m "$BENCH_OUT/fixtures")
mkdir -p "$fixtures"

make_fixtures() {
  local f=$fixtures
  [ -s "$f/scene-24mp.jpg" ] || { "$scene" 6000 4000 > "$f/scene-24mp.ppm"
    "$magick" "$f/scene-24mp.ppm" -quality 92 -sampling-factor 2x2 "$f/scene-24mp.jpg"; rm -f "$f/scene-24mp.ppm"; }
  [ -s "$f/scene-12mp.png" ] || { "$scene" 4240 2832 > "$f/scene-12mp.ppm"
    "$magick" "$f/scene-12mp.ppm" "$f/scene-12mp.png"; rm -f "$f/scene-12mp.ppm"; }
  [ -s "$f/scene-12mp.tif" ] || { "$scene" 4000 3000 > "$f/scene-12mp.ppm"
    "$magick" "$f/scene-12mp.ppm" -compress none "$f/scene-12mp.tif"; rm -f "$f/scene-12mp.ppm"; }
  if [ ! -s "$f/raw-24mp-preview.cr2" ]; then
    cp ../shared/corpus/exiftool-t/CanonRaw.cr2 "$f/raw-24mp-preview.cr2"
    chmod u+w "$f/raw-24mp-preview.cr2"
    exiftool -q -overwrite_original "-PreviewImage<=$f/scene-24mp.jpg" "$f/raw-24mp-preview.cr2"
  fi
}
