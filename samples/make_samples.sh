#!/usr/bin/env bash
# Writes the sample records of this folder with the record generator:
#   samples/make_samples.sh [path/to/recordgen]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
gen="${1:-$here/../build/release/bin/recordgen}"
"$gen" --binary --rev 1999 --analog 4 --digital 2 --rate 3200:64 --fault 0 --noise 0 \
  --station "Harmonics" "$here" one_cycle_harmonics
"$gen" --binary --rev 1999 --analog 6 --digital 8 --rate 1200:600 --rate 600:1200 \
  --station "Two rates" "$here" two_rate_fault
"$gen" --ascii --rev 1991 --analog 8 --digital 8 --rate 1000:500 \
  --station "ASCII 1991" "$here" ascii_1k_1991
"$gen" --ascii --rev 1999 --analog 3 --digital 4 --rate 1600:320 --rate 800:640 --lf-endings \
  --station "ASCII two rates" "$here" ascii_two_rate
"$gen" --binary --rev 1999 --analog 3 --digital 17 --rate 5000:1000 --chinese \
  --device "录波器1" "$here" gbk_feeder
"$gen" --binary --rev 1999 --analog 12 --digital 16 --rate 5000:2500 --fault 0.3 --gain 4 \
  --station "Bay fault" "$here" bay_fault_5k
"$gen" --binary --rev 1999 --analog 6 --digital 0 --rate 1000:400 --offset 12000 --no-fault \
  --station "Positive only" "$here" positive_only
