#!/bin/sh
# Runs a Windows program under Wine with a prefix of the build's own: wine-run.sh PREFIX PROGRAM ARGS...
# A missing prefix is made for the architecture WINEARCH names: win64 (the default) or win32, a
# 32-bit Windows run by Debian's wine32. An existing prefix keeps the architecture it was made for.
prefix="$1"
shift
# Wine takes an absolute prefix only; a relative one is taken from the current folder.
case "$prefix" in
    /*) ;;
    *) prefix="$PWD/$prefix" ;;
esac
if [ -f "$prefix/system.reg" ]; then
    arch="$(sed -n 's/^#arch=//p' "$prefix/system.reg")"
else
    arch="${WINEARCH:-win64}"
fi
case "$arch" in
    win32) loader=/usr/lib/wine/wine ;;
    *) loader=/usr/lib/wine/wine64 ;;
esac
export WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    "$loader" wineboot --init >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
fi
exec "$loader" "$@"
