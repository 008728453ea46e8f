#!/usr/bin/env bash
# Builds everything and runs every test: the Windows build under Wine, the
# fuzz targets briefly, the release build (built only), the Linux build with
# sanitizers, and flights with the real FlightGear through the bridge.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup-deps.sh --windows
cmake --preset windows >/dev/null
cmake --build --preset windows
scripts/wine-setup.sh
trap 'scripts/wine-setup.sh --stop' EXIT
ctest --preset windows

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz

# Every preset the README names must build; the release one is built only.
cmake --preset release >/dev/null
cmake --build --preset release

cmake --preset default >/dev/null
cmake --build --preset default
tests/flightgear_e2e.sh
tests/flightgear_ridge.sh
tests/flightgear_koolau.sh
ctest --preset default -j "$(nproc)"
