#!/usr/bin/env bash
# The page in headless chromium (or firefox-esr, with BROWSER=firefox) against
# the command line on the same logs:
# the golden transcripts in each encoding the page must read, one with a
# Cyrillic product name, a file that is not a report, a console capture to
# paste, and the golden folder dropped on it. Installs the browser driver into OUT at the first run.
#   page_test.sh PAGE ZEMLOTRIAGE REPO OUT
set -euo pipefail
page=$1
triage=$2
repo=$3
out=$4
here=$(cd "$(dirname "$0")" && pwd)
golden=$repo/tests/golden
[ -s "$page" ] || { echo "no page at $page: ./dev.sh build makes it" >&2; exit 1; }

node_dir=$out/node
"$here/browser-test/install.sh" "$node_dir"

inputs=$out/inputs
rm -rf "$inputs"
mkdir -p "$inputs"
# The golden files are UTF-8 with a byte-order mark, which iconv carries over.
iconv -f UTF-8 -t UTF-16LE "$golden/old-windows-pc.txt" >"$inputs/old-windows-utf16le.txt"
iconv -f UTF-8 -t UTF-16BE "$golden/clean-pc.txt" >"$inputs/clean-utf16be.txt"
tail -c +4 "$golden/two-runs-one-log.txt" >"$inputs/two-runs-utf8.txt"
sed 's/ProductName: Windows 7 Professional/ProductName: Windows 7 Профессиональная/' "$golden/troubled-pc.txt" |
    iconv -f UTF-8 -t UTF-16LE >"$inputs/cyrillic-utf16le.txt"
printf 'Shopping list\r\n\r\nmilk\r\nbread\r\n' >"$inputs/not-a-report.txt"
# A log hostile to reading: a right-to-left override in the proxy's value
# (it would show as "proxy.corp.example:8080"exe.jpg), a product name of
# 5,000 letters and a hosts line of 20,000 without a break.
rlo=$'\xe2\x80\xae'
long_name=$(head -c 5000 /dev/zero | tr '\0' W)
long_word=$(head -c 20000 /dev/zero | tr '\0' x)
sed -e "s/proxy.corp.example:8080/proxy.corp.example:8080${rlo}gpj.exe/" \
    -e "s/ProductName: Windows 7 Professional/ProductName: Windows 7 $long_name/" \
    -e "s/^127.0.0.1 localhost/127.0.0.1 localhost #$long_word/" "$golden/troubled-pc.txt" |
    iconv -f UTF-8 -t UTF-16LE >"$inputs/hostile-utf16le.txt"
# A run cut short inside the proxy section: the checks after it not reached.
sed '/^Proxy detection:/q' "$golden/clean-pc.txt" >"$inputs/cut-short.txt"
printf '%s\n' old-windows-utf16le.txt clean-utf16be.txt two-runs-utf8.txt not-a-report.txt cyrillic-utf16le.txt \
    hostile-utf16le.txt cut-short.txt >"$inputs/order.txt"
# What a console window shows: the report between the banners.
sed -n '/^OS version:/,/^Press any key to quit/p' "$golden/troubled-pc.txt" >"$inputs/console.txt"

NODE_PATH= node "$node_dir/page_test.mjs" "$page" "$triage" "$inputs" "$golden" "$out"
