#!/usr/bin/env bash
# Prepares the Wine prefix the Windows tests run in (headless: the null
# graphics driver, no crash dialog) and starts its Wine session, which stays
# up until scripts/wine-setup.sh --stop.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build-windows/wine-prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

if [[ "${1:-}" == "--stop" ]]; then
  wineserver -k 2>/dev/null || true
  exit 0
fi

if [[ ! -f "$WINEPREFIX/.skarvo-ready" ]]; then
  echo "Creating the Wine prefix $WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  wine wineboot --init </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.skarvo-ready"
fi
# A session already running is kept.
wineserver -p </dev/null >/dev/null 2>&1 || true
wine wineboot </dev/null >/dev/null 2>&1 || true
