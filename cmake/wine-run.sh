#!/bin/sh
# Runs a Windows program of the build under Wine, headless and quiet, in the
# prefix that scripts/wine-setup.sh prepares.
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build-windows/wine-prefix}"
if [ ! -f "$WINEPREFIX/.skarvo-ready" ]; then
    echo "wine-run.sh: the Wine prefix $WINEPREFIX is not prepared; run scripts/wine-setup.sh first" >&2
    exit 1
fi
export WINEDEBUG="${WINEDEBUG:--all,err+module}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset DISPLAY WAYLAND_DISPLAY
exec wine "$@"
