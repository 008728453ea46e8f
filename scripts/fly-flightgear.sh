#!/usr/bin/env bash
# Soars with Skarvo in FlightGear on Linux: installs FlightGear, Xvfb and
# xdotool when missing (as root), starts FlightGear headless (or on your
# display with --window) with Skarvo's sailplane over Dillingham Airfield
# (PHDH, Oahu) in the trade wind, the bridge skarvo-fg and the program with
# a skv.ini for the place (house thermals on the Waianae range and at
# Mokuleia). Without --auto you fly (quit Skarvo with Q, then Y in
# FlightGear); with --auto the soaring pilot flies.
#
# Usage: scripts/fly-flightgear.sh [--window] [--auto] [--minutes N] [--undrawn] [fgfs options...]
#   --minutes N: after N minutes of FlightGear's time the quit gesture ends
#   the flight; the summary and the paths of its files are printed.
#   --undrawn: the scenery is loaded but not drawn (see flightgear-session.sh),
#   for long flights on a machine without a graphics card.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
FG_ROOT_DIR=$root
FG_DISPLAY=:98
FG_PORT=5401
source "$root/scripts/flightgear-session.sh"

bridge_options=()
extra=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --window) FG_DISPLAY=${DISPLAY:?--window needs a display}; FG_OWN_DISPLAY=0; shift ;;
    --auto) bridge_options+=(--auto); shift ;;
    --minutes) bridge_options+=(--minutes "$2"); shift 2 ;;
    --undrawn) FG_DRAW=0; shift ;;
    *) extra+=("$1"); shift ;;
  esac
done

"$root/scripts/setup-deps.sh"
fg_install
cmake --preset default -S "$root" >/dev/null
cmake --build "$root/build" >/dev/null

work=$(mktemp -d /tmp/skarvo-flightgear-XXXXXX)
export FSUIPC_IPC_DIR="$work/ipc"
cp "$root/bridge/skv-phdh.ini" "$work/skv.ini"
trap 'fg_stop' EXIT
fg_start "$work/fgfs.log" "${FG_PLACE[@]}" --altitude=3300 --vc=50 --wind=060@12 "${extra[@]}"
echo "Waiting for FlightGear (its log: $work/fgfs.log)..."
fg_wait_up 300 || { echo "FlightGear did not come up" >&2; exit 1; }
"$root/build/bin/skarvo-fg" --fg-port "$FG_PORT" --record "$work/record.tsv" \
  --igc "$work/flight.igc" --map "$work/flight.svg" "${bridge_options[@]}" >"$work/bridge.out" 2>&1 &
bridge=$!
for _ in $(seq 150); do [[ -S "$FSUIPC_IPC_DIR/UIPCMAIN.sock" ]] && break; sleep 0.2; done
echo "Skarvo flies with FlightGear; quit with Q, then Y in FlightGear's window. Files in $work."
(cd "$work" && "$root/build/bin/skarvo" </dev/null >"$work/skarvo.out" 2>&1) || true
wait "$bridge" || true
cat "$work/bridge.out"
echo "The flight's files: $work/flight.igc, $work/flight.svg (picture: rsvg-convert it to PNG), $work/record.tsv"
