#!/bin/sh
# Runs a Windows program that shows windows under Wine, on an X server of its own:
#   wine-gui-run.sh PREFIX PROGRAM ARGS...
# A virtual X server (Xvfb) is started on a free display and stopped afterwards, so the program
# never needs nor disturbs a real screen. There is no window manager on it, so the program's
# windows are set to be Wine's own (unmanaged, with the frames Wine draws): otherwise Wine waits for
# a window manager at every window that closes. The program's exit code is this script's.
prefix="$1"
# Wine takes an absolute prefix only; a relative one is taken from the current folder.
case "$prefix" in
    /*) ;;
    *) prefix="$PWD/$prefix" ;;
esac
program="$2"
shift
here="$(cd "$(dirname "$0")" && pwd)"

display_file="$(mktemp)"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
tries=0
while [ ! -s "$display_file" ] && [ "$tries" -lt 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
display="$(cat "$display_file")"
rm -f "$display_file"
if [ -z "$display" ]; then
    echo "wine-gui-run.sh: Xvfb did not start" >&2
    kill "$xvfb_pid" 2>/dev/null
    exit 1
fi
export DISPLAY=":$display"

name="$(basename "$program")"
if ! grep -qF "AppDefaults\\\\$name\\\\X11 Driver" "$prefix/user.reg" 2>/dev/null; then
    settings="$(mktemp --suffix=.reg)"
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s\\X11 Driver]\r\n"Managed"="N"\r\n"Decorated"="N"\r\n' \
        "$name" >"$settings"
    "$here/wine-run.sh" "$prefix" regedit /S "Z:$settings"
    rm -f "$settings"
fi

"$here/wine-run.sh" "$prefix" "$@"
status=$?
# Wine's own processes keep the display open until the prefix's last program has ended.
WINEPREFIX="$prefix" /usr/lib/wine/wineserver -w
kill "$xvfb_pid" 2>/dev/null
wait "$xvfb_pid" 2>/dev/null
exit "$status"
