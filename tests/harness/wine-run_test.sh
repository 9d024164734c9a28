#!/usr/bin/env bash
# The wrapper's one retry of a start that Wine itself failed. A stand-in
# `wine` on PATH plays a scripted outcome per start, so the failure that
# otherwise turns up once in twenty suite runs happens on every run here.
#   usage: wine-run_test.sh <wine-run.sh>
set -euo pipefail
wine_run=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/bin" "$work/template" "$work/cases"
touch "$work/template/system.reg" "$work/template/.zemlo-ready"
# Each start takes the next outcome from the script and notes its prefix.
cat >"$work/bin/wine" <<'FAKE'
#!/usr/bin/env bash
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
printf '#!/bin/sh\nexit 0\n' >"$work/bin/wineserver"
chmod +x "$work/bin/wine" "$work/bin/wineserver"

status=0
# outcomes of the starts | exit code | starts | standard output
while IFS='|' read -r outcomes expected_code expected_starts expected_output; do
    printf '%s\n' $outcomes >"$work/script"
    : >"$work/starts"
    code=0
    PATH="$work/bin:$PATH" FAKE_WINE_SCRIPT="$work/script" FAKE_WINE_STARTS="$work/starts" \
        ZEMLO_WINE_TEMPLATE="$work/template" ZEMLO_CASE_ROOT="$work/cases" ZEMLO_KEEP_CASE= \
        "$wine_run" program.exe >"$work/stdout" 2>"$work/stderr" || code=$?
    starts=$(wc -l <"$work/starts")
    prefixes=$(sort -u "$work/starts" | wc -l)
    if [ "$code" != "$expected_code" ] || [ "$starts" != "$expected_starts" ] || [ "$prefixes" != "$starts" ] ||
        [ "$(cat "$work/stdout")" != "$expected_output" ]; then
        echo "FAILED: starts '$outcomes': exit $code (expected $expected_code), $starts starts in $prefixes prefixes (expected $expected_starts in as many), output '$(cat "$work/stdout")' (expected '$expected_output')"
        sed 's/^/  stderr: /' "$work/stderr"
        status=1
    else
        echo "ok: starts '$outcomes': exit $code after $starts starts"
    fi
done <<'CASES'
fails-on-stdout runs|0|2|the program ran
fails-on-stderr runs|0|2|the program ran
fails-on-stdout fails-on-stdout runs|1|2|ShellExecuteEx failed: Internal error.
program-fails runs|3|1|the program ran and failed
CASES
exit "$status"
