#!/usr/bin/env bash
# Builds everything and flies the demonstration: the stand-in simulator runs
# a scenario (examples/demo.scn by default: half an hour of soaring flown by
# the stand-in's own pilot) and the program connects to it. The flight's IGC
# log, its picture and the simulator's record go to a folder of their own.
# Usage: scripts/demo.sh [SCENARIO]
# SKARVO_CLOCK=N fixes the program's random seed (Linux), so that a flight
# can be flown again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/scan-settings.sh"
scenario=$(realpath "${1:-$root/examples/demo.scn}")

"$root/scripts/setup-deps.sh"
cmake --preset default -S "$root" >/dev/null
cmake --build "$root/build" >/dev/null

flight=$(mktemp -d /tmp/skarvo-flight-XXXXXX)
export FSUIPC_IPC_DIR="$flight/ipc"
trap 'rm -rf "$FSUIPC_IPC_DIR"' EXIT
cp "$root/build/bin/skv.ini" "$flight/"
# The thermals are published, so that the flight's picture shows them.
sed -i "s/^Publish thermals for companion programs (0\/1): 0/Publish thermals for companion programs (0\/1): 1/" \
  "$flight/skv.ini"

# A scenario with a line "#! scan NORTH SOUTH WEST EAST" has the program
# scan that area first; the flight then imports the slope tiles it made.
scan=$(sed -n 's/^#! scan //p' "$scenario")
if [[ -n "$scan" ]]; then
  read -r north south west east <<<"$scan"
  mkdir -p "$flight/Import"
  set_scan_area "$flight/skv.ini" "$north" "$south" "$west" "$east"
  echo "Scanning the terrain from $south to $north N and from $west to $east E..."
  "$root/build/bin/skarvo-sim" --scenario "$scenario" --wall-limit 120 >"$flight/scan.txt" &
  scanner=$!
  for _ in $(seq 100); do [[ -S "$FSUIPC_IPC_DIR/UIPCMAIN.sock" ]] && break; sleep 0.05; done
  (cd "$flight" && "$root/build/bin/skarvo" </dev/null 2>"$flight/scan-boxes.txt") || true
  wait "$scanner" || true
  ls "$flight/Import"
  sed -i "s/^Run terrain scan: 1/Run terrain scan: 0/" "$flight/skv.ini"
fi

# A scenario with a line "#! build-multi-player PROJECT" has the program
# build skv-multi.dat from that project file (beside the scenario) first,
# then flies in multi-player mode from it.
project=$(sed -n 's/^#! build-multi-player //p' "$scenario")
if [[ -n "$project" ]]; then
  cp "$(dirname "$scenario")/$project" "$flight/warmfeld.prj"
  sed -i -e "s/^Program mode: 0/Program mode: 2/" -e "s/^Thermal source (0-2): 0/Thermal source (0-2): 1/" "$flight/skv.ini"
  echo "Building skv-multi.dat from $project..."
  (cd "$flight" && "$root/build/bin/skarvo" </dev/null 2>"$flight/build-boxes.txt") || true
  echo "$(grep -c '^[0-9]' "$flight/skv-multi.dat") thermal cycles in skv-multi.dat"
  sed -i "s/^Program mode: 2/Program mode: 1/" "$flight/skv.ini"
fi

"$root/build/bin/skarvo-sim" --scenario "$scenario" --record "$flight/record.tsv" \
  --igc "$flight/flight.igc" --map "$flight/flight.svg" --wall-limit 120 >"$flight/simulator.txt" &
sim=$!
for _ in $(seq 100); do [[ -S "$FSUIPC_IPC_DIR/UIPCMAIN.sock" ]] && break; sleep 0.05; done

program_exit=0
(cd "$flight" && "$root/build/bin/skarvo" </dev/null 2>"$flight/message-boxes.txt") || program_exit=$?
sim_exit=0
wait "$sim" || sim_exit=$?

record="$flight/record.tsv"
if grep -q '^The flight:' "$flight/simulator.txt"; then
  sed -n '/^The flight:/,$p' "$flight/simulator.txt"
else
  echo "What the simulator showed:"
  cat "$flight/simulator.txt"
fi
echo
awk -F'\t' '
  $3 == "vas" { split($4, w, " "); v = w[1] + 0; writes++; if (writes == 1 || v > strongest) strongest = v }
  END {
    printf "Writes of vertical air: %d", writes
    if (writes > 0) printf ", the strongest %.2f m/s", strongest
    printf "\n"
  }' "$record"
[[ -s "$flight/message-boxes.txt" ]] && { echo; echo "Message boxes:"; cat "$flight/message-boxes.txt"; }
echo
echo "The flight's files are in $flight:"
echo "  flight.svg (map and barogram), flight.igc (IGC log), record.tsv (every event), simulator.txt"
echo "skarvo exited with $program_exit, skarvo-sim with $sim_exit."
[[ $program_exit -eq 0 && $sim_exit -eq 0 ]]
