#!/usr/bin/env bash
# Flies Skarvo with FlightGear on Linux: installs FlightGear, Xvfb and
# xdotool when missing (as root), starts FlightGear headless with Skarvo's
# keys (or on your display with --window), the bridge skarvo-fg and the
# program, and leaves the pilot flying until Skarvo is quit (Q, then Y in
# FlightGear) or FlightGear closes.
# Usage: scripts/fly-flightgear.sh [--window] [--airport ICAO] [fgfs options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
FG_ROOT_DIR=$root
FG_DISPLAY=:98
FG_PORT=5401
source "$root/scripts/flightgear-session.sh"

airport=LOWI
extra=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --window) FG_DISPLAY=${DISPLAY:?--window needs a display}; FG_OWN_DISPLAY=0; shift ;;
    --airport) airport=$2; shift 2 ;;
    *) extra+=("$1"); shift ;;
  esac
done

"$root/scripts/setup-deps.sh"
fg_install
cmake --preset default -S "$root" >/dev/null
cmake --build "$root/build" >/dev/null

work=$(mktemp -d /tmp/skarvo-flightgear-XXXXXX)
export FSUIPC_IPC_DIR="$work/ipc"
cp "$root/build/bin/skv.ini" "$work/"
trap 'fg_stop' EXIT
fg_start "$work/fgfs.log" --airport="$airport" --altitude=6000 --vc=80 --timeofday=noon "${extra[@]}"
echo "Waiting for FlightGear (its log: $work/fgfs.log)..."
fg_wait_up 300 || { echo "FlightGear did not come up" >&2; exit 1; }
"$root/build/bin/skarvo-fg" --fg-port "$FG_PORT" --record "$work/record.tsv" &
for _ in $(seq 150); do [[ -S "$FSUIPC_IPC_DIR/UIPCMAIN.sock" ]] && break; sleep 0.2; done
echo "Skarvo flies with FlightGear; quit with Q, then Y in FlightGear's window. Files in $work."
(cd "$work" && "$root/build/bin/skarvo" </dev/null)
