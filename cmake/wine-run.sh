#!/usr/bin/env bash
# Runs a Windows program of the build under Wine, headless and quiet, in the
# prefix that scripts/wine-setup.sh prepares.
#
# Once in a CI run Wine ended a test program in 0.01 s with a failure and
# not a word written (a program of ours always writes: GoogleTest's banner
# first). Wine that started nothing is asked once more; a program that
# fails having written anything is not run again.
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build-windows/wine-prefix}"
if [ ! -f "$WINEPREFIX/.skarvo-ready" ]; then
    echo "wine-run.sh: the Wine prefix $WINEPREFIX is not prepared; run scripts/wine-setup.sh first" >&2
    exit 1
fi
export WINEDEBUG="${WINEDEBUG:--all,err+module}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset DISPLAY WAYLAND_DISPLAY
said=$(mktemp)
trap 'rm -f "$said"' EXIT
for attempt in 1 2; do
    wine "$@" 2>&1 | tee "$said"
    status=${PIPESTATUS[0]}
    if [[ $status -eq 0 || -s $said || $attempt -eq 2 ]]; then exit "$status"; fi
    echo "wine-run.sh: Wine ended with $status before the program wrote anything; once more" >&2
done
