# The checks the end-to-end scripts share; sourced, not run. Each script counts its checks with
# expect and ends with finish, which exits 0 only when none failed.
passed=0
failed=0
# expect DESCRIPTION COMMAND...: one check, passed when COMMAND succeeds.
expect() {
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $what" >&2
    fi
}
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ] && exit 0
    exit 1
}
