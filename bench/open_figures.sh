#!/bin/bash
# Whole-process figures of opening W1, W2 and W5 (and of two .cfg files that
# claim 40 000 000 samples beside a few KB of data) with the command-line
# opener: the record read and analysed as a record window does, no window.
# Medians of RUNS runs of /usr/bin/time -v: elapsed, CPU (user + system) and
# maximum resident size.
#
#   bench/open_figures.sh [BUILD_DIR] [RUNS]      (default build/release, 5)
set -euo pipefail
build=${1:-build/release}
runs=${2:-5}
gen=$build/bin/recordgen
open=$build/bin/recordopen
folder=$(mktemp -d /tmp/open_figures.XXXXXX)
trap 'rm -rf "$folder"' EXIT

"$gen" --analog 96 --digital 160 --rate 10000:100000 --seed 42 "$folder" W1 >/dev/null
"$gen" --ascii --analog 32 --digital 32 --rate 1000:60000 --seed 42 "$folder" W2 >/dev/null
"$gen" --analog 64 --digital 32 --rate 20000:1200000 --seed 42 "$folder" W5 >/dev/null
# The lying pair: 8 + 8 channels, 200 samples written, 40 000 000 claimed.
"$gen" --analog 8 --digital 8 --rate 1000:200 "$folder" small >/dev/null
"$gen" --ascii --analog 8 --digital 8 --rate 1000:200 "$folder" smallascii >/dev/null
sed 's/^1000,200\r$/1000,40000000\r/' "$folder/small.cfg" > "$folder/Lying.cfg"
cp "$folder/small.dat" "$folder/Lying.dat"
sed 's/^1000,200\r$/1000,40000000\r/' "$folder/smallascii.cfg" > "$folder/LyingAscii.cfg"
cp "$folder/smallascii.dat" "$folder/LyingAscii.dat"
# The same claim in a second rate: the first rate loads, the second is empty.
sed 's/^1\r$/2\r/; s/^1000,200\r$/1000,200\r\n1000,40000000\r/' "$folder/small.cfg" > "$folder/LyingTwoRates.cfg"
cp "$folder/small.dat" "$folder/LyingTwoRates.dat"

median() { sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-14s %10s %10s %12s\n' record elapsed_s cpu_s max_rss_MiB
for name in W1 W2 W5 Lying LyingAscii LyingTwoRates; do
  : > "$folder/times"
  for _ in $(seq "$runs"); do
    /usr/bin/time -v "$open" "$folder/$name.cfg" 2>&1 >/dev/null |
      awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, t, ":"); e = t[n] + (n > 1 ? 60 * t[n - 1] : 0)}
                  /User time/ {u = $2} /System time/ {s = $2} /Maximum resident/ {m = $2}
                  END {print e, u + s, m / 1024}' >> "$folder/times"
  done
  printf '%-14s %10s %10s %12s\n' "$name" "$(cut -d' ' -f1 "$folder/times" | median)" \
    "$(cut -d' ' -f2 "$folder/times" | median)" "$(cut -d' ' -f3 "$folder/times" | median)"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
