#!/bin/sh
# Makes a Wine prefix (when missing) set up as the PC of a user of Windows 10 whose profile folder's
# name holds characters that code page 932 lacks:
#   wine-profile.sh PREFIX NAME
# The user's application data (%APPDATA%, where the programs keep their log) moves to
# C:\users\NAME\AppData\Roaming; NAME is UTF-8 (for instance "𠮷田 Zoë"). The system tells the
# programs it is Windows 10 (Wine's default is Windows 7).
prefix="$1"
name="$2"
case "$prefix" in
    /*) ;;
    *) prefix="$PWD/$prefix" ;;
esac
here="$(cd "$(dirname "$0")" && pwd)"
[ -f "$prefix/user.reg" ] || "$here/wine-run.sh" "$prefix" cmd /c exit
roaming="$prefix/drive_c/users/$name/AppData/Roaming"
grep -q '^"Version"="win10"' "$prefix/user.reg" && [ -d "$roaming" ] && exit 0
mkdir -p "$roaming"
# A registry file of version 5 is UTF-16: it holds any name.
settings="$(mktemp --suffix=.reg)"
folder="C:\\\\users\\\\$name\\\\AppData\\\\Roaming"
{
    printf '\377\376'
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine]\r\n"Version"="win10"\r\n\r\n' \
        | iconv -f UTF-8 -t UTF-16LE
    for key in 'User Shell Folders' 'Shell Folders'; do
        printf '[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\%s]\r\n"AppData"="%s"\r\n\r\n' \
            "$key" "$folder" | iconv -f UTF-8 -t UTF-16LE
    done
} >"$settings"
"$here/wine-run.sh" "$prefix" regedit /S "Z:$settings"
status=$?
WINEPREFIX="$prefix" /usr/lib/wine/wineserver -w
rm -f "$settings"
exit "$status"
