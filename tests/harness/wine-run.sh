#!/usr/bin/env bash
# Runs one Windows program under Wine in a throwaway prefix.
#
# The prefix is a copy of the test run's template (made once, on first use, and
# shared by hard links), so every invocation starts from the same clean
# Windows. The program also gets a private mount namespace in which
# /etc/hosts is a file of its own ($ZEMLO_RESOLVER_HOSTS) and the resolver
# consults nothing else, so a test decides what the service host resolves to.
set -euo pipefail

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
# Local time 5:45 ahead of UTC (a POSIX rule, so no zone database is needed):
# a report that shows local time where it should show UTC stands out.
export TZ=${ZEMLO_WINE_TZ:-ZMT-5:45}
template=${ZEMLO_WINE_TEMPLATE:-${TMPDIR:-/tmp}/zemlodiag-wine-template-$(id -u)}

ensure_template() {
    mkdir -p "$(dirname "$template")"
    exec 9>"$template.lock"
    flock 9
    if [ ! -f "$template/.zemlo-ready" ]; then
        rm -rf "$template"
        WINEPREFIX="$template" wineboot -i >/dev/null 2>&1
        WINEPREFIX="$template" wineserver -w
        touch "$template/.zemlo-ready"
    fi
    flock -u 9
    exec 9>&-
}

if [ "${1:-}" = "--make-template" ]; then
    ensure_template
    exit 0
fi

ensure_template

case_dir=""
prefix=""
cleanup() {
    [ -n "$case_dir" ] || return 0
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
    if [ -z "${ZEMLO_KEEP_CASE:-}" ]; then rm -rf "$case_dir"; else echo "kept $case_dir" >&2; fi
    case_dir=""
}
trap cleanup EXIT

# One run of the program in a new prefix; its output lands in files of the case.
run_in_fresh_prefix() {
    case_dir=$(mktemp -d "${TMPDIR:-/tmp}/zemlodiag-case.XXXXXX")
    prefix="$case_dir/prefix"
    cp -al "$template" "$prefix"
    # Files a case may rewrite are real copies, so the template stays clean.
    for file in "$template"/*.reg; do
        cp --remove-destination "$file" "$prefix/"
    done
    for etc in drive_c/windows/system32/drivers/etc drive_c/windows/syswow64/drivers/etc; do
        if [ -d "$template/$etc" ]; then
            rm -rf "${prefix:?}/$etc"
            cp -a "$template/$etc" "$prefix/$etc"
        fi
    done
    rm -f "$prefix/.zemlo-ready"

    export WINEPREFIX="$prefix"
    export ZEMLO_RESOLVER_HOSTS="$case_dir/resolver-hosts"
    printf '127.0.0.1 localhost\n' >"$ZEMLO_RESOLVER_HOSTS"
    printf 'hosts: files\n' >"$case_dir/nsswitch.conf"

    local namespaced='mount --bind "$1" /etc/hosts && mount --bind "$2" /etc/nsswitch.conf && shift 2 && exec wine "$@"'
    local isolate=(unshare -m)
    unshare -m true 2>/dev/null || isolate=(unshare -r -m)
    if [ -n "${ZEMLO_WINE_CONSOLE:-}" ]; then
        # The terminal stays the program's console (tests of what a user sees).
        "${isolate[@]}" bash -c "$namespaced" bash "$ZEMLO_RESOLVER_HOSTS" "$case_dir/nsswitch.conf" "$@"
        return
    fi
    "${isolate[@]}" bash -c "$namespaced" bash "$ZEMLO_RESOLVER_HOSTS" "$case_dir/nsswitch.conf" "$@" \
        </dev/null >"$case_dir/stdout" 2>"$case_dir/stderr"
}

status=0
run_in_fresh_prefix "$@" || status=$?
# Under load, Wine now and then fails to start a program at all in a brand-new
# prefix ("ShellExecuteEx failed"); that says nothing about the program, so
# such a start is tried once more, in another new prefix.
if [ -n "${ZEMLO_WINE_CONSOLE:-}" ]; then
    exit "$status"
fi
if [ "$status" -ne 0 ] && [ ! -s "$case_dir/stdout" ] && grep -q 'ShellExecuteEx failed' "$case_dir/stderr"; then
    echo "wine-run.sh: Wine could not start $1; trying once more in a new prefix" >&2
    cat "$case_dir/stderr" >&2
    cleanup
    status=0
    run_in_fresh_prefix "$@" || status=$?
fi
cat "$case_dir/stdout"
cat "$case_dir/stderr" >&2
exit "$status"
