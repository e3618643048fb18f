# Inspection: orv_ql_inspect per file kind, with ExifTool in-process and as
# child processes, against a shell running the very same ExifTool command
# lines as child processes, and against exiv2 (a native reader, the
# speed-of-light reference for reading metadata). Then the share of an
# inspection spent outside ExifTool.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
source bench/fixtures.sh
make_fixtures
orv=$build/bin/orv-ql
script=$build/share/orvanta/exiftool/exiftool
work=$(realpath -m "$BENCH_OUT/inspect")
mkdir -p "$work/bin"

# The command lines an inspection runs, recorded by an exiftool that logs its
# arguments and then runs the real one; replayed by a shell script.
cat > "$work/bin/exiftool" <<'LOG'
#!/bin/sh
{ printf 'exiftool'; for a; do printf " '%s'" "$(printf %s "$a" | sed "s/'/'\\\\''/g")"; done; echo; } >> "$EXIFTOOL_LOG"
exec /usr/bin/exiftool "$@"
LOG
chmod +x "$work/bin/exiftool"

inspect_case() {
  local kind=$1 file=$2
  local name=${kind// /-}
  local log="$work/$name.log" replay="$work/$name.sh"
  : > "$log"
  EXIFTOOL_LOG=$log PATH="$work/bin:$PATH" "$orv" inspect "$file" >/dev/null
  { echo 'exec >/dev/null 2>&1'; cat "$log"; } > "$replay"
  echo "  $kind: $(wc -l < "$log") ExifTool runs per inspection"
  bench_compare inspect "$kind, child processes" "" \
    "$orv inspect '$file'" "same ExifTool runs from a shell" "sh $replay"
  bench_compare inspect "$kind, in-process" "" \
    "$orv --exiftool $script inspect '$file'" "same ExifTool runs from a shell" "sh $replay"
  bench_compare inspect "$kind, in-process" "" \
    "$orv --exiftool $script inspect '$file'" "exiv2 -pa" "exiv2 -pa '$file'"
}

inspect_case "camera JPEG with maker notes" "$(realpath "../shared/corpus/metadata-extractor/jpg/Canon PowerShot SD850 IS.jpg")"
inspect_case "RAW with 24 MP preview" "$fixtures/raw-24mp-preview.cr2"

# Many files in one process with a resident ExifTool, per file against exiv2
# over the same files (a camera JPEG with maker notes each). Information
# only: ExifTool's own four runs per file are ~30 × exiv2 before any work of
# ours, so no target is set.
many=$fixtures/corpus-50
mkdir -p "$many"
i=0
for f in ../shared/corpus/metadata-extractor/jpg/*.jpg; do
  i=$((i + 1)); [ $i -le 50 ] || break
  ln -sf "$(realpath "$f")" "$many/$(printf %02d $i).jpg"
done
files=$(printf '%s ' "$many"/*.jpg)
bench_compare inspect "50 camera JPEGs in one process, resident ExifTool" "" \
  "$orv --resident inspect $files" "exiv2 -pa" "exiv2 -pa $files"

# Our own work inside an inspection: ExifTool's recorded output replayed.
for f in "exiftool-t/Canon1DmkIII.jpg" "exiftool-t/Nikon.nef"; do
  line=$("$build/bench/inspect_share" "$script" "../shared/corpus/$f" 10)
  echo "  $f: $line"
  share=$(echo "$line" | sed -n 's/.*share_percent=\([0-9.]*\).*/\1/p')
  bench_record inspect "share outside ExifTool, $f" "share of inspection time" "$share" "%" 2
done
