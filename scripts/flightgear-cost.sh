#!/usr/bin/env bash
# What Skarvo costs FlightGear, measured side by side in one run: FlightGear's
# frame rate alone, then with the bridge and the program attached (the
# soaring pilot flying) on a blue day, then with a cumulus over each thermal
# (a program and bridge started afresh), and the CPU the bridge and the
# program take with the clouds, as a share of one core. The clouds are
# FlightGear's 3D clouds: drawn (FG_DRAW=1) is what they cost.
# Usage: [FG_DRAW=1] scripts/flightgear-cost.sh [SECONDS] [BATCH_MS]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
FG_ROOT_DIR=$root
FG_DISPLAY=:94
FG_PORT=5441
FG_DRAW=${FG_DRAW:-0}  # drawn in software, Oahu stalls FlightGear for up to a minute at a time here
source "$root/scripts/flightgear-session.sh"
seconds=${1:-60}
batch_ms=${2:-20}

fg_install || { echo "FlightGear cannot be installed here"; exit 1; }
work=$(mktemp -d /tmp/skarvo-cost-XXXXXX)
export FSUIPC_IPC_DIR="$work/ipc"
cp "$root/bridge/skv-phdh.ini" "$work/skv.ini"
trap 'fg_stop' EXIT
fg_start "$work/fgfs.log" "${FG_PLACE[@]}" --altitude=3300 --vc=50 --wind=060@12
fg_wait_up 300 || { echo "FlightGear did not come up (its log: $work/fgfs.log)"; exit 1; }
sleep 20  # the scenery around loads

# mean_frame_rate SECONDS: FlightGear's frame rate, sampled every 2 s.
mean_frame_rate() {
  local sum=0 n=0 until=$((SECONDS + $1)) rate
  while ((SECONDS < until)); do
    rate=$(fg_get /sim/frame-rate)
    [[ "$rate" =~ ^[0-9.]+$ ]] && { sum=$(awk -v a="$sum" -v b="$rate" 'BEGIN { print a + b }'); n=$((n + 1)); }
    sleep 2
  done
  awk -v s="$sum" -v n="$n" 'BEGIN { printf "%.1f", n ? s / n : 0 }'
}

# cpu_ticks PID: user and system clock ticks the process has used.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }

alone=$(mean_frame_rate "$seconds")

# attached_frame_rate [BRIDGE OPTIONS]: the frame rate with Skarvo attached;
# the CPU ticks of the bridge and the program over it in $b $p, the wall
# time in $wall.
attached_frame_rate() {
  "$root/build/bin/skarvo-fg" --fg-port "$FG_PORT" --auto --batch-ms "$batch_ms" --record "$work/record.tsv" "$@" \
    >"$work/bridge.out" 2>&1 &
  local bridge=$!
  fg_wait_window
  (cd "$work" && exec "$root/build/bin/skarvo" </dev/null >"$work/skarvo.out" 2>&1) &
  local program=$!
  sleep 15  # start-up, and the first thermals published
  local b0 p0 t0 t1
  b0=$(cpu_ticks $bridge); p0=$(cpu_ticks $program); t0=$(date +%s.%N)
  rate=$(mean_frame_rate "$seconds")
  b=$(($(cpu_ticks $bridge) - b0)); p=$(($(cpu_ticks $program) - p0)); t1=$(date +%s.%N)
  wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
  kill "$program" 2>/dev/null
  wait "$program" 2>/dev/null
  kill "$bridge" 2>/dev/null
  wait "$bridge" 2>/dev/null
  rm -f "$FSUIPC_IPC_DIR"/* 2>/dev/null
}
attached_frame_rate --blue
blue=$rate
attached_frame_rate
attached=$rate
hz=$(getconf CLK_TCK)
awk -v alone="$alone" -v blue="$blue" -v attached="$attached" -v b="$b" -v p="$p" -v wall="$wall" \
    -v hz="$hz" -v ms="$batch_ms" -v record="$(wc -c <"$work/record.tsv")" -v shown="$(fg_get /skarvo/clouds/update)" 'BEGIN {
  printf "batch time at least %d ms\n", ms
  printf "FlightGear alone:         %.1f frames/s\n", alone
  printf "Skarvo, a blue day:       %.1f frames/s (%.0f %% of alone)\n", blue, (alone > 0 ? blue / alone * 100 : 0)
  share = alone > 0 ? attached / alone * 100 : 0
  printf "Skarvo with its clouds:   %.1f frames/s (%.0f %% of alone, %.0f %% of the blue day; %d cloud changes)\n",
    attached, share, (blue > 0 ? attached / blue * 100 : 0), shown
  printf "skarvo-fg CPU:            %.1f %% of one core\n", b / hz / wall * 100
  printf "skarvo CPU:               %.1f %% of one core\n", p / hz / wall * 100
  printf "both:                     %.1f %% of one core\n", (b + p) / hz / wall * 100
  printf "record:                   %d bytes\n", record
}'
