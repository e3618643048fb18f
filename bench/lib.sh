# Shared helpers of the benchmark scripts (sourced by bench/*.sh).
#
#   bench_compare BENCH CASE TARGET OURS_CMD PEER_NAME PEER_CMD
#     Times OURS_CMD and PEER_CMD side by side with hyperfine (same run, same
#     files), measures the peak RSS of one run of each, and records a row:
#     ratio = median(ours) / median(peer). TARGET is the highest acceptable
#     ratio ("" when no target was set).
#   bench_against BENCH CASE TARGET OURS_SECONDS PEER_NAME PEER_CMD
#     As bench_compare, for a figure of ours measured by a program of its own
#     (a median in seconds); PEER_CMD is timed with hyperfine in the same run.
#   bench_record BENCH CASE METRIC VALUE UNIT TARGET
#     Records a single measured figure (RSS growth, a share in percent, ...);
#     a miss is VALUE > TARGET.
#
# Rows go to $BENCH_OUT/rows.jsonl; scripts/bench turns them into the table.

BENCH_RUNS=${BENCH_RUNS:-15}
BENCH_WARMUP=${BENCH_WARMUP:-3}
: "${BENCH_OUT:=build/bench}"

peak_rss_kb() {
  /usr/bin/time -f '%M' -o "$BENCH_OUT/.rss" bash -c "$1" >/dev/null 2>&1 || true
  tail -n 1 "$BENCH_OUT/.rss"
}

bench_compare() {
  local bench=$1 case=$2 target=$3 ours=$4 peer_name=$5 peer=$6
  local json="$BENCH_OUT/.hyperfine.json"
  hyperfine -N --style none --warmup "$BENCH_WARMUP" --runs "$BENCH_RUNS" \
    --export-json "$json" -n ours "$ours" -n "$peer_name" "$peer" >/dev/null
  local ours_rss peer_rss
  ours_rss=$(peak_rss_kb "$ours")
  peer_rss=$(peak_rss_kb "$peer")
  perl -MJSON::PP -e '
    my ($file, $bench, $case, $target, $peer, $ours_rss, $peer_rss) = @ARGV;
    local $/; open my $fh, "<", $file or die; my $d = decode_json(<$fh>);
    my ($o, $p) = map { $_->{median} } @{ $d->{results} };
    print encode_json({ bench => $bench, case => $case, peer => $peer,
      ours_s => $o, peer_s => $p, ratio => $o / $p,
      target => ($target eq "" ? undef : $target + 0),
      ours_rss_kb => $ours_rss + 0, peer_rss_kb => $peer_rss + 0 }), "\n";
  ' "$json" "$bench" "$case" "$target" "$peer_name" "$ours_rss" "$peer_rss" >> "$BENCH_OUT/rows.jsonl"
}

bench_against() {
  local bench=$1 case=$2 target=$3 ours_s=$4 peer_name=$5 peer=$6
  local json="$BENCH_OUT/.hyperfine.json"
  hyperfine -N --style none --warmup "$BENCH_WARMUP" --runs "$BENCH_RUNS" \
    --export-json "$json" -n "$peer_name" "$peer" >/dev/null
  local peer_rss
  peer_rss=$(peak_rss_kb "$peer")
  perl -MJSON::PP -e '
    my ($file, $bench, $case, $target, $peer, $ours, $peer_rss) = @ARGV;
    local $/; open my $fh, "<", $file or die; my $d = decode_json(<$fh>);
    my $p = $d->{results}[0]{median};
    print encode_json({ bench => $bench, case => $case, peer => $peer,
      ours_s => $ours + 0, peer_s => $p, ratio => $ours / $p,
      target => ($target eq "" ? undef : $target + 0),
      ours_rss_kb => undef, peer_rss_kb => $peer_rss + 0 }), "\n";
  ' "$json" "$bench" "$case" "$target" "$peer_name" "$ours_s" "$peer_rss" >> "$BENCH_OUT/rows.jsonl"
}

bench_record() {
  local bench=$1 case=$2 metric=$3 value=$4 unit=$5 target=$6
  perl -MJSON::PP -e '
    my ($bench, $case, $metric, $value, $unit, $target) = @ARGV;
    print encode_json({ bench => $bench, case => $case, metric => $metric,
      value => $value + 0, unit => $unit,
      target => ($target eq "" ? undef : $target + 0) }), "\n";
  ' "$bench" "$case" "$metric" "$value" "$unit" "$target" >> "$BENCH_OUT/rows.jsonl"
}
