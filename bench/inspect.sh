# Inspection: the share of an inspection spent outside ExifTool.
. bench/lib.sh
script=build/share/orvanta/exiftool/exiftool
for f in "exiftool-t/Canon1DmkIII.jpg" "exiftool-t/Nikon.nef"; do
  line=$(build/bench/inspect_share "$script" "../shared/corpus/$f" 10)
  echo "  $f: $line"
  share=$(echo "$line" | sed -n 's/.*share_percent=\([0-9.]*\).*/\1/p')
  bench_record inspect "share outside ExifTool, $f" "share of inspection time" "$share" "%" 2
done
