#!/usr/bin/env bash
# What a user of GNOME Files waits for after Space: a warm
# `orvanta-preview --service` (its default resident ExifTool running) asked
# to ShowFile over D-Bus, timed to the completed window (picture and panel),
# against the tools that make only the picture. Then a neighbour shown 1.5 s
# after its folder's first file (prefetched meanwhile), and memory over 1000
# requests. Each file sits in a folder of its own unless it is a neighbour,
# so nothing is prefetched that is timed as a first request.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
source bench/fixtures.sh
make_fixtures
preview=$build/bin/orvanta-preview
driver=$build/bench/service_bench
# Not $BENCH_OUT/service: that is CMake's build folder for bench/service,
# which this clears on every run.
out=$(realpath -m "$BENCH_OUT/service-out")
rm -rf "$out"
mkdir -p "$out"

# A 24-megapixel camera JPEG: the scene, with every tag of a real camera
# file copied in, maker notes included.
camera=$fixtures/camera-24mp.jpg
if [ ! -s "$camera" ]; then
  cp "$fixtures/scene-24mp.jpg" "$camera"
  exiftool -q -overwrite_original -TagsFromFile "../shared/corpus/metadata-extractor/jpg/Canon PowerShot SD850 IS.jpg" \
    -all:all -ImageWidth= -ImageHeight= "$camera"
fi
raw=$fixtures/raw-24mp-preview.cr2

# copies NAME FILE COUNT: COUNT folders NAME-i, each holding a copy of FILE
# (same extension); prints the copies' paths.
copies() {
  local name=$1 file=$2 count=$3 i
  for i in $(seq 1 "$count"); do
    mkdir -p "$out/$name-$i"
    cp "$file" "$out/$name-$i/photo.${file##*.}"
    printf '%s ' "$out/$name-$i/photo.${file##*.}"
  done
}
# COUNT folders NAME-1 … each holding two copies of the camera JPEG, a.jpg
# and b.jpg (b is a's neighbour); prints the folders.
pairs() {
  local name=$1 count=$2 i
  for i in $(seq 1 "$count"); do
    mkdir -p "$out/$name-$i"
    cp "$camera" "$out/$name-$i/a.jpg"
    cp "$camera" "$out/$name-$i/b.jpg"
    printf '%s ' "$out/$name-$i"
  done
}
runs=${SERVICE_BENCH_RUNS:-9}

line=$("$driver" "$preview" latency $(copies jpeg "$camera" $((runs + 1))))
echo "  JPEG: $line"
jpeg_s=$(echo "$line" | sed -n 's/.*median_s=\([0-9.]*\).*/\1/p')
bench_against service "warm service, ShowFile to completed window, camera JPEG 24 MP" 0.75 "$jpeg_s" \
  "vipsthumbnail 1800 px" "vipsthumbnail --size 1800x1800 $camera -o $out/vips.jpg[Q=75]"

line=$("$driver" "$preview" latency $(copies raw "$raw" $((runs + 1))))
echo "  RAW: $line"
raw_s=$(echo "$line" | sed -n 's/.*median_s=\([0-9.]*\).*/\1/p')
bench_against service "warm service, ShowFile to completed window, RAW with 24 MP preview" 0.6 "$raw_s" \
  "exiftool -b -PreviewImage piped into vipsthumbnail" \
  "sh -c 'exiftool -b -PreviewImage $raw | vipsthumbnail stdin --size 1800x1800 -o $out/vips-raw.jpg[Q=75]'"

line=$("$driver" "$preview" neighbour $(pairs pair "$runs"))
echo "  neighbour: $line"
next_s=$(echo "$line" | sed -n 's/.*median_s=\([0-9.]*\).*/\1/p')
bench_record service "prefetched neighbour shown 1.5 s after the first, against a first request (camera JPEG)" \
  "ratio to the first request ($(awk -v s="$next_s" 'BEGIN { printf "%.1f", s * 1000 }') ms)" \
  "$(awk -v a="$next_s" -v b="$jpeg_s" 'BEGIN { printf "%.3f", a / b }')" "×" 0.1

line=$("$driver" "$preview" contended $(pairs busy $((2 * runs))))
echo "  while a neighbour is being prepared: $line"
busy_s=$(echo "$line" | sed -n 's/.*median_s=\([0-9.]*\).*/\1/p')
bench_record service "a file in another folder asked for at once, while a neighbour is prepared (camera JPEG)" \
  "ShowFile to completed window" "$(awk -v s="$busy_s" 'BEGIN { printf "%.1f", s * 1000 }')" ms ""

requests=${SERVICE_BENCH_REQUESTS:-1000}
small="../shared/corpus/metadata-extractor/jpg/Canon PowerShot SD850 IS.jpg"
line=$("$driver" "$preview" rss "$requests" $(copies rss "$small" 10))
echo "  memory: $line"
growth=$(echo "$line" | sed -n 's/.*growth_mb=\([-0-9.]*\).*/\1/p')
bench_record service "RSS of the service and its residents over $requests requests (10 files in turn)" "growth" \
  "$growth" MB 10

# One odd file never holds the previewer. A neighbour that takes ExifTool
# minutes (a 16 MB ".jpg" of two million empty ISO-BMFF boxes) is being
# prepared when a file in another folder is asked for: the delay it adds,
# against the same request with an ordinary neighbour.
mkdir -p "$out/slow"
cp "$camera" "$out/slow/a.jpg"
perl -e 'print pack("N", 8) . "free" for 1 .. 2_000_000' > "$out/slow/b.jpg"
line=$("$driver" "$preview" slow "$out/slow" $(copies lone "$camera" "$runs"))
echo "  after a slow neighbour: $line"
slow_s=$(echo "$line" | sed -n 's/.*median_s=\([0-9.]*\).*/\1/p')
bench_record service "delay a slow neighbour (ExifTool minutes) adds to a file asked for next (camera JPEG)" \
  "added to a lone request ($(awk -v s="$busy_s" 'BEGIN { printf "%.0f", s * 1000 }') ms)" \
  "$(awk -v a="$slow_s" -v b="$busy_s" 'BEGIN { printf "%.3f", a - b }')" s 0.5

# A sparse 4 GB ".jpg" (a JPEG header, then zeros) beside the shown photo:
# the highest memory of the service and every ExifTool it starts while the
# neighbour is prepared and refused.
mkdir -p "$out/huge"
cp "$camera" "$out/huge/a.jpg"
head -c 2 "$camera" > "$out/huge/b.jpg"
truncate -s 4G "$out/huge/b.jpg"
line=$("$driver" "$preview" peak 8 "$out/huge/a.jpg")
echo "  beside a 4 GB file: $line"
bench_record service "peak RSS of the service and its ExifTool processes beside a sparse 4 GB .jpg" \
  "peak" "$(echo "$line" | sed -n 's/.*peak_mb=\([0-9.]*\).*/\1/p')" MB 600
rm -f "$out/huge/b.jpg"

# Holding an arrow key: 1,000 ShowFile calls at once over 20 folders; the
# time from the last to its window, against one request.
line=$("$driver" "$preview" burst 1000 $(copies burst "$camera" 20))
echo "  1000 requests at once: $line"
last_s=$(echo "$line" | sed -n 's/.*last_s=\([0-9.]*\).*/\1/p')
bench_record service "the last of 1000 ShowFile calls at once, to its window, against one request (camera JPEG)" \
  "ratio to one request ($(awk -v s="$jpeg_s" 'BEGIN { printf "%.0f", s * 1000 }') ms)" \
  "$(awk -v a="$last_s" -v b="$jpeg_s" 'BEGIN { printf "%.2f", a / b }')" "×" 1.5
