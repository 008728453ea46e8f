#!/usr/bin/env bash
# Shared by fly-flightgear.sh and the FlightGear end-to-end test: installs
# FlightGear, Xvfb and xdotool when missing (as root), and starts FlightGear
# headless with Skarvo's keys, its property server on $FG_PORT, on the X
# display $FG_DISPLAY. Defines fg_start, fg_get, fg_set, fg_key, fg_stop.
fg_install() {
  local missing=()
  for p in flightgear xvfb xdotool python3; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [[ ${#missing[@]} -eq 0 ]] && return 0
  [[ $(id -u) -eq 0 ]] || { echo "Missing packages: ${missing[*]}" >&2; return 1; }
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Where the flights start: over the coast by Dillingham Airfield (PHDH),
# Oahu, a gliding site whose terrain FlightGear's installed scenery holds,
# on a July afternoon with the trade wind. Measured here: --airport=PHDH
# makes this FlightGear crash while it reads the airport, so the place is
# given by latitude and longitude.
FG_PLACE=(--lat=21.600 --lon=-158.205 --heading=240 --start-date-lat=2024:07:01:14:00:00)

# Ridge soaring there: the Waianae range's northern face rises from the
# shore west of the airfield to about 400 m, steepest between 21.574 and
# 21.578 N. The flight starts in front of its eastern end at 457 m, in the
# trade wind from the north-east, on a July morning at 9:00 before the
# thermals start; the pilot beats along the face between its ends, on the
# line 21.5745 N high on its steep part, where the ridge lift at its
# height is strongest (along 21.576 N, not drifting up the face with the
# wind, it gained far less).
# The scan's default area covers the face and the ground behind it.
FG_RIDGE_PLACE=(--lat=21.579 --lon=-158.213 --heading=270 --altitude=1500 --vc=50 --wind=045@15
  --start-date-lat=2024:07:01:09:00:00)
FG_RIDGE_TASK=(21.5745 -158.2420 21.5745 -158.2170)
FG_RIDGE_AREA=(21.5800 21.5650 -158.2500 -158.2000)

# The Ko'olau range's windward cliffs on the other side of the island: from
# above Waimanalo north-west past the Nuuanu Pali to above Kahaluu (14 km),
# 500 to 800 m high and steeper than 60 degrees, facing the trade wind from
# the north-east. The pilot flies along the line of the strongest lift at
# 900 m (worked out from a scan) between its ends; the flight starts over
# the south-eastern end at 914 m in a 15-knot trade wind from 050, before
# the thermals start.
FG_KOOLAU_PLACE=(--lat=21.4150 --lon=-157.8364 --heading=330 --altitude=3000 --vc=50 --wind=050@15
  --start-date-lat=2024:07:01:09:00:00)
FG_KOOLAU_TASK=(21.4150 -157.8364 21.4250 -157.8476 21.4300 -157.8587 21.4400 -157.8709 21.4600 -157.8738
  21.4700 -157.8870 21.4850 -157.8893 21.4950 -157.8930 21.5050 -157.9037 21.5150 -157.9119)
FG_KOOLAU_AREA=(21.5250 21.4050 -157.9250 -157.8200)

# Drawn in software (Mesa's llvmpipe: on Xvfb, or a display without a
# graphics card) FlightGear drawing Oahu now and then takes one frame of up
# to a minute, loading scenery as the aircraft moves on, and measured here
# a 15-minute flight did not survive it even with these settings (OSG's
# drawing in one thread, a smaller window, no random buildings, vegetation
# and objects, 20 km of visibility, at most 10 frames a second; 3D
# clouds stay on, for Skarvo's cumulus). So where FlightGear would draw in software the scripts fly
# undrawn and say so, unless FG_DRAW=1 (fly-flightgear.sh --drawn) asks
# for drawing; it then draws with these settings.
FG_SOFTWARE_DRAWING=(--geometry=800x600 --prop:/sim/rendering/multithreading-mode=SingleThreaded
  --disable-random-objects --disable-random-vegetation --disable-random-buildings --enable-clouds3d
  --fog-fastest --visibility=20000 --prop:/sim/frame-rate-throttle-hz=10)

# fg_renders_in_software: true on our own Xvfb display, or where glxinfo
# names a software renderer (a display without glxinfo counts as drawn by
# its graphics card).
fg_renders_in_software() {
  [[ "${FG_OWN_DISPLAY:-1}" != 0 ]] && return 0
  command -v glxinfo >/dev/null || return 1
  DISPLAY=$FG_DISPLAY glxinfo -B 2>/dev/null | grep -qiE 'llvmpipe|softpipe|swrast'
}

# fg_start LOGFILE [fgfs options...]: FlightGear with Skarvo's add-on and
# sailplane (or the aircraft named by FG_AIRCRAFT) in the air, sound,
# traffic and weather fetching off, on a display of its own (Xvfb) unless
# FG_OWN_DISPLAY is 0. Shaders stay at the lowest quality: measured here,
# the software renderer crashes compiling them over Oahu. With FG_DRAW=0
# the scenery is loaded (the flight model and the ground's height have it)
# but terrain, objects and clouds are not drawn: undrawn it runs at over
# 100 frames a second. FG_DRAW=1 draws; unset, it draws unless drawing
# would be in software.
# FlightGear's own ridge lift is off: Skarvo makes the vertical air, ridge
# lift from its slope tiles among it.
# The property server is served 200 times a second (at most once a frame):
# at its default rate a get took 0.4 s to be answered, at this one 17 ms.
fg_start() {
  local log=$1; shift
  local draw=() drawing=${FG_DRAW:-}
  if [[ -z "$drawing" ]] && fg_renders_in_software; then
    echo "FlightGear would draw in software here (no graphics card), where it stalls for up to a minute at a" \
      "time and did not last a 15-minute flight: it flies with its scenery undrawn (--drawn draws anyway)" >&2
    drawing=0
  fi
  if [[ "$drawing" == 0 ]]; then
    draw=(--geometry=640x480 --prop:/sim/rendering/draw-mask/terrain=false
      --prop:/sim/rendering/draw-mask/models=false --prop:/sim/rendering/draw-mask/clouds=false)
  elif fg_renders_in_software; then
    draw=("${FG_SOFTWARE_DRAWING[@]}")
  fi
  if [[ "${FG_OWN_DISPLAY:-1}" != 0 ]]; then
    Xvfb "$FG_DISPLAY" -screen 0 1024x768x24 >/dev/null 2>&1 &
    FG_XVFB=$!
    sleep 1
  fi
  DISPLAY=$FG_DISPLAY DBUS_FATAL_WARNINGS=0 /usr/games/fgfs \
    --addon="$FG_ROOT_DIR/bridge/flightgear-addon" --telnet="socket,bi,200,localhost,$FG_PORT,tcp" \
    --fg-aircraft="$FG_ROOT_DIR/bridge/aircraft" --aircraft="${FG_AIRCRAFT:-skarvo-sailplane}" \
    --disable-sound --disable-splash-screen --disable-ai-traffic --disable-real-weather-fetch --disable-terrasync \
    --prop:/environment/ridge-lift/enabled=false \
    --prop:/sim/rendering/shaders/quality-level=0 "${draw[@]}" --in-air "$@" >"$log" 2>&1 &
  FG_PID=$!
}

# fg_get PATH: the property's value ("" when FlightGear does not answer).
fg_get() {
  python3 - "$FG_PORT" "$1" <<'PY' 2>/dev/null || true
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10)
s.sendall(b"data\r\nget " + sys.argv[2].encode() + b"\r\n")
answer = b""
while b"\n" not in answer:
    answer += s.recv(4096)
print(answer.decode().strip())
PY
}

fg_set() {
  python3 - "$FG_PORT" "$1" "$2" <<'PY' 2>/dev/null || true
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10)
s.sendall(b"data\r\nset " + sys.argv[2].encode() + b" " + sys.argv[3].encode() + b"\r\nget /sim/time/elapsed-sec\r\n")
answer = b""
while b"\n" not in answer:
    answer += s.recv(4096)
PY
}

# fg_menu WORDS: runs the Skarvo menu's item whose label holds WORDS, each
# of its bindings as FlightGear's menu runs it (the command with the
# binding's other children as its arguments).
fg_menu() {
  python3 - "$FG_PORT" "$1" <<'PY' 2>/dev/null
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10)
f = s.makefile("rwb")
def send(line):
    f.write(line.encode() + b"\r\n"); f.flush()
def get(path):
    send("get " + path); return f.readline().decode().strip()
def children(path):
    send("ls " + path); send("get /sim/time/elapsed-sec")
    names = []
    while True:
        line = f.readline().decode().strip()
        if line.startswith("-ERR"): return []
        try: float(line); return names
        except ValueError: names.append(line)
send("data")
menus = [f"/sim/menubar/default/menu[{i}]" for i in range(60)]
menu = next(m for m in menus if get(m + "/label") == "Skarvo")
item = next(i for i in (f"{menu}/item[{n}]" for n in range(30)) if sys.argv[2] in get(i + "/label"))
for b in (f"{item}/binding[{n}]" for n in range(10)):
    names = children(b)
    if not names: break
    send(" ".join(["run", get(b + "/command")] + [f"{n}={get(b + '/' + n)}" for n in names if n != "command"]))
get("/sim/time/elapsed-sec")
PY
}

# fg_over_the_middle NORTH SOUTH WEST EAST: fgfs's options that start it
# over the area's middle (where the bridge holds its aircraft in a scan).
fg_over_the_middle() {
  awk -v n="$1" -v s="$2" -v w="$3" -v e="$4" 'BEGIN { printf "--lat=%.4f --lon=%.4f", (n + s) / 2, (w + e) / 2 }'
}

# fg_wait_up SECONDS: true once the property server answers.
fg_wait_up() {
  local until=$((SECONDS + $1))
  while ((SECONDS < until)); do
    [[ -n "$(fg_get /sim/time/elapsed-sec)" ]] && return 0
    kill -0 "$FG_PID" 2>/dev/null || return 1
    sleep 2
  done
  return 1
}

# fg_wait_addon: true once FlightGear has loaded Skarvo's add-on (it loads
# add-ons after its property server already answers), within 60 s.
fg_wait_addon() {
  for _ in $(seq 60); do
    [[ "$(fg_get /addons/by-id/org.skarvo.Skarvo/loaded)" == true ]] && return 0
    sleep 1
  done
  return 1
}

# fg_wait_window: true once the bridge's window (its socket in
# $FSUIPC_IPC_DIR) is open, within 30 s.
fg_wait_window() {
  for _ in $(seq 150); do [[ -S "$FSUIPC_IPC_DIR/UIPCMAIN.sock" ]] && return 0; sleep 0.2; done
  return 1
}

# fg_key KEY: a key pressed in FlightGear's window.
fg_key() {
  local window
  window=$(DISPLAY=$FG_DISPLAY xdotool search --name FlightGear 2>/dev/null | head -1)
  [[ -n "$window" ]] && DISPLAY=$FG_DISPLAY xdotool key --window "$window" "$1" 2>/dev/null
}

# After the program: a bridge whose program went without closing its link
# (killed, crashed) serves on for the next one; here nobody comes, so it is
# asked to stop, which still writes the flight's files.
bridge_finish() {
  local pid=$1
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" || true
}

fg_stop() {
  [[ -n "${FG_PID:-}" ]] && kill "$FG_PID" 2>/dev/null || true
  [[ -n "${FG_XVFB:-}" ]] && kill "$FG_XVFB" 2>/dev/null || true
  wait 2>/dev/null || true
}
