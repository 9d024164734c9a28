#!/usr/bin/env bash
# What a user sees in a real console: the report's own characters, not the
# '?' of a code-page conversion. The program runs under Wine in a terminal
# multiplexer, started through cmd as at a prompt; the screen is read back.
#   usage: console_echo_test.sh <wine-run.sh> <zemlodiag.exe>
set -euo pipefail
wine_run=$(realpath "$1")
# A 32-bit program on a host without 32-bit code: says so, exits 77 (skipped).
"$wine_run" --can-run "$2" || exit
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
# A hosts file that names the vendor's domain is shown whole: longer than
# one piece of console output, each numbered line must show exactly once.
{
    printf '203.0.113.9 zemlo.example\r\n'
    for line in $(seq 1000 1299); do printf '# line %s %s\r\n' "$line" "$(printf '%060d' 0)"; done
} >"$work/hosts"
hosts_win="Z:$(tr / '\\' <<<"$work/hosts")"
cat >"$work/run.sh" <<SCRIPT
export LANG=C.UTF-8 ZEMLO_WINE_INTERACTIVE=1
"$wine_run" cmd.exe /c "reg import $seed_win /reg:64 & copy /y $hosts_win C:\\windows\\system32\\drivers\\etc\\hosts >nul & mkdir C:\\zd & copy /y $exe_win C:\\zd\\zemlodiag.exe >nul & cd /d C:\\zd & zemlodiag"
echo "ZEMLO-EXIT:\$?"
sleep 600
SCRIPT
printf 'set -g history-limit 20000\n' >"$work/tmux.conf"
tmux -f "$work/tmux.conf" new-session -d -s "$session" -x 250 -y 80 "bash $work/run.sh"

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
# Between the two rules: the file, line for line (trailing empty lines aside).
framed=$(sed -n '/^==================$/,/^==================$/p' <<<"$shown" | sed '1d;$d')
if [ "$framed" != "$(tr -d '\r' <"$work/hosts")" ]; then
    echo "the console does not show the hosts file as it is:"
    diff <(printf '%s\n' "$framed") <(tr -d '\r' <"$work/hosts") | head -20 || true
    status=1
fi
[ "$status" -eq 0 ] && echo "the console shows \"$product_name\" as stored"
exit "$status"
