# A whole preview request end to end: `orvanta-preview --dump FILE`, process
# start to last line, against the core doing the same work from the command
# line (an in-process inspection, then the picture). Then resident memory
# over 1000 requests in one process.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
source bench/fixtures.sh
make_fixtures
orv=$build/bin/orv-ql
preview=$build/bin/orvanta-preview
script=$build/share/orvanta/exiftool/exiftool
out=$(realpath -m "$BENCH_OUT/request")
mkdir -p "$out"

jpeg=$(realpath "../shared/corpus/metadata-extractor/jpg/Canon PowerShot SD850 IS.jpg")
for f in "$jpeg" "$fixtures/raw-24mp-preview.cr2"; do
  case "$f" in *.cr2) kind=RAW ;; *) kind=JPEG ;; esac
  bench_compare request "$kind, orvanta-preview --dump" "" \
    "$preview --dump '$f'" "orv-ql inspect + preview" \
    "sh -c \"'$orv' --exiftool '$script' inspect '$f' >/dev/null && '$orv' --exiftool '$script' preview '$f' -o '$out/p.jpg'\""
done

requests=${REQUEST_BENCH_REQUESTS:-1000}
line=$("$build/bench/request_rss" "$jpeg" "$requests")
echo "  $line"
growth=$(echo "$line" | sed -n 's/.*growth_mb=\([-0-9.]*\).*/\1/p')
bench_record request "RSS growth over $requests requests in one process (JPEG)" "growth" "$growth" MB 10
