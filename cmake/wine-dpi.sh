#!/bin/sh
# Sets the screen DPI of a Wine prefix (made when missing), as a Windows user sets the text size:
#   wine-dpi.sh PREFIX DPI
# Wine 8 takes the DPI from HKEY_CURRENT_USER\Control Panel\Desktop "LogPixels", as Windows does,
# and only without it from HKEY_CURRENT_CONFIG\Software\Fonts "LogPixels". Programs started in the
# prefix afterwards see it (GetDeviceCaps(LOGPIXELSX), GetDpiForWindow); the fonts of dialogs grow
# with it.
prefix="$1"
dpi="$2"
case "$prefix" in
    /*) ;;
    *) prefix="$PWD/$prefix" ;;
esac
here="$(cd "$(dirname "$0")" && pwd)"
[ -f "$prefix/user.reg" ] || "$here/wine-run.sh" "$prefix" cmd /c exit
value="$(printf 'dword:%08x' "$dpi")"
# The value as Wine keeps it in the prefix: the key's section of user.reg, up to the next key.
current="$(awk '/^\[/ { inside = index($0, "[Control Panel\\\\Desktop] ") == 1 } inside && /^"LogPixels"=/ { print }' \
    "$prefix/user.reg")"
[ "$current" = "\"LogPixels\"=$value" ] && exit 0
settings="$(mktemp --suffix=.reg)"
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"LogPixels"=%s\r\n' "$value" >"$settings"
"$here/wine-run.sh" "$prefix" regedit /S "Z:$settings"
status=$?
WINEPREFIX="$prefix" /usr/lib/wine/wineserver -w
rm -f "$settings"
exit "$status"
