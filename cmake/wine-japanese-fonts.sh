#!/bin/sh
# Gives a Wine prefix a Japanese font for the dialog font "MS UI Gothic" (IPA P Gothic, from
# Debian's fonts-ipafont-gothic) and Wine's own Marlett for the caption buttons, so that the
# dialog program shows its texts and frames properly without Windows' fonts:
#   wine-japanese-fonts.sh PREFIX
prefix="$1"
# Wine takes an absolute prefix only; a relative one is taken from the current folder.
case "$prefix" in
    /*) ;;
    *) prefix="$PWD/$prefix" ;;
esac
here="$(cd "$(dirname "$0")" && pwd)"
fonts="$prefix/drive_c/windows/Fonts"
[ -f "$prefix/system.reg" ] || "$here/wine-run.sh" "$prefix" cmd /c exit
mkdir -p "$fonts"
cp -u /usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf /usr/share/wine/fonts/marlett.ttf "$fonts/"
if ! grep -q '"MS UI Gothic"="IPAPGothic"' "$prefix/user.reg" 2>/dev/null; then
    settings="$(mktemp --suffix=.reg)"
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"MS UI Gothic"="IPAPGothic"\r\n' >"$settings"
    "$here/wine-run.sh" "$prefix" regedit /S "Z:$settings"
    WINEPREFIX="$prefix" /usr/lib/wine/wineserver -w
    rm -f "$settings"
fi
