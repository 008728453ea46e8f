#!/usr/bin/env python3
"""Skarvo's FlightGear add-on against the installed FlightGear's data: no key
of ours is one that FlightGear's keyboard.xml binds or that FlightGear's
gliders commonly bind (the winch, the aerotow, airbrakes and spoilers); every
hot key the bridge reads has a key, a menu item and a line in the README.
Exits 77 (skipped) where FlightGear's data is not installed."""
import pathlib
import re
import sys
import xml.etree.ElementTree as ET

root = pathlib.Path(__file__).resolve().parent.parent
addon = root / "bridge" / "flightgear-addon"
fg_root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "/usr/share/games/flightgear")

# w, W, Ctrl-w: the winch; o, O, Ctrl-o: the aerotow; j, k and their capitals,
# b, B, Ctrl-b: spoilers, airbrakes and speed brakes.
glider_keys = {ord(c) for c in "wWoOjJkKbB"} | {23, 15, 2}


def keys_of(path):
    return {int(k.get("n")): k for k in ET.parse(path).getroot().iter("key")}


def key_property(key):
    return key.findtext("binding/property").strip()


def menu_properties():
    menu = ET.parse(addon / "addon-menubar-items.xml").getroot()
    return {b.findtext("property").strip() for b in menu.iter("binding") if b.findtext("command") == "property-assign"}


def main():
    keyboard = fg_root / "keyboard.xml"
    if not keyboard.is_file():
        print(f"SKIPPED: no FlightGear data at {fg_root}")
        return 77
    ours = keys_of(addon / "addon-config.xml")
    faults = []
    for n in sorted(ours.keys() & keys_of(keyboard).keys()):
        faults.append(f"key {chr(n)!r} is bound in FlightGear's keyboard.xml")
    for n in sorted(ours.keys() & glider_keys):
        faults.append(f"key {chr(n)!r} is one that gliders bind")

    bridge_reads = set(re.findall(r'"(/skarvo/keys/[a-z0-9-]+)"', (root / "bridge" / "mapping.cpp").read_text()))
    pressed_by_keys = {key_property(k) for k in ours.values()}
    if pressed_by_keys != bridge_reads:
        faults.append(f"the keys press {sorted(pressed_by_keys)}, the bridge reads {sorted(bridge_reads)}")
    missing_in_menu = bridge_reads - menu_properties() - {"/skarvo/keys/confirm"}  # confirmed in the quit window
    if missing_in_menu:
        faults.append(f"no menu item presses {sorted(missing_in_menu)}")
    readme = (root / "README.md").read_text()
    for n, key in ours.items():
        if not re.search(rf"^\| `{chr(n)}` \| TAB-", readme, re.MULTILINE):
            faults.append(f"the README's key table has no line for {chr(n)!r}")

    for fault in faults:
        print("FAILED:", fault)
    if not faults:
        print(f"{len(ours)} keys, none bound by FlightGear or gliders; each in the menu and the README")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
