# The embedded Perl host against a perl child process, per ExifTool run, and
# its memory over many runs. Run by scripts/bench exiftool.
#
# The fair comparison is the one a long-lived host sees: the library is
# loaded once, then every run is either a fresh in-process interpreter or a
# "perl exiftool" child. Each side is one program doing N runs in a row, so
# program start and initialisation count once on both sides and the ratio is
# the per-run cost. The cold-start row (one run, against "perl exiftool" run
# directly) is shown for reference only.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

: "${BENCH_BUILD:=build}"
root=$(cd "$(dirname "$0")/.." && pwd)
probe="$BENCH_BUILD/bin/orvql-bench-exiftool"
script="$BENCH_BUILD/share/orvanta/exiftool/exiftool"
photo="$root/../shared/corpus/exiftool-t/Canon.jpg"
args="-j -g -n $photo"
runs=${EXIFTOOL_BENCH_RUNS:-10}

# For information: a fresh interpreter per run pays ExifTool's compile like a
# child does, so in-process runs cannot be much cheaper; the resident mode
# (bench/inspect.sh) is what removes that cost.
bench_compare exiftool "per run, -j -g -n JPEG ($runs runs per process)" "" \
  "$probe inproc $script $runs $args" "perl child" "$probe child $script $runs $args"

bench_compare exiftool "cold start, one run" "" \
  "$probe inproc $script 1 $args" "perl exiftool" "/usr/bin/perl $script $args"

growth=$("$probe" rss "$script" 1000 $args)
bench_record exiftool "RSS growth, 1000 in-process runs of -j -g -n JPEG" "growth" "$growth" MB 10
