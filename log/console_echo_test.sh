#!/usr/bin/env bash
# What a user sees in a real console: the report's own characters, not the
# '?' of a code-page conversion. The program runs under Wine in a terminal
# multiplexer, started through cmd as at a prompt; the screen is read back.
#   usage: console_echo_test.sh <wine-run.sh> <zemlodiag.exe>
set -euo pipefail
wine_run=$(realpath "$1")
exe_win="Z:$(realpath "$2" | tr / '\\')"
product_name='Windows 7 Профессиональная'
session="zemlo-console-$$"
work=$(mktemp -d)
trap 'tmux kill-session -t "$session" 2>/dev/null || true; rm -rf "$work"' EXIT

# The product name is seeded by reg.exe, from a UTF-16 .reg file, in the
# same fresh prefix.
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"ProductName"="%s"\r\n' \
    "$product_name" | iconv -f UTF-8 -t UTF-16 >"$work/seed.reg"
seed_win="Z:$(tr / '\\' <<<"$work/seed.reg")"
cat >"$work/run.sh" <<SCRIPT
export LANG=C.UTF-8 ZEMLO_WINE_INTERACTIVE=1
"$wine_run" cmd.exe /c "reg import $seed_win /reg:64 & mkdir C:\\zd & copy /y $exe_win C:\\zd\\zemlodiag.exe >nul & cd /d C:\\zd & zemlodiag"
echo "ZEMLO-EXIT:\$?"
sleep 600
SCRIPT
tmux -f /dev/null new-session -d -s "$session" -x 250 -y 80 "bash $work/run.sh"

screen() { tmux capture-pane -p -J -S - -t "$session"; }
wait_for() {
    for _ in $(seq 1 240); do
        screen | grep -qF "$1" && return 0
        sleep 0.5
    done
    echo "the console never showed: $1"
    screen
    exit 1
}

wait_for "Press any key to quit..."
shown=$(screen)
tmux send-keys -t "$session" x
wait_for "ZEMLO-EXIT:0"

status=0
if ! grep -qF "ProductName: $product_name" <<<"$shown"; then
    echo "the console does not show the product name as stored:"
    grep -F 'ProductName' <<<"$shown" || true
    status=1
fi
# The sections follow one another as in the log, line by line.
if ! grep -qx 'SHA2 support:' <<<"$shown"; then
    echo "the console does not show the report's lines:"
    printf '%s\n' "$shown"
    status=1
fi
[ "$status" -eq 0 ] && echo "the console shows \"$product_name\" as stored"
exit "$status"
