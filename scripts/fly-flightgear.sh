#!/usr/bin/env bash
# Soars with Skarvo in FlightGear on Linux: installs FlightGear, Xvfb and
# xdotool when missing (as root), starts FlightGear headless (or on your
# display with --window) with Skarvo's sailplane over Dillingham Airfield
# (PHDH, Oahu) in the trade wind, the bridge skarvo-fg and the program with
# a skv.ini for the place (house thermals on the Waianae range and at
# Mokuleia). Without --auto you fly (quit Skarvo with Q, then Y in
# FlightGear); with --auto the soaring pilot flies.
#
# Usage: scripts/fly-flightgear.sh [--window] [--auto [--clouds]] [--blue] [--minutes N] [--undrawn | --drawn]
#                                  [--ridge [waianae | koolau]] [--aircraft=NAME] [--scan [NORTH SOUTH WEST EAST]]
#                                  [fgfs options...]
#   A cumulus stands over each of Skarvo's thermals worth marking (FlightGear's
#   3D clouds drawn: --drawn or a graphics card); --blue: a blue day, the
#   thermals only felt. --auto --clouds: the pilot goes by those clouds
#   instead of asking the finder.
#   --aircraft=NAME: FlightGear flies that aircraft instead of Skarvo's
#   sailplane (one FlightGear has installed, say c172p); Skarvo's lift
#   reaches it all the same. --auto needs the sailplane's holds.
#   --minutes N: after N minutes of FlightGear's time the quit gesture ends
#   the flight; the summary and the paths of its files are printed.
#   --undrawn: the scenery is loaded but not drawn (see flightgear-session.sh),
#   the default where FlightGear would draw in software (headless, or no
#   graphics card); --drawn draws there all the same.
#   --scan: instead of a flight, the program's terrain scan of the area
#   (degrees; by default the Waianae range's northern face west of the
#   airfield) in FlightGear, its progress on FlightGear's screen. The next
#   flight's start imports it into slope tiles.
#   --ridge: the flight starts in front of that face in the north-east trade
#   wind on a morning before the thermals; with --auto the pilot beats along
#   the face. --ridge koolau: the Ko'olau range's windward cliffs on the
#   island's other side instead. A ridge not scanned yet into the program's
#   folder is scanned first (once).
# The program's folder (skv.ini, Import, Slope Data) is kept between runs:
# $SKARVO_FG_HOME, by default build/flightgear-skarvo. Each run's logs go to
# a folder of their own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
FG_ROOT_DIR=$root
FG_DISPLAY=:98
FG_PORT=5401
source "$root/scripts/flightgear-session.sh"
source "$root/scripts/scan-settings.sh"

number='^-?[0-9]+([.][0-9]+)?$'
bridge_options=()
extra=()
auto=0 clouds=0 ridge=0 ridge_name='' scan=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --window) FG_DISPLAY=${DISPLAY:?--window needs a display}; FG_OWN_DISPLAY=0; shift ;;
    --auto) auto=1; shift ;;
    --clouds) clouds=1; shift ;;
    --blue) bridge_options+=(--blue); shift ;;
    --minutes) bridge_options+=(--minutes "$2"); shift 2 ;;
    --undrawn) FG_DRAW=0; shift ;;
    --drawn) FG_DRAW=1; shift ;;
    --ridge)
      ridge=1; ridge_name=waianae; shift
      if [[ $# -gt 0 && ( $1 == waianae || $1 == koolau ) ]]; then ridge_name=$1; shift; fi ;;
    --aircraft=*) FG_AIRCRAFT=${1#--aircraft=}; shift ;;
    --aircraft) FG_AIRCRAFT=$2; shift 2 ;;
    --scan)
      shift
      if [[ $# -ge 4 && $1 =~ $number && $2 =~ $number && $3 =~ $number && $4 =~ $number ]]; then
        scan=("$1" "$2" "$3" "$4"); shift 4
      else
        scan=("${FG_RIDGE_AREA[@]}")
      fi ;;
    *) extra+=("$1"); shift ;;
  esac
done

if ((clouds && !auto)); then
  echo "--clouds tells the soaring pilot how to find thermals: give it with --auto" >&2
  exit 2
fi
if ((auto)) && [[ "${FG_AIRCRAFT:-skarvo-sailplane}" != skarvo-sailplane ]]; then
  echo "--auto flies Skarvo's sailplane only (the soaring pilot needs its holds); drop --aircraft or fly yourself" >&2
  exit 2
fi
"$root/scripts/setup-deps.sh"
fg_install
cmake --preset default -S "$root" >/dev/null
cmake --build "$root/build" >/dev/null

home=${SKARVO_FG_HOME:-$root/build/flightgear-skarvo}
work=$(mktemp -d /tmp/skarvo-flightgear-XXXXXX)
mkdir -p "$home/Import"
export FSUIPC_IPC_DIR="$work/ipc"
cp "$root/bridge/skv-phdh.ini" "$home/skv.ini"
trap 'fg_stop' EXIT

start_bridge() {
  "$root/build/bin/skarvo-fg" --fg-port "$FG_PORT" "$@" >"$work/bridge.out" 2>&1 &
  bridge=$!
  fg_wait_window || true
}

# scan_terrain NORTH SOUTH WEST EAST: the program's terrain scan of the
# area in a FlightGear of its own; the next flight imports it.
scan_terrain() {
  local north=$1 south=$2 west=$3 east=$4
  cp "$root/bridge/skv-phdh.ini" "$home/skv.ini"
  set_scan_area "$home/skv.ini" "$north" "$south" "$west" "$east"
  fg_start "$work/fgfs-scan.log" $(fg_over_the_middle "$north" "$south" "$west" "$east") --altitude=3300 --vc=50 "${extra[@]}"
  echo "Waiting for FlightGear (its log: $work/fgfs-scan.log)..."
  fg_wait_up 300 || { echo "FlightGear did not come up" >&2; exit 1; }
  fg_wait_addon || { echo "FlightGear did not load Skarvo's add-on (see $work/fgfs-scan.log)" >&2; exit 1; }
  # Each point waits for its ground from FlightGear anyway: a least time
  # per batch would only slow the scan.
  start_bridge --batch-ms 0
  echo "Scanning $south..$north N, $west..$east E in FlightGear (its progress on FlightGear's screen)..."
  local started finished points
  started=$(date +%s.%N)
  (cd "$home" && "$root/build/bin/skarvo" </dev/null >"$work/skarvo.out" 2>"$work/message-boxes.txt") || true
  finished=$(date +%s.%N)
  bridge_finish "$bridge"
  cat "$work/message-boxes.txt"
  grep "the scan's ground" "$work/bridge.out" || true
  points=$(awk '/latitudes:/ { r = $NF } /longitudes:/ { c = $NF } END { print (r + 2) * (c + 2) }' "$home/Import/skv-slope.dat")
  awk -v n="$points" -v a="$started" -v b="$finished" \
    'BEGIN { printf "%d points in %.0f s: %.0f points a second\n", n, b - a, n / (b - a) }'
  echo "The slope data file: $home/Import/skv-slope.dat; the next flight imports it (then it is in $home/Import/Archive)."
  fg_stop
  FG_XVFB='' FG_PID=''
  cp "$root/bridge/skv-phdh.ini" "$home/skv.ini"
}

if [[ ${#scan[@]} -eq 4 ]]; then
  scan_terrain "${scan[@]}"
  exit 0
fi

place=("${FG_PLACE[@]}" --altitude=3300 --vc=50 --wind=060@12)
if ((ridge)); then
  task=()
  if [[ "$ridge_name" == koolau ]]; then
    place=("${FG_KOOLAU_PLACE[@]}") area=("${FG_KOOLAU_AREA[@]}")
    back=()
    for ((k = ${#FG_KOOLAU_TASK[@]} - 4; k >= 2; k -= 2)); do back+=("${FG_KOOLAU_TASK[k]}" "${FG_KOOLAU_TASK[k + 1]}"); done
    for _ in $(seq 5); do task+=("${FG_KOOLAU_TASK[@]}" "${back[@]}"); done
  else
    place=("${FG_RIDGE_PLACE[@]}") area=("${FG_RIDGE_AREA[@]}")
    for _ in $(seq 20); do task+=("${FG_RIDGE_TASK[@]}"); done
  fi
  if [[ ! -f "$home/scanned-$ridge_name" ]]; then
    echo "The $ridge_name ridge has not been scanned into $home yet: scanning it first."
    scan_terrain "${area[@]}"
    touch "$home/scanned-$ridge_name"
  fi
  ((auto)) && bridge_options+=(--no-finder --task "${task[@]}")
fi
((auto)) && bridge_options+=(--auto)
((clouds)) && bridge_options+=(--clouds)
fg_start "$work/fgfs.log" "${place[@]}" "${extra[@]}"
echo "Waiting for FlightGear (its log: $work/fgfs.log)..."
fg_wait_up 300 || { echo "FlightGear did not come up" >&2; exit 1; }
start_bridge --record "$work/record.tsv" --igc "$work/flight.igc" --map "$work/flight.svg" "${bridge_options[@]}"
echo "Skarvo flies with FlightGear; quit with Q, then Y in FlightGear's window. Logs in $work."
(cd "$home" && "$root/build/bin/skarvo" </dev/null >"$work/skarvo.out" 2>"$work/message-boxes.txt") || true
bridge_finish "$bridge"
cat "$work/bridge.out"
echo "The flight's files: $work/flight.igc, $work/flight.svg (picture: rsvg-convert it to PNG), $work/record.tsv"
