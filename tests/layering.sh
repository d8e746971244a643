#!/usr/bin/env bash
# The layers include only downwards: base/ below platform/ below support/ and engine/, with the
# operating system's headers in platform/ (and the dialog's ui/) alone.
set -u
cd "$(dirname "$0")/.."
status=0
forbid() {  # forbid FOLDER REGEX WHY
    local hits
    hits=$(grep -nE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]($2)" -r "$1" --include='*.h' --include='*.cpp' --include='*.inc')
    if [ -n "$hits" ]; then
        echo "$1 must not include $3:"; echo "$hits"; status=1
    fi
}
forbid base     'platform/|support/|engine/|cli/|ui/' 'anything above it'
forbid platform 'support/|engine/|cli/|ui/'           'anything above it'
forbid support  'engine/|cli/|ui/'                    'the engine or a front end'
os_headers='windows\.h|shlobj\.h|shellapi\.h|commctrl\.h|unistd\.h|fcntl\.h|dirent\.h|iconv\.h|sys/'
forbid base    "$os_headers" 'operating-system headers'
forbid support "$os_headers" 'operating-system headers'
forbid engine  "$os_headers" 'operating-system headers'
[ $status -eq 0 ] && echo "layers include only downwards"
exit $status
