# Benchmark fixtures, generated on first use into $BENCH_OUT/fixtures (sourced
# by bench/*.sh after bench/lib.sh): a generated scene (sky, hills, texture)
# encoded the way cameras and editors store it — a 24-megapixel JPEG, a
# 12-megapixel PNG, a 12-megapixel TIFF — and a small RAW file carrying the
# 24-megapixel JPEG as its preview, and a 45-megapixel JPEG for the full-size
# view; on request (make_large_fixtures) three
# pictures that are small on disk and huge once decoded.
build=${ORVQL_BUILD_DIR:-build}
scene=$build/bin/orvql-bench-scene
large=$build/bin/orvql-bench-large
for tool in "$scene" "$large"; do
  [ -x "$tool" ] || { echo "bench: $tool is missing; build with -DORVQL_BENCH=ON" >&2; exit 1; }
done
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
  [ -s "$f/scene-45mp.jpg" ] || { "$scene" 8256 5504 > "$f/scene-45mp.ppm"
    "$magick" "$f/scene-45mp.ppm" -quality 92 -sampling-factor 2x2 "$f/scene-45mp.jpg"; rm -f "$f/scene-45mp.ppm"; }
  if [ ! -s "$f/raw-24mp-preview.cr2" ]; then
    cp ../shared/corpus/exiftool-t/CanonRaw.cr2 "$f/raw-24mp-preview.cr2"
    chmod u+w "$f/raw-24mp-preview.cr2"
    exiftool -q -overwrite_original "-PreviewImage<=$f/scene-24mp.jpg" "$f/raw-24mp-preview.cr2"
  fi
}

# The 45-megapixel scene as a TIFF in LZW strips of 64 rows, as one in
# deflate tiles of 256, and as a PNG, for the full-size view's memory.
make_zoom_fixtures() {
  local f=$fixtures
  [ -s "$f/scene-45mp-strips.tif" ] && [ -s "$f/scene-45mp-tiles.tif" ] && [ -s "$f/scene-45mp.png" ] && return
  "$scene" 8256 5504 > "$f/scene-45mp.ppm"
  "$magick" "$f/scene-45mp.ppm" -compress lzw -define tiff:rows-per-strip=64 "$f/scene-45mp-strips.tif"
  "$magick" "$f/scene-45mp.ppm" -compress zip -define tiff:tile-geometry=256x256 "$f/scene-45mp-tiles.tif"
  "$magick" "$f/scene-45mp.ppm" "$f/scene-45mp.png"
  rm -f "$f/scene-45mp.ppm"
}

# Pictures under the pixel limit that are a few hundred kilobytes to a few
# megabytes on disk and hundreds of megabytes once decoded whole (see
# bench/preview/large.cpp); written under a temporary name so that a cut-off
# run leaves nothing that looks finished.
make_large_fixtures() {
  local f=$fixtures kind name
  for kind in tiff-one-strip:one-strip-14142.tif tiff-wide-rgba16:wide-rgba16.tif png-interlaced:interlaced-14000.png; do
    name=${kind#*:}
    [ -s "$f/$name" ] || { "$large" "${kind%%:*}" "$f/.$name" && mv "$f/.$name" "$f/$name"; }
  done
}
