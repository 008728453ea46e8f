#!/usr/bin/env bash
# Builds everything (Linux with sanitizers, and the Windows program) and runs
# every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup-deps.sh --windows
cmake --preset windows >/dev/null
cmake --build --preset windows
echo "Windows build: $(ls build-windows/bin/skarvo.exe)"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz

cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default -j "$(nproc)"
