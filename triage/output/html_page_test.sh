#!/usr/bin/env bash
# The fleet page, loaded in headless Chromium: it renders its boards and the
# browser's console stays silent (the page forbids every outside request, so
# one would show there too). Leaves a screenshot beside the page.
set -euo pipefail
triage_exe=$1
repo=$2
out=$3
mkdir -p "$out"
page="$out/fleet.html"
"$triage_exe" --html "$page" "$repo/tests/golden" >/dev/null
browser=(chromium --headless --disable-gpu --no-sandbox --hide-scrollbars --enable-logging=stderr --v=0)
timeout 120 "${browser[@]}" --dump-dom "file://$page" >"$out/dom.html" 2>"$out/console.log"
timeout 120 "${browser[@]}" --window-size=1200,1800 --screenshot="$out/fleet.png" "file://$page" \
    >/dev/null 2>>"$out/console.log"
status=0
if grep -q ':CONSOLE' "$out/console.log"; then
    echo "the page wrote to the console:" >&2
    grep ':CONSOLE' "$out/console.log" >&2
    status=1
fi
for expected in 'Fleet: 7 runs' 'id="run-6"' 'chain-untrusted' '<svg'; do
    if ! grep -q -- "$expected" "$out/dom.html"; then
        echo "the rendered page lacks $expected" >&2
        status=1
    fi
done
[ -s "$out/fleet.png" ] || { echo "no screenshot" >&2; status=1; }
[ "$status" -ne 0 ] || echo "page rendered without console messages; screenshot $out/fleet.png"
exit $status
