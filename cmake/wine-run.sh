#!/bin/sh
# Runs a Windows program of the build under Wine, headless and quiet, in the
# prefix that scripts/wine-setup.sh prepares.
export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/skarvo-wine}"
export WINEDEBUG="${WINEDEBUG:--all,err+module}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset DISPLAY WAYLAND_DISPLAY
exec wine "$@"
