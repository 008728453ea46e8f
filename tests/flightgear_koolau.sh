#!/usr/bin/env bash
# Ridge soaring along the Ko'olau range's windward cliffs in FlightGear, end
# to end, as a user runs it: `scripts/fly-flightgear.sh --ridge koolau
# --auto` in a program folder of its own scans the cliffs first (once),
# then the soaring pilot flies along them in the 15-knot trade wind. From
# the flight's IGC log (FlightGear's own position and altitude, written by
# the bridge): the sailplane flies at least 8 km over the cliffs and ends
# them no lower than it began. Skipped, with a message, where FlightGear
# cannot be installed or does not come up.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/flightgear-session.sh"
along_km=8

skip() { echo "FlightGear Ko'olau ridge: SKIPPED: $1"; exit 0; }
fail() { echo "FlightGear Ko'olau ridge: FAILED: $1"; tail -20 "$work/fly.out"; exit 1; }

fg_install || skip "FlightGear cannot be installed here"
work=$(mktemp -d /tmp/skarvo-fg-koolau-XXXXXX)
trap 'rm -rf "$work"' EXIT
SKARVO_FG_HOME="$work/home" "$root/scripts/fly-flightgear.sh" --ridge koolau --auto --minutes 7 --undrawn \
  >"$work/fly.out" 2>&1
grep -q "FlightGear did not come up" "$work/fly.out" && skip "FlightGear did not come up"
grep -q "points a second" "$work/fly.out" || fail "the cliffs were not scanned first"
[[ -f "$work/home/scanned-koolau" ]] || fail "the scan was not kept for the next flight"
igc=$(sed -n "s/^The flight's files: \([^,]*\.igc\),.*/\1/p" "$work/fly.out")
[[ -f "$igc" ]] || fail "the flight left no IGC log"

# Over the cliffs: fixes inside the scanned area; the height at the first of
# them and where the sailplane has flown $along_km km over them.
result=$(python3 - "$igc" "$along_km" "${FG_KOOLAU_AREA[@]}" <<'PY'
import math, sys
igc, along_km = sys.argv[1], float(sys.argv[2])
north, south, west, east = (float(x) for x in sys.argv[3:7])
fixes = []
for line in open(igc):
    if line.startswith("B") and len(line) >= 35:
        lat = int(line[7:9]) + int(line[9:14]) / 60000.0
        lat = -lat if line[14] == "S" else lat
        lon = int(line[15:18]) + int(line[18:23]) / 60000.0
        lon = -lon if line[23] == "W" else lon
        fixes.append((lat, lon, int(line[30:35])))
flown, start, prev = 0.0, None, None
for lat, lon, alt in fixes:
    inside = south <= lat <= north and west <= lon <= east
    if inside and start is None:
        start = alt
    if inside and prev:
        flown += math.hypot((lat - prev[0]) * 111.2, (lon - prev[1]) * 111.2 * math.cos(math.radians(lat)))
    prev = (lat, lon) if inside else None
    if start is not None and flown >= along_km:
        print("%.1f %d %d" % (flown, start, alt)); sys.exit(0)
print("%.1f %d %d" % (flown, start or 0, fixes[-1][2] if fixes else 0))
PY
)
read -r flown start_m end_m <<<"$result"
awk -v f="$flown" -v k="$along_km" 'BEGIN { exit !(f >= k) }' || fail "the sailplane flew only $flown km over the cliffs"
((end_m >= start_m)) || fail "over $flown km of the cliffs the sailplane went from $start_m m down to $end_m m"
echo "FlightGear Ko'olau ridge: passed (scanned first: $(grep "points a second" "$work/fly.out");" \
  "$flown km along the cliffs from $start_m m to $end_m m)"
