#!/usr/bin/perl
# Turns the benchmark rows into a Markdown table and one JSON document.
use strict;
use warnings;
use JSON::PP;

my ($rows_file, $md_file, $json_file) = @ARGV;
open my $in, '<', $rows_file or die "cannot read $rows_file: $!\n";
my @rows = map { decode_json($_) } grep { /\S/ } <$in>;
close $in;

sub ms { sprintf '%.1f ms', $_[0] * 1000 }
sub mb { defined $_[0] ? sprintf('%.1f MB', $_[0] / 1024) : '—' }

my @md = ('| bench | case | ours | peer | peer time | ratio | target | peak RSS ours / peer | |',
          '|---|---|---|---|---|---|---|---|---|');
for my $r (@rows) {
    my $t = $r->{target};
    if (exists $r->{ratio}) {
        my $miss = defined $t && $r->{ratio} > $t;
        $r->{miss} = $miss ? JSON::PP::true : JSON::PP::false;
        push @md, sprintf '| %s | %s | %s | %s | %s | %.2f× | %s | %s / %s | %s |',
            $r->{bench}, $r->{case}, ms($r->{ours_s}), $r->{peer}, ms($r->{peer_s}), $r->{ratio},
            defined $t ? "≤ $t×" : '—', mb($r->{ours_rss_kb}), mb($r->{peer_rss_kb}),
            !defined $t ? '' : $miss ? '**MISS**' : 'met';
    } else {
        my $miss = defined $t && $r->{value} > $t;
        $r->{miss} = $miss ? JSON::PP::true : JSON::PP::false;
        push @md, sprintf '| %s | %s | %s %s | %s | | | %s | | %s |',
            $r->{bench}, $r->{case}, $r->{value}, $r->{unit}, $r->{metric},
            defined $t ? "≤ $t $r->{unit}" : '—', !defined $t ? '' : $miss ? '**MISS**' : 'met';
    }
}
open my $md, '>', $md_file or die;
print $md join("\n", @md), "\n";
close $md;
open my $js, '>', $json_file or die;
print $js JSON::PP->new->pretty->canonical->encode(\@rows);
close $js;
