#!/bin/sh
# Runs a Windows program under Wine with a prefix of the build's own: wine-run.sh PREFIX PROGRAM ARGS...
prefix="$1"
shift
# Wine takes an absolute prefix only; a relative one is taken from the current folder.
case "$prefix" in
    /*) ;;
    *) prefix="$PWD/$prefix" ;;
esac
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
fi
exec /usr/lib/wine/wine64 "$@"
