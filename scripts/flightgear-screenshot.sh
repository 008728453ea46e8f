#!/usr/bin/env bash
# Takes the pictures of FlightGear for the README, under Xvfb, with
# FlightGear's own screen capture: the sailplane seen from behind over Oahu
# with a text of Skarvo's on the screen; with --clouds, the soaring pilot
# going by Skarvo's clouds, pictured from behind and looking up once it
# circles in the lift under one (five pictures, 6 s apart, the last copied).
# Usage: scripts/flightgear-screenshot.sh [--clouds] [OUT.png]
#   (default docs/flightgear.png, with --clouds docs/flightgear-clouds.png)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
FG_ROOT_DIR=$root
FG_DISPLAY=:93
FG_PORT=5451
FG_DRAW=1  # the picture is the point, software drawing or not
source "$root/scripts/flightgear-session.sh"
clouds=0
[[ "${1:-}" == --clouds ]] && { clouds=1; shift; }
out=${1:-$root/docs/flightgear.png}
((clouds)) && out=${1:-$root/docs/flightgear-clouds.png}

fg_install || { echo "FlightGear cannot be installed here"; exit 1; }
work=$(mktemp -d /tmp/skarvo-shot-XXXXXX)
export FSUIPC_IPC_DIR="$work/ipc"
cp "$root/bridge/skv-phdh.ini" "$work/skv.ini"
trap 'fg_stop' EXIT
fg_start "$work/fgfs.log" "${FG_PLACE[@]}" --altitude=3300 --vc=50 --wind=060@12 \
  --prop:/sim/paths/screenshot-dir="$work" --geometry=800x600
fg_wait_up 300 || { echo "FlightGear did not come up (its log: $work/fgfs.log)"; exit 1; }
pilot=(--auto)
((clouds)) && pilot=(--auto --clouds --record "$work/record.tsv")
"$root/build/bin/skarvo-fg" --fg-port "$FG_PORT" "${pilot[@]}" >"$work/bridge.out" 2>&1 &
fg_wait_window
(cd "$work" && exec "$root/build/bin/skarvo" </dev/null >"$work/skarvo.out" 2>&1) &
fg_set /sim/current-view/view-number 1   # chase view: the sailplane from behind
capture() {
  python3 - "$FG_PORT" <<'PY'
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=60)
s.sendall(b"data\r\nrun screen-capture\r\nget /sim/time/elapsed-sec\r\n")
answer = b""
while b"\n" not in answer:
    answer += s.recv(4096)
PY
  sleep 3
}
if ((clouds)); then
  for _ in $(seq 900); do
    awk -F'\t' '/heading for a cloud/ { c = 1 } c && /circling in lift/ { found = 1 } END { exit !found }' \
      "$work/record.tsv" 2>/dev/null && break
    sleep 1
  done
  sleep 20  # settled in its circle
  fg_set /sim/current-view/field-of-view 85
  for _ in 1 2 3; do fg_set /sim/current-view/pitch-offset-deg 20; sleep 1; done
  for _ in 1 2 3 4 5; do capture; sleep 3; done
else
  for _ in $(seq 120); do [[ "$(fg_get /sim/messages/copilot)" == *"thermal is"* ]] && break; sleep 1; done
  sleep 2  # the text on the screen
  capture
fi
shot=$(ls -t "$work"/*.png 2>/dev/null | head -1)
[[ -n "$shot" ]] || { echo "FlightGear took no picture (its log: $work/fgfs.log)"; exit 1; }
cp "$shot" "$out"
echo "All the pictures: $work"
echo "FlightGear's picture: $out ($(wc -c <"$out") bytes)"
