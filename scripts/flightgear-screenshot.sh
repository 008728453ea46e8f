#!/usr/bin/env bash
# Takes the picture of FlightGear for the README: the sailplane seen from
# behind over Oahu with a text of Skarvo's on the screen, under Xvfb, with
# FlightGear's own screen capture.
# Usage: scripts/flightgear-screenshot.sh [OUT.png]   (default docs/flightgear.png)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
FG_ROOT_DIR=$root
FG_DISPLAY=:93
FG_PORT=5451
FG_DRAW=1  # the picture is the point, software drawing or not
source "$root/scripts/flightgear-session.sh"
out=${1:-$root/docs/flightgear.png}

fg_install || { echo "FlightGear cannot be installed here"; exit 1; }
work=$(mktemp -d /tmp/skarvo-shot-XXXXXX)
export FSUIPC_IPC_DIR="$work/ipc"
cp "$root/bridge/skv-phdh.ini" "$work/skv.ini"
trap 'fg_stop' EXIT
fg_start "$work/fgfs.log" "${FG_PLACE[@]}" --altitude=3300 --vc=50 --wind=060@12 \
  --prop:/sim/paths/screenshot-dir="$work" --geometry=800x600
fg_wait_up 300 || { echo "FlightGear did not come up (its log: $work/fgfs.log)"; exit 1; }
"$root/build/bin/skarvo-fg" --fg-port "$FG_PORT" --auto >"$work/bridge.out" 2>&1 &
fg_wait_window
(cd "$work" && exec "$root/build/bin/skarvo" </dev/null >"$work/skarvo.out" 2>&1) &
fg_set /sim/current-view/view-number 1   # chase view: the sailplane from behind
for _ in $(seq 120); do [[ "$(fg_get /sim/messages/copilot)" == *"thermal is"* ]] && break; sleep 1; done
sleep 2  # the text on the screen
python3 - "$FG_PORT" <<'PY'
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=30)
s.sendall(b"data\r\nrun screen-capture\r\nget /sim/time/elapsed-sec\r\n")
answer = b""
while b"\n" not in answer:
    answer += s.recv(4096)
PY
sleep 3
shot=$(ls -t "$work"/*.png 2>/dev/null | head -1)
[[ -n "$shot" ]] || { echo "FlightGear took no picture (its log: $work/fgfs.log)"; exit 1; }
cp "$shot" "$out"
echo "FlightGear's picture: $out ($(wc -c <"$out") bytes)"
