#!/usr/bin/env bash
# Measures the sailplane's still-air polar in FlightGear: with the speed and
# bank holds engaged (wings level, no wind, no vertical air), it flies each
# speed of the stand-in's polar over the sea north of Oahu, lets the speed
# settle, and takes the sink over a minute from FlightGear's altitude. It
# prints the measured sink beside the target and their ratio, both as
# measured and brought to sea level (sink at one calibrated speed grows
# with the square root of the air's thinning).
# Usage: scripts/flightgear-polar.sh [SETTLE_SECONDS] [MEASURE_SECONDS]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
FG_ROOT_DIR=$root
FG_DISPLAY=:96
FG_PORT=5431
FG_DRAW=${FG_DRAW:-0}  # the flight model is measured, not the picture
source "$root/scripts/flightgear-session.sh"
settle=${1:-50}
measure=${2:-60}

fg_install || { echo "FlightGear cannot be installed here"; exit 1; }
work=$(mktemp -d /tmp/skarvo-polar-XXXXXX)
trap 'fg_stop' EXIT
fg_start "$work/fgfs.log" --lat=21.75 --lon=-158.25 --heading=0 --altitude=4000 --vc=50 --wind=0@0 \
  --start-date-lat=2024:07:01:14:00:00
fg_wait_up 300 || { echo "FlightGear did not come up (its log: $work/fgfs.log)"; exit 1; }
fg_set /environment/local-weather-lift-fps 0
fg_set /skarvo/autopilot/bank-deg 0
fg_set /skarvo/autopilot/engaged true

# sim_wait SECONDS: until FlightGear's own clock has run that long.
sim_wait() {
  local until
  until=$(awk -v t="$(fg_get /sim/time/elapsed-sec)" -v d="$1" 'BEGIN { print t + d }')
  while awk -v t="$(fg_get /sim/time/elapsed-sec)" -v u="$until" 'BEGIN { exit !(t < u) }'; do sleep 1; done
}

printf '%-9s %-11s %-12s %-14s %-12s %s\n' "km/h" "target m/s" "measured m/s" "at sea level" "ratio" "altitude m"
for point in "80 0.62" "110 0.85" "160 1.9"; do
  read -r kmh target <<<"$point"
  fg_set /skarvo/autopilot/airspeed-kt "$(awk -v k="$kmh" 'BEGIN { printf "%.2f", k / 3.6 / 0.514444 }')"
  sim_wait "$settle"
  t0=$(fg_get /sim/time/elapsed-sec); h0=$(fg_get /position/altitude-ft)
  sim_wait "$measure"
  t1=$(fg_get /sim/time/elapsed-sec); h1=$(fg_get /position/altitude-ft)
  awk -v kmh="$kmh" -v target="$target" -v t0="$t0" -v t1="$t1" -v h0="$h0" -v h1="$h1" 'BEGIN {
    sink = (h0 - h1) * 0.3048 / (t1 - t0)
    h = (h0 + h1) / 2 * 0.3048
    sigma = (1 - 2.25577e-5 * h) ^ 4.2559
    sea = sink * sqrt(sigma)
    printf "%-9d %-11.2f %-12.3f %-14.3f %-12.3f %.0f\n", kmh, target, sink, sea, sea / target, h
  }'
done
