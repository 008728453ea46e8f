#!/usr/bin/env bash
# Ridge soaring over FlightGear's real terrain, end to end, in two
# FlightGear sessions over the Waianae range's northern face by Dillingham
# Airfield (scenery loaded, not drawn):
# 1. The program's terrain scan through the bridge of an area of over
#    20,000 points (0.1 by 0.15 degrees: the face, the valleys behind it and
#    the shore), its progress on FlightGear's screen; the elevations in
#    skv-elev.dat must be FlightGear's own ground at their points (its
#    terrain probe asked at each point as the program computes it, within
#    0.5 m: the file holds whole metres) at 25 points spread over the area.
# 2. The next start imports the scan: its slope tiles must hold the face's
#    slopes. In the north-east trade wind on a morning before the thermals,
#    the soaring pilot (skarvo-fg --auto --no-finder) beats along the face:
#    the vertical air reaching FlightGear must be positive there and the
#    sailplane must hold or gain height over two minutes of FlightGear's time.
# Prints the scan's points per second. Skipped, with a message, where
# FlightGear cannot be installed or does not come up in time. With
# FG_FLIGHT_PICTURE=FILE.svg the ridge flight's map and barogram are kept.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
FG_ROOT_DIR=$root
FG_DISPLAY=:96
FG_PORT=5431
FG_DRAW=0
source "$root/scripts/flightgear-session.sh"
source "$root/scripts/scan-settings.sh"
speed_up=2
scan_area=(21.6000 21.5000 -158.2800 -158.1300)  # north south west east
area=(21.5775 21.5675 -158.2400 -158.2150)  # the face's steepest part
ridge_minutes=2

skip() { echo "FlightGear ridge end to end: SKIPPED: $1"; fg_stop; exit 0; }
fail() {
  echo "FlightGear ridge end to end: FAILED: $1"
  for f in scan-bridge.out bridge.out skarvo.err; do [[ -f "$work/$f" ]] && { echo "--- $f:"; tail -30 "$work/$f"; }; done
  [[ -f "$work/record.tsv" ]] && { echo "--- pilot:"; grep -P '\t(pilot|text)\t' "$work/record.tsv" | tail -20; }
  fg_stop; exit 1
}
up() {
  fg_wait_up 300 || skip "FlightGear did not come up within 300 s (see its log: $(tail -1 "$work/fgfs.log"))"
  fg_wait_addon || fail "FlightGear did not load Skarvo's add-on"
}

fg_install || skip "FlightGear cannot be installed here"
work=$(mktemp -d /tmp/skarvo-fg-ridge-XXXXXX)
trap 'fg_stop; rm -rf "$work"' EXIT
export FSUIPC_IPC_DIR="$work/ipc"
mkdir -p "$work/Import"
sed -e "s/^Keep elevation file: 0/Keep elevation file: 1/" "$root/bridge/skv-phdh.ini" >"$work/skv.ini"
set_scan_area "$work/skv.ini" "${scan_area[@]}"

# 1. The scan.
fg_start "$work/fgfs.log" "${FG_RIDGE_PLACE[@]}"
up
"$root/build/bin/skarvo-fg" --fg-port "$FG_PORT" --wait 30 --batch-ms 0 >"$work/scan-bridge.out" 2>&1 &
bridge=$!
fg_wait_window || fail "the bridge did not open its window"
started=$(date +%s.%N)
(cd "$work" && timeout 600 "$root/build/bin/skarvo" </dev/null >"$work/skarvo.out" 2>"$work/skarvo.err") &
program=$!
progress=''
while kill -0 "$program" 2>/dev/null; do
  shown=$(fg_get /sim/messages/copilot)
  [[ "$shown" == "Scan Progress: "* ]] && progress=$shown
  sleep 0.5
done
wait "$program" || fail "the scan did not end well"
finished=$(date +%s.%N)
[[ -n "$progress" ]] || fail "the scan's progress did not reach FlightGear's screen"
wait "$bridge" || true
grep -q "Slope data file built" "$work/skarvo.err" || fail "the scan did not build its slope data file"
[[ -f "$work/skv-elev.dat" && -f "$work/Import/skv-slope.dat" ]] || fail "the scan's files are missing"

# 25 grid points spread over the area where the program put the aircraft:
# its grid in single precision, as it computes it.
points=$(python3 - "$work/skv-elev.dat" "${scan_area[@]}" <<'PY'
import re, struct, sys
def f32(x): return struct.unpack('f', struct.pack('f', x))[0]
def snapped(d):  # whole degrees and minutes kept, the rest to 3 seconds (the area is on the grid)
    d = f32(d); whole = int(d); inside = f32(d - whole); minutes = int(inside * 60.0)
    r = (inside - minutes / 60.0) * 1200.0
    return f32(whole + minutes / 60.0 + 3 * (int(r + 0.5) if r >= 0 else -int(-r + 0.5)) / 3600.0)
def degrees(d): return f32(f32(f32(snapped(d) * 0.0174533) * f32(180.0)) * f32(1.0 / f32(3.14159)))
step = f32(1.0 / 1200.0)
text = open(sys.argv[1]).read()
rows = int(re.search(r'latitudes:\s+(\d+)', text).group(1))
cols = int(re.search(r'longitudes:\s+(\d+)', text).group(1))
data = text.split('\n')[-1].strip()
south, west = f32(degrees(float(sys.argv[3])) - step), f32(degrees(float(sys.argv[4])) - step)
for a in range(5):
    for b in range(5):
        i, j = 1 + a * (rows - 3) // 4, 1 + b * (cols - 3) // 4
        print(repr(f32(south + f32(i / 1200.0))), repr(f32(west + f32(j / 1200.0))),
              int(data[4 * (i * cols + j):4 * (i * cols + j) + 4]), rows * cols)
PY
) || fail "skv-elev.dat cannot be read"
total=$(awk 'NR == 1 { print $4 }' <<<"$points")
echo "$points" >"$work/points.txt"
checked=$(python3 - "$FG_PORT" "$work/points.txt" <<'PY'
import socket, sys
s = socket.create_connection(("localhost", int(sys.argv[1])), timeout=30)
f = s.makefile("r")
s.sendall(b"data\r\n")
for n, line in enumerate(open(sys.argv[2]), 1):
    lat, lon, recorded, _ = line.split()
    s.sendall(("set /skarvo/probe/latitude-deg %s\r\nset /skarvo/probe/longitude-deg %s\r\n"
               "set /skarvo/probe/point-request %d\r\nget /skarvo/probe/point-answer\r\n" % (lat, lon, 900000 + n)).encode())
    answer = f.readline().split()
    if len(answer) != 2 or answer[0] != str(900000 + n) or answer[1] == "none":
        print("FlightGear's probe gave no height at %s %s (%s)" % (lat, lon, " ".join(answer))); sys.exit(1)
    if abs(float(answer[1]) - int(recorded)) > 0.5:
        print("at %s %s skv-elev.dat holds %s m, FlightGear's ground is %s m" % (lat, lon, recorded, answer[1])); sys.exit(1)
    print("  %s %s: skv-elev.dat %s m, FlightGear's ground %s m" % (lat, lon, recorded, answer[1]))
PY
) || fail "$checked"
echo "$checked"
scan_speed=$(awk -v n="$total" -v a="$started" -v b="$finished" 'BEGIN { printf "%.1f", n / (b - a) }')
fg_stop

# 2. The import and the ridge flight.
sed -i -e "s/^Run terrain scan: 1/Run terrain scan: 0/" "$work/skv.ini"
task=()
for _ in $(seq 8); do task+=("${FG_RIDGE_TASK[@]}"); done
FG_XVFB='' FG_PID=''
fg_start "$work/fgfs.log" "${FG_RIDGE_PLACE[@]}"
up
fg_set /sim/speed-up "$speed_up"  # set at the start, FlightGear sets it back to 1
"$root/build/bin/skarvo-fg" --fg-port "$FG_PORT" --wait 30 --auto --no-finder --task "${task[@]}" \
  --record "$work/record.tsv" --igc "$work/flight.igc" --map "$work/flight.svg" >"$work/bridge.out" 2>&1 &
bridge=$!
fg_wait_window || fail "the bridge did not open its window"
(cd "$work" && "$root/build/bin/skarvo" </dev/null >"$work/skarvo.out" 2>"$work/skarvo.err") &
program=$!
for _ in $(seq 120); do [[ "$(fg_get /sim/messages/copilot)" == *"Initialization complete"* ]] && break; sleep 1; done

tile="$work/Slope Data/N21.50W158.25.slo"
[[ -f "$tile" ]] || fail "the next start did not import the scan into slope tiles"
slopes=$(python3 - "$tile" "${area[@]}" <<'PY'
import sys
tile = open(sys.argv[1]).read()
n, s, w, e = (float(x) for x in sys.argv[2:6])
samples = [tile[600 * r + 2 * c:600 * r + 2 * c + 2]
           for r in range(round((s - 21.5) * 1200), round((n - 21.5) * 1200) + 1)
           for c in range(round((w + 158.25) * 1200), round((e + 158.25) * 1200) + 1)]
print(sum(x != "00" for x in samples), len(samples))
PY
)
read -r sloped samples <<<"$slopes"
((sloped * 2 > samples)) || fail "only $sloped of the $samples slope samples of the face are not flat"

# Along the face: the vertical air written there, and the height over two
# minutes from when the sailplane first reaches it.
on_face() { awk -v la="$1" -v lo="$2" -v n="${area[0]}" -v s="${area[1]}" -v w="${area[2]}" -v e="${area[3]}" \
  'BEGIN { exit !(la <= n && la >= s && lo >= w && lo <= e) }'; }
start='' best_lift=-99 until=$((SECONDS + 600))
while ((SECONDS < until)); do
  now=$(fg_get /sim/time/elapsed-sec); feet=$(fg_get /position/altitude-ft)
  lat=$(fg_get /position/latitude-deg); lon=$(fg_get /position/longitude-deg)
  lift=$(fg_get /environment/local-weather-lift-fps)
  [[ "$now" =~ ^[0-9.]+$ && "$feet" =~ ^-?[0-9.]+$ ]] || fail "FlightGear stopped answering"
  kill -0 "$program" 2>/dev/null || fail "the program ended while ridge soaring"
  if on_face "$lat" "$lon"; then
    [[ -z "$start" ]] && { start=$now; start_feet=$feet; }
    best_lift=$(awk -v a="$best_lift" -v b="${lift:-0}" 'BEGIN { print (b > a ? b : a) }')
  fi
  if [[ -n "$start" ]] && awk -v now="$now" -v s="$start" -v m="$ridge_minutes" 'BEGIN { exit !(now - s >= m * 60) }'; then
    break
  fi
  sleep 2
done
[[ -n "$start" ]] || fail "the sailplane never reached the face"
awk -v b="$best_lift" 'BEGIN { exit !(b > 0) }' || fail "no rising air was written on the windward face"
gained=$(awk -v a="$feet" -v b="$start_feet" 'BEGIN { printf "%.0f", (a - b) * 0.3048 }')
((gained >= 0)) || fail "the sailplane lost $((-gained)) m in $ridge_minutes minutes along the face"

fg_set /sim/speed-up 1
fg_key shift+q; sleep 3; fg_key shift+y
for _ in $(seq 30); do kill -0 "$program" 2>/dev/null || break; sleep 1; done
fg_stop
wait "$bridge" 2>/dev/null || true
[[ -n "${FG_FLIGHT_PICTURE:-}" && -f "$work/flight.svg" ]] && cp "$work/flight.svg" "$FG_FLIGHT_PICTURE"
echo "FlightGear ridge end to end: passed (scan: $total points at $scan_speed points/s; $sloped of $samples slope samples of the face not flat; vertical air up to $best_lift ft/s on the face; $gained m gained over $ridge_minutes minutes along it)"
