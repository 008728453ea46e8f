#!/usr/bin/env bash
# How fast the program's terrain scan runs through the bridge in FlightGear,
# beside the same area's scan in the stand-in (the reference), in one run:
# prints both rates in points a second and their ratio. FlightGear flies
# undrawn (its scenery loaded, not drawn) unless --drawn; it starts over
# the area's middle, where the bridge holds its aircraft during the scan.
#
# Usage: scripts/flightgear-scan-speed.sh [--drawn] [NORTH SOUTH WEST EAST]
#   The area in degrees (west negative); by default 0.1 by 0.15 degrees
#   around the Waianae range's northern face (22,509 points).
# The release build is used (built first); SKARVO_BIN=DIR takes another.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
FG_ROOT_DIR=$root
FG_DISPLAY=:93
FG_PORT=5461
FG_DRAW=0
area=(21.6000 21.5000 -158.2800 -158.1300)
while (($#)); do
  case "$1" in
    --drawn) FG_DRAW=1; shift ;;
    *) (($# >= 4)) || { echo "usage: $0 [--drawn] [NORTH SOUTH WEST EAST]" >&2; exit 2; }
       area=("$1" "$2" "$3" "$4"); shift 4 ;;
  esac
done
source "$root/scripts/flightgear-session.sh"
source "$root/scripts/scan-settings.sh"
if [[ -z "${SKARVO_BIN:-}" ]]; then
  (cd "$root" && cmake --preset release >/dev/null && cmake --build --preset release >/dev/null)
  SKARVO_BIN=$root/build-release/bin
fi
fg_install || { echo "FlightGear cannot be installed here" >&2; exit 1; }
work=$(mktemp -d /tmp/skarvo-scan-speed-XXXXXX)
trap 'fg_stop' EXIT
read -r north south west east <<<"${area[*]}"

# scan NAME SIMULATOR-COMMAND...: the program's scan of the area against
# a simulator started by the command; prints points and seconds.
scan() {
  local folder=$work/$1; shift
  mkdir -p "$folder/Import"
  export FSUIPC_IPC_DIR="$folder/ipc"
  cp "$root/bridge/skv-phdh.ini" "$folder/skv.ini"
  set_scan_area "$folder/skv.ini" "$north" "$south" "$west" "$east"
  "$@" >"$folder/simulator.out" 2>&1 &
  local simulator=$!
  for _ in $(seq 300); do [[ -S "$FSUIPC_IPC_DIR/UIPCMAIN.sock" ]] && break; sleep 0.1; done
  local started finished
  started=$(date +%s.%N)
  (cd "$folder" && "$SKARVO_BIN/skarvo" </dev/null >"$folder/skarvo.out" 2>"$folder/message-boxes.txt") || true
  finished=$(date +%s.%N)
  wait "$simulator" || true
  [[ -f "$folder/Import/skv-slope.dat" ]] || { echo "the scan in $1 wrote no slope data file (see $folder)" >&2; exit 1; }
  awk -v a="$started" -v b="$finished" '/latitudes:/ { r = $NF } /longitudes:/ { c = $NF }
    END { printf "%d %.2f\n", (r + 2) * (c + 2), b - a }' "$folder/Import/skv-slope.dat"
}

printf 'ground %s\nposition %s %s\nclock lock-step 0.05\n' 0 "$south" "$west" >"$work/scan.scn"
read -r points stand_in_s < <(scan stand-in "$SKARVO_BIN/skarvo-sim" --scenario "$work/scan.scn" --wall-limit 1200)

fg_start "$work/fgfs.log" $(fg_over_the_middle "$north" "$south" "$west" "$east") --altitude=3300 --vc=50
fg_wait_up 300 || { echo "FlightGear did not come up (see $work/fgfs.log)" >&2; exit 1; }
fg_wait_addon || { echo "FlightGear did not load Skarvo's add-on" >&2; exit 1; }
frames=$(fg_get /sim/frame-rate)
read -r _ flightgear_s < <(scan flightgear "$SKARVO_BIN/skarvo-fg" --fg-port "$FG_PORT" --wait 30 --batch-ms 0)

drawn=$([[ "$FG_DRAW" == 1 ]] && echo drawn || echo undrawn)
awk -v n="$points" -v f="$flightgear_s" -v s="$stand_in_s" -v d="$drawn" -v fps="$frames" 'BEGIN {
  printf "%d points, %s to %s N, %s to %s E\n", n, ARGV[1], ARGV[2], ARGV[3], ARGV[4]
  printf "  stand-in:                       %7.0f points a second (%.1f s)\n", n / s, s
  printf "  FlightGear (%s, %s frames/s): %7.0f points a second (%.1f s)\n", d, fps, n / f, f
  printf "  FlightGear / stand-in: %.2f\n", s / f
}' "$south" "$north" "$west" "$east"
echo "(the runs' files: $work)"
