#!/usr/bin/env bash
# End to end with the real FlightGear, Skarvo's add-on and Skarvo's sailplane
# over Dillingham Airfield: FlightGear loads the add-on, the program
# connects through the bridge, its start-up text
# appears on FlightGear's screen, the vertical air it writes reaches
# FlightGear's lift property; then the soaring pilot (skarvo-fg --auto)
# asks the finder, flies to a thermal and climbs at least 200 m, as
# FlightGear's own altitude shows, within 25 minutes of FlightGear's time
# (run at three times real time, the scenery loaded but not drawn, in a
# light trade wind: the pilot recentres its circles by at most their own
# size, and a 12-knot wind carries them out of a thermal faster); finally the quit gesture on the bound keys
# (Q, then Y) ends the session. A second flight in the same FlightGear asks
# for a thermal hint from the Skarvo menu (its binding run as the menu runs
# it), whose answer reaches FlightGear's screen and the status window, and
# ends with FlightGear killed: the bridge and the program end, the flight's
# files written. A third flight, in FlightGear's Cessna 172, shows the lift
# reaching another aircraft's vertical wind, and ends with the menu's Quit
# Skarvo and Y. With FG_FLIGHT_PICTURE=FILE.svg the
# flight's map and barogram are kept there. Skipped, with a message, where FlightGear
# cannot be installed or does not come up in time.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
FG_ROOT_DIR=$root
FG_DISPLAY=:97
FG_PORT=5421
FG_DRAW=0
source "$root/scripts/flightgear-session.sh"
record_now=/dev/null
# One day's weather, flown again on every run: the program seeds its
# thermals from this clock (SKARVO_CLOCK=N flies another day).
export SKARVO_CLOCK=${SKARVO_CLOCK:-1751500000}
speed_up=3
needed_climb_m=200
soaring_minutes=25

skip() { echo "FlightGear end to end: SKIPPED: $1"; fg_stop; exit 0; }
fail() {
  echo "FlightGear end to end: FAILED: $1"
  echo "--- bridge:"; cat "$work/bridge.out"
  echo "--- pilot (the program's clock $SKARVO_CLOCK):"; grep -P '\t(pilot|text)\t' "$record_now" | tail -40
  echo "--- program:"; cat "$work/skarvo.err"
  fg_stop; exit 1
}

fg_install || skip "FlightGear cannot be installed here"
work=$(mktemp -d /tmp/skarvo-fg-e2e-XXXXXX)
trap 'fg_stop; rm -rf "$work"' EXIT
cp "$root/bridge/skv-phdh.ini" "$work/skv.ini"
export FSUIPC_IPC_DIR="$work/ipc"

fg_start "$work/fgfs.log" "${FG_PLACE[@]}" --altitude=3300 --vc=50 --wind=060@12
fg_wait_up 300 || skip "FlightGear did not come up within 300 s (see its log: $(tail -1 "$work/fgfs.log"))"
fg_set /sim/speed-up "$speed_up"  # set at the start, FlightGear sets it back to 1
[[ "$(fg_get /sim/aircraft)" == skarvo-sailplane ]] || fail "FlightGear did not load the sailplane"
fg_wait_addon || fail "FlightGear did not load Skarvo's add-on"

"$root/build/bin/skarvo-fg" --fg-port "$FG_PORT" --wait 30 --auto --record "$work/record.tsv" \
  --igc "$work/flight.igc" --map "$work/flight.svg" >"$work/bridge.out" 2>&1 &
bridge=$!
fg_wait_window || fail "the bridge did not open its window"
(cd "$work" && "$root/build/bin/skarvo" </dev/null >"$work/skarvo.out" 2>"$work/skarvo.err") &
program=$!

wait_for() {  # wait_for SECONDS PATH PATTERN: the matching value in $seen
  local until=$((SECONDS + $1))
  while ((SECONDS < until)); do
    seen=$(fg_get "$2")
    [[ "$seen" =~ $3 ]] && return 0
    sleep 1
  done
  return 1
}
wait_for 120 /sim/messages/copilot "Initialization complete" || fail "the start-up text did not reach FlightGear's screen"
wait_for 60 /environment/local-weather-lift-fps "^-?[0-9]" || fail "no vertical air reached FlightGear"
lift=$seen
wait_for 10 /skarvo/status/program "^attached$" || fail "the status window does not show the program attached"

# The climb, from FlightGear's own altitude: the most gained above the
# lowest point flown so far. Every half minute of FlightGear's time the
# clouds FlightGear shows are checked against the thermals published.
soar() {  # soar PROGRAM RECORD: climbs $needed_climb_m within $soaring_minutes
  local program=$1 record=$2
  record_now=$record
  checks=0
  start=$(fg_get /sim/time/elapsed-sec)
  # The first check once the program has published its thermals a while.
  local next_check=$(awk -v s="$start" 'BEGIN { print s + 30 }')
  low=1e9 gained=0
  while :; do
    now=$(fg_get /sim/time/elapsed-sec); feet=$(fg_get /position/altitude-ft)
    [[ "$now" =~ ^[0-9.]+$ && "$feet" =~ ^-?[0-9.]+$ ]] || fail "FlightGear stopped answering"
    read -r low gained < <(awk -v f="$feet" -v low="$low" -v g="$gained" 'BEGIN {
      m = f * 0.3048; if (m < low) low = m; if (m - low > g) g = m - low; print low, g }')
    if awk -v now="$now" -v n="$next_check" 'BEGIN { exit !(now >= n) }'; then
      clouds=$(python3 "$root/tests/flightgear_clouds.py" "$FG_PORT" "$record") || fail "clouds: $clouds"
      checks=$((checks + 1)) next_check=$(awk -v now="$now" 'BEGIN { print now + 30 }')
    fi
    awk -v g="$gained" -v n="$needed_climb_m" 'BEGIN { exit !(g >= n) }' && ((checks >= 3)) && break
    awk -v now="$now" -v s="$start" -v m="$soaring_minutes" 'BEGIN { exit !(now - s > m * 60) }' &&
      fail "the pilot climbed only $gained m in $soaring_minutes minutes"
    kill -0 "$program" 2>/dev/null || fail "the program ended while soaring"
    sleep 3
  done
  soared_minutes=$(awk -v now="$now" -v s="$start" 'BEGIN { printf "%.1f", (now - s) / 60 }')
}
soar "$program" "$work/record.tsv"
with_the_finder="climbed $(printf '%.0f' "$gained") m with the finder within $soared_minutes minutes of FlightGear's time at speed-up $speed_up, the clouds checked $checks times"

fg_set /sim/speed-up 1  # the quit prompt waits 5 s of FlightGear's time for its key
fg_key shift+q
wait_for 60 /sim/messages/copilot "To quit" || fail "TAB-Backspace (Q in FlightGear) did not open the quit prompt"
fg_key shift+y
for _ in $(seq 60); do kill -0 "$program" 2>/dev/null || break; sleep 1; done
kill -0 "$program" 2>/dev/null && fail "the quit gesture did not end the session"
wait "$program" || fail "the program did not exit with 0"
wait_for 30 /sim/messages/copilot "no longer running" || fail "the goodbye text did not reach FlightGear"
wait "$bridge" || true
[[ -n "${FG_FLIGHT_PICTURE:-}" ]] && cp "$work/flight.svg" "$FG_FLIGHT_PICTURE"
first_flight=$(tail -1 "$work/bridge.out")

# A second flight in the same FlightGear, the pilot going by the clouds
# alone; FlightGear then dies: the bridge says so and ends with the
# flight's files written, and the program follows it.
fg_set /sim/speed-up "$speed_up"
"$root/build/bin/skarvo-fg" --fg-port "$FG_PORT" --wait 30 --auto --clouds --record "$work/record2.tsv" \
  --igc "$work/flight2.igc" --map "$work/flight2.svg" >"$work/bridge.out" 2>&1 &
bridge=$!
fg_wait_window || fail "the bridge did not open its window for a second flight"
(cd "$work" && "$root/build/bin/skarvo" </dev/null >"$work/skarvo.out" 2>"$work/skarvo.err") &
program=$!
wait_for 120 /sim/messages/copilot "Initialization complete" || fail "the second flight did not start up"
soar "$program" "$work/record2.tsv"
# A finder key pressed would have brought its answer to the screen.
grep -qP "\ttext\t.*(thermal is|You're in it|Don't expect|I don't see it|must be too weak)" "$work/record2.tsv" &&
  fail "the pilot going by the clouds asked the finder"
grep -q "heading for a cloud" "$work/record2.tsv" || fail "the pilot going by the clouds went for none"
by_the_clouds="climbed $(printf '%.0f' "$gained") m by the clouds within $soared_minutes minutes"
fg_set /sim/speed-up 1
fg_menu "Thermal hint: west" || fail "the Skarvo menu has no west thermal hint"
hint="thermal is|Don't expect|I don't see it"
wait_for 30 /sim/messages/copilot "$hint" || fail "the menu's thermal hint brought no answer to FlightGear's screen"
menu_answer=$seen
wait_for 10 /skarvo/status/last-text "$hint" || fail "the status window does not show the program's last text"
[[ "$seen" == "$menu_answer" ]] || fail "the status window shows \"$seen\", the screen \"$menu_answer\""
wait_for 10 /skarvo/status/program "^attached$" || fail "the status window does not show the second program attached"
sleep 2
kill -KILL "$FG_PID"
for _ in $(seq 100); do kill -0 "$bridge" 2>/dev/null || break; sleep 0.2; done
kill -0 "$bridge" 2>/dev/null && fail "the bridge did not end when FlightGear died"
for _ in $(seq 10); do kill -0 "$program" 2>/dev/null || break; sleep 0.2; done
kill -0 "$program" 2>/dev/null && fail "the program did not end within 2 s of the bridge"
grep -q "FlightGear has gone" "$work/bridge.out" || fail "the bridge did not say FlightGear had gone"
grep -q "^B" "$work/flight2.igc" || fail "the second flight's IGC log was not written"
grep -q "</svg>" "$work/flight2.svg" || fail "the second flight's map was not written"

# Another aircraft: Skarvo's lift goes into FlightGear's environment, so
# whatever FlightGear flies feels it in its vertical wind.
wait "$FG_PID" 2>/dev/null
[[ -n "${FG_XVFB:-}" ]] && kill "$FG_XVFB" 2>/dev/null && wait "$FG_XVFB" 2>/dev/null
FG_AIRCRAFT=c172p fg_start "$work/fgfs3.log" "${FG_PLACE[@]}" --altitude=3300 --vc=90 --wind=060@6
fg_wait_up 300 || skip "FlightGear did not come up a second time within 300 s"
[[ "$(fg_get /sim/aircraft)" == c172p ]] || fail "FlightGear did not load the Cessna 172"
fg_wait_addon || fail "FlightGear did not load Skarvo's add-on with the Cessna"
"$root/build/bin/skarvo-fg" --fg-port "$FG_PORT" --wait 30 >"$work/bridge.out" 2>&1 &
bridge=$!
fg_wait_window || fail "the bridge did not open its window for the Cessna"
(cd "$work" && "$root/build/bin/skarvo" </dev/null >"$work/skarvo.out" 2>"$work/skarvo.err") &
program=$!
# The Cessna shows a welcome text of its own on FlightGear's screen: the
# status window tells the start-up.
wait_for 120 /skarvo/status/last-text "Initialization complete" || fail "the Cessna's flight did not start up"
wait_for 60 /environment/local-weather-lift-fps "^-?[0-9]*[.][0-9]" || fail "no vertical air reached FlightGear for the Cessna"
# The two are read a frame or two apart while the air changes: one of a few
# readings close enough shows the lift in the Cessna's vertical wind.
sleep 3
for _ in $(seq 10); do
  felt=$(fg_get /environment/wind-from-down-fps) written=$(fg_get /environment/local-weather-lift-fps)
  awk -v a="$felt" -v b="$written" 'BEGIN { d = a - b; exit !(b != 0 && d < 0.05 && d > -0.05) }' && break
  felt=
done
[[ -n "$felt" ]] || fail "the Cessna's vertical wind is $(fg_get /environment/wind-from-down-fps) ft/s, Skarvo writes $written ft/s"
fg_menu "Quit Skarvo" || fail "the Skarvo menu has no Quit Skarvo"
wait_for 30 /sim/messages/copilot "To quit" || fail "the menu's Quit Skarvo did not open the quit prompt"
fg_key shift+y
for _ in $(seq 60); do kill -0 "$program" 2>/dev/null || break; sleep 1; done
kill -0 "$program" 2>/dev/null && fail "the menu's Quit Skarvo and Y did not end the session"
wait "$bridge" || true
wait_for 10 /skarvo/status/program "^not attached$" || fail "the status window still shows a program attached"
echo "FlightGear end to end: passed (the add-on loaded; lift written $lift ft/s; $with_the_finder; $first_flight; $by_the_clouds; a second flight's menu hint \"$menu_answer\", ended with FlightGear killed; the Cessna felt $felt ft/s of the $written ft/s written)"
