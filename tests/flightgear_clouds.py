#!/usr/bin/env python3
"""Checks the clouds FlightGear shows against the thermals the program
published, as the bridge's record has them: every published thermal worth
marking has a cloud within 150 m of its column's top and within 100 m of
its top; no cloud stands over a thermal more than 20 s after it ended.

    flightgear_clouds.py PORT RECORD     exit 0 when so, 1 with the reason
"""
import math
import socket
import sys

MARKED_MPS = 0.5
NEAR_M = 150
TOP_WITHIN_M = 100
ENDED_WITHIN_S = 20
SETTLE_S = 3  # a publication a few seconds old has reached FlightGear


def flightgear(port, paths):
    s = socket.create_connection(("127.0.0.1", port), timeout=30)
    f = s.makefile("rwb")
    f.write(b"data\r\n")
    for p in paths:
        f.write(b"get " + p.encode() + b"\r\n")
    f.flush()
    return [f.readline().decode().strip() for _ in paths]


def publications(record):
    """[(seconds, {serial: (lat, lon, top_m, strength)})] in their order."""
    found, last = [], None
    for line in open(record, encoding="utf-8", errors="replace"):
        fields = line.rstrip("\n").split("\t")
        if len(fields) < 4 or fields[2] != "thermal":
            continue
        seconds = float(fields[0])
        serial, lat, lon, top, _radius, strength = fields[3].split()
        if last is None or last[0] != seconds:
            last = (seconds, {})
            found.append(last)
        last[1][int(serial)] = (float(lat), float(lon), float(top), float(strength))
    return found


def metres_apart(lat1, lon1, lat2, lon2):
    north = (lat2 - lat1) * 111120
    east = (lon2 - lon1) * 111120 * math.cos(math.radians(lat1))
    return math.hypot(north, east)


def main():
    port, record = int(sys.argv[1]), sys.argv[2]
    paths = ["/sim/time/elapsed-sec"]
    for i in range(8):
        paths += [f"/skarvo/clouds/shown[{i}]/{leaf}" for leaf in ("serial", "latitude-deg", "longitude-deg", "base-ft")]
    values = flightgear(port, paths)
    now = float(values[0])
    shown = {}
    for i in range(8):
        serial, lat, lon, base = values[1 + 4 * i: 5 + 4 * i]
        if serial not in ("", "0"):
            shown[int(float(serial))] = (float(lat), float(lon), float(base) * 0.3048)
    published = publications(record)
    settled = [p for p in published if p[0] <= now - SETTLE_S]
    if not settled:
        print("nothing published yet")
        return 1
    seconds, thermals = settled[-1]
    newest = published[-1][1]  # a thermal replaced since may have lost its cloud already
    marked = {s: t for s, t in thermals.items()
              if t[3] >= MARKED_MPS and s in newest and newest[s][3] >= MARKED_MPS}
    for serial, (lat, lon, top, _) in marked.items():
        near = [c for c in shown.values()
                if metres_apart(lat, lon, c[0], c[1]) <= NEAR_M and abs(c[2] - top) <= TOP_WITHIN_M]
        if not near:  # two thermals may stand close enough to share the place
            print(f"thermal {serial} (published at {seconds:.0f} s) has no cloud near its top")
            return 1
    recent = [p for p in publications(record) if p[0] >= now - ENDED_WITHIN_S]
    alive = {s for _, ts in recent for s, t in ts.items() if t[3] >= MARKED_MPS} | set(marked)
    for serial in shown:
        if serial not in alive:
            print(f"a cloud still stands over thermal {serial}, not marked in the last {ENDED_WITHIN_S} s")
            return 1
    print(f"{len(marked)} thermals, {len(shown)} clouds at {now:.0f} s")
    return 0


sys.exit(main())
