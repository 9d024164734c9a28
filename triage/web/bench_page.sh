#!/usr/bin/env bash
# The page's benchmark, not a test, in headless chromium (BROWSER=firefox:
# firefox-esr). Run after ./dev.sh build.
#   bench_page.sh [--count N] [--repeat R]
#       the first COUNT logs of the bench fleet (triage/bench), timed against
#       the command line on the same files: both wall times, their ratio and
#       the page's memory (defaults 1000 and 3);
#   bench_page.sh --big-mb M [--zip] [--repeat R]
#       one log of M MB (make_big_log.py; in a zip archive with --zip),
#       timed against the command line, with the browser's memory before, at
#       its peak and after the reading (default 1 round);
#   bench_page.sh --first-use [--repeat R]
#       navigation to the first board of one small log, a fresh browser and
#       profile each round (default 7 rounds).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build_root=${BUILD_ROOT:-$root/build}
mode=fleet
count=1000
repeat=
big_mb=
zipped=false
while (($# > 0)); do
    case $1 in
        --count) count=${2:?--count needs a number}; shift 2 ;;
        --repeat) repeat=${2:?--repeat needs a number}; shift 2 ;;
        --big-mb) mode=big; big_mb=${2:?--big-mb needs a size}; shift 2 ;;
        --zip) zipped=true; shift ;;
        --first-use) mode=first-use; shift ;;
        *) echo "usage: bench_page.sh [--count N | --big-mb M [--zip] | --first-use] [--repeat R]" >&2; exit 2 ;;
    esac
done
page=$root/dist/web/zemlotriage.html
triage=$root/dist/linux/zemlotriage
for built in "$page" "$triage"; do
    [ -s "$built" ] || { echo "bench_page: $built is missing: run ./dev.sh build" >&2; exit 1; }
done
node_dir=$build_root/web-bench/node
"$here/browser-test/install.sh" "$node_dir"
bench() { NODE_PATH= node "$node_dir/bench_page.mjs" "$page" "$triage" "$@"; }
case $mode in
    fleet)
        fleet=$(python3 "$root/triage/bench/make_fleet.py" --golden "$root/tests/golden" --cache-root "$build_root/bench" \
            --count "$count" --seed 12)
        bench fleet "$fleet/logs" "${repeat:-3}"
        ;;
    big)
        # Made once per size; the page reads it from disk as a user's file.
        logs=$build_root/web-bench/logs
        mkdir -p "$logs"
        log=$logs/big-$big_mb-mb.txt
        [ -s "$log" ] || python3 "$here/make_big_log.py" --size-mb "$big_mb" "$root/tests/golden/troubled-pc.txt" "$log"
        if $zipped; then
            [ -s "$log.zip" ] || (cd "$logs" && zip -q -6 "$log.zip" "$(basename "$log")")
            log=$log.zip
        fi
        bench big "$log" "${repeat:-1}"
        ;;
    first-use)
        bench first-use "$root/tests/golden/troubled-pc.txt" "${repeat:-7}"
        ;;
esac
