#!/usr/bin/env bash
# The program's memory (resident set) and open files at the start and at
# the end of a long flight against the stand-in, in lock-step (a second of
# the simulator's time per exchange), with the release build. Prints both;
# they should not grow.
# Usage: scripts/long-flight-memory.sh [HOURS]   (default 48: two midnights)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
hours=${1:-48}
seconds=$((hours * 3600))

"$root/scripts/setup-deps.sh"
cmake --preset release -S "$root" >/dev/null
cmake --build "$root/build-release" >/dev/null

work=$(mktemp -d /tmp/skarvo-long-flight-XXXXXX)
export FSUIPC_IPC_DIR="$work/ipc"
trap 'rm -rf "$work"' EXIT
cp "$root/build-release/bin/skv.ini" "$work/"
cat >"$work/long.scn" <<SCENARIO
time 12:00:00
position 47.0 11.1
altitude 1500
clock lock-step 1
wind 270 10
clouds 2000 9
motion 3 90
at $seconds key backspace
at $((seconds + 1)) key f12
SCENARIO

"$root/build-release/bin/skarvo-sim" --scenario "$work/long.scn" --wall-limit 3600 >"$work/sim.txt" &
simulator=$!
for _ in $(seq 100); do [[ -S "$FSUIPC_IPC_DIR/UIPCMAIN.sock" ]] && break; sleep 0.05; done
(cd "$work" && exec "$root/build-release/bin/skarvo" </dev/null 2>"$work/boxes.txt") &
program=$!

# Memory in KB and open files of the program, as /proc has them now.
sample() {
  local rss files
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$program/status" 2>/dev/null) || return 1
  files=$(ls "/proc/$program/fd" 2>/dev/null | wc -l) || return 1
  [[ -n "$rss" ]] && echo "$rss $files"
}

sleep 0.5
first=$(sample || echo "- -")
last=$first
while kill -0 "$program" 2>/dev/null; do
  now=$(sample) && last=$now
  sleep 0.2
done
wait "$program" || true
wait "$simulator" || true

read -r rss_start files_start <<<"$first"
read -r rss_end files_end <<<"$last"
echo "A flight of $hours hours in lock-step:"
echo "  at the start: ${rss_start} KB resident, ${files_start} open files"
echo "  at the end:   ${rss_end} KB resident, ${files_end} open files"
if [[ -s "$work/boxes.txt" ]]; then
  echo "The program reported:"
  cat "$work/boxes.txt"
fi
