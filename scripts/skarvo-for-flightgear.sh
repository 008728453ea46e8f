#!/usr/bin/env bash
# Skarvo for a FlightGear you started yourself (from its launcher, say), with
# Skarvo's add-on (bridge/flightgear-addon) and its property server
# (--telnet=socket,bi,200,localhost,5401,tcp): starts the bridge skarvo-fg
# and the program, which fly until you quit Skarvo (its menu, or Q then Y)
# or FlightGear ends.
#
# Usage: scripts/skarvo-for-flightgear.sh [--port PORT] [--ini FILE] [skarvo-fg options...]
#   --port: FlightGear's property server (default 5401).
#   --ini: the settings to fly with, copied into the program's folder
#   (bridge/skv-phdh.ini for Oahu; by default the folder's own skv.ini, or
#   the shipped one at the first run).
#   skarvo-fg options: --auto (the soaring pilot flies Skarvo's sailplane),
#   --minutes N, --igc FILE, --map FILE.svg, --record FILE, ...
# The program's folder (skv.ini, Import, Slope Data) is $SKARVO_FG_HOME, by
# default build/flightgear-skarvo, as for fly-flightgear.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
FG_PORT=5401
ini=
bridge_options=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --port) FG_PORT=$2; shift 2 ;;
    --ini) ini=$2; shift 2 ;;
    *) bridge_options+=("$1"); shift ;;
  esac
done
FG_ROOT_DIR=$root
source "$root/scripts/flightgear-session.sh"
export FSUIPC_IPC_DIR=${FSUIPC_IPC_DIR:-/tmp/fsuipc-$(id -u)}

"$root/scripts/setup-deps.sh"
cmake --preset default -S "$root" >/dev/null
cmake --build "$root/build" --target skarvo skarvo-fg >/dev/null

if [[ -z "$(fg_get /sim/time/elapsed-sec)" ]]; then
  echo "No FlightGear answers on port $FG_PORT. Start it with its property server:" >&2
  echo "  --telnet=socket,bi,200,localhost,$FG_PORT,tcp  (the launcher: Settings, Additional Settings)" >&2
  exit 1
fi
if ! fg_wait_addon; then
  echo "FlightGear runs without Skarvo's add-on: no Skarvo menu, keys or terrain probe. Add the folder" >&2
  echo "  $root/bridge/flightgear-addon" >&2
  echo "in the launcher's Add-ons page (or start fgfs with --addon=that folder), then start FlightGear again." >&2
  exit 1
fi

home=${SKARVO_FG_HOME:-$root/build/flightgear-skarvo}
mkdir -p "$home/Import"
if [[ -n "$ini" ]]; then cp "$ini" "$home/skv.ini"
elif [[ ! -f "$home/skv.ini" ]]; then cp "$root/dist/skv.ini" "$home/skv.ini"
fi

logs=$(mktemp -d /tmp/skarvo-for-flightgear-XXXXXX)
"$root/build/bin/skarvo-fg" --fg-port "$FG_PORT" "${bridge_options[@]}" >"$logs/bridge.out" 2>&1 &
bridge=$!
fg_wait_window || { cat "$logs/bridge.out" >&2; exit 1; }
echo "Skarvo flies with FlightGear ($home/skv.ini); quit from the Skarvo menu, or with Q, then Y. Logs in $logs."
(cd "$home" && "$root/build/bin/skarvo" </dev/null >"$logs/skarvo.out" 2>"$logs/message-boxes.txt") || true
bridge_finish "$bridge"
cat "$logs/message-boxes.txt" "$logs/bridge.out"
