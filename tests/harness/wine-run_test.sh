#!/usr/bin/env bash
# The wrapper's choice of Wine loader, and its one retry of a start that Wine
# itself failed. Stand-ins for `wine` (on PATH) and for 64-bit Wine's loader
# play a scripted outcome per start and note which loader started, so the
# start failure that otherwise turns up once in twenty suite runs happens on
# every run here, and either answer of the host's 32-bit check can be forced.
#   usage: wine-run_test.sh <wine-run.sh>
set -euo pipefail
wine_run=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/bin" "$work/cases"
# Each start takes the next outcome from the script and notes its prefix and
# loader; wineboot makes a prefix.
cat >"$work/bin/wine" <<'FAKE'
#!/usr/bin/env bash
echo "$(basename "$0") ${WINELOADER:+through $(basename "$WINELOADER")} $1" >>"$FAKE_WINE_LOADERS"
if [ "$1" = wineboot ]; then
    mkdir -p "$WINEPREFIX/drive_c/users/me" && touch "$WINEPREFIX/system.reg"
    exit 0
fi
echo "$WINEPREFIX" >>"$FAKE_WINE_STARTS"
outcome=$(sed -n "$(wc -l <"$FAKE_WINE_STARTS")p" "$FAKE_WINE_SCRIPT")
case $outcome in
    fails-on-stdout) echo 'ShellExecuteEx failed: Internal error.'; exit 1 ;;
    fails-on-stderr) echo 'ShellExecuteEx failed: Internal error.' >&2; exit 1 ;;
    program-fails) echo 'the program ran and failed'; exit 3 ;;
    runs) echo 'the program ran'; exit 0 ;;
esac
exit 99
FAKE
cp "$work/bin/wine" "$work/wine64"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/wineserver"
chmod +x "$work/bin/wine" "$work/wine64" "$work/bin/wineserver"
# The headers of a 32-bit and a 64-bit Windows program: what the wrapper reads.
pe_header() { # machine bytes
    printf 'MZ%058d\x40\0\0\0PE\0\0%b' 0 "$1"
}
pe_header '\x4c\x01' >"$work/program32.exe"
pe_header '\x64\x86' >"$work/program64.exe"

status=0
# 32-bit host | template | program | outcomes of the starts | exit code | starts | loaders | standard output
while IFS='|' read -r host template program outcomes expected_code expected_starts expected_loaders expected_output; do
    printf '%s\n' $outcomes >"$work/script"
    : >"$work/starts"
    : >"$work/loaders"
    rm -rf "$work/template"
    if [ "$template" = ready ]; then
        mkdir -p "$work/template"
        touch "$work/template/system.reg" "$work/template/.zemlo-ready"
    fi
    code=0
    PATH="$work/bin:$PATH" FAKE_WINE_SCRIPT="$work/script" FAKE_WINE_STARTS="$work/starts" \
        FAKE_WINE_LOADERS="$work/loaders" ZEMLO_HOST_RUNS_32_BIT=$host ZEMLO_WINE64_LOADER="$work/wine64" \
        ZEMLO_WINE_TEMPLATE="$work/template" ZEMLO_CASE_ROOT="$work/cases" ZEMLO_KEEP_CASE= \
        "$wine_run" "$work/$program" >"$work/stdout" 2>"$work/stderr" || code=$?
    starts=$(wc -l <"$work/starts")
    prefixes=$(sort -u "$work/starts" | wc -l)
    loaders=$(sed "s|$work/||g" "$work/loaders" | paste -sd ';')
    row="32-bit host $host, template $template, $program, starts '$outcomes'"
    if [ "$code" != "$expected_code" ] || [ "$starts" != "$expected_starts" ] || [ "$prefixes" != "$starts" ] ||
        [ "$loaders" != "$expected_loaders" ] || [ "$(cat "$work/stdout")" != "$expected_output" ]; then
        echo "FAILED: $row: exit $code (expected $expected_code), $starts starts in $prefixes prefixes (expected" \
            "$expected_starts in as many), loaders '$loaders' (expected '$expected_loaders'), output" \
            "'$(cat "$work/stdout")' (expected '$expected_output')"
        sed 's/^/  stderr: /' "$work/stderr"
        status=1
    else
        echo "ok: $row: exit $code after $starts starts"
    fi
done <<'CASES'
yes|ready|program64.exe|fails-on-stdout runs|0|2|wine  program64.exe;wine  program64.exe|the program ran
yes|ready|program64.exe|fails-on-stderr runs|0|2|wine  program64.exe;wine  program64.exe|the program ran
yes|ready|program64.exe|fails-on-stdout fails-on-stdout runs|1|2|wine  program64.exe;wine  program64.exe|ShellExecuteEx failed: Internal error.
yes|ready|program64.exe|program-fails runs|3|1|wine  program64.exe|the program ran and failed
yes|missing|program32.exe|runs|0|1|wine  wineboot;wine  program32.exe|the program ran
no|missing|program64.exe|runs|0|1|wine64 through wine64 wineboot;wine64 through wine64 program64.exe|the program ran
no|ready|program64.exe|fails-on-stdout runs|0|2|wine64 through wine64 program64.exe;wine64 through wine64 program64.exe|the program ran
no|ready|program32.exe|runs|77|0||
CASES
exit "$status"
