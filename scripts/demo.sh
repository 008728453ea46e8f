#!/usr/bin/env bash
# Builds everything and flies the demonstration: the stand-in simulator runs
# a scenario (examples/demo.scn by default) and the program connects to it.
# Usage: scripts/demo.sh [SCENARIO]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scenario=$(realpath "${1:-$root/examples/demo.scn}")

"$root/scripts/setup-deps.sh"
cmake --preset default -S "$root" >/dev/null
cmake --build "$root/build" >/dev/null

flight=$(mktemp -d /tmp/skarvo-demo-XXXXXX)
trap 'rm -rf "$flight"' EXIT
export FSUIPC_IPC_DIR="$flight/ipc"
cp "$root/build/bin/skv.ini" "$flight/"

"$root/build/bin/skarvo-sim" --scenario "$scenario" --record "$flight/record.tsv" --wall-limit 120 &
sim=$!
for _ in $(seq 100); do [[ -S "$FSUIPC_IPC_DIR/UIPCMAIN.sock" ]] && break; sleep 0.05; done

program_exit=0
(cd "$flight" && "$root/build/bin/skarvo" </dev/null) || program_exit=$?
sim_exit=0
wait "$sim" || sim_exit=$?

record="$flight/record.tsv"
echo
echo "The flight's record, without its writes of vertical air ($(wc -l <"$record") events in all):"
awk -F'\t' '$3 != "vas"' "$record"
echo
echo "Summary:"
awk -F'\t' '
  $3 == "vas" {
    split($4, w, " "); v = w[1] + 0; alt = w[4] + 0
    writes++
    if (writes == 1 || v > strongest) strongest = v
    if (writes == 1 || alt < lowest) { lowest = alt; gained_from = alt }
    if (alt - gained_from > gained) gained = alt - gained_from
    if (writes == 1) first = alt
    last = alt
  }
  $3 == "text" { texts++ }
  END {
    printf "  writes of vertical air:  %d\n", writes
    if (writes > 0) {
      printf "  strongest value written: %.2f m/s\n", strongest
      printf "  height gained in climbs: %d m (from %d m at the first write to %d m at the last)\n", gained, first, last
    }
    printf "  texts shown:             %d\n", texts
  }' "$record"
echo
echo "skarvo exited with $program_exit, skarvo-sim with $sim_exit."
[[ $program_exit -eq 0 && $sim_exit -eq 0 ]]
