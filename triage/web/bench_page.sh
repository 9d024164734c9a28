#!/usr/bin/env bash
# The page's benchmark, not a test: the page reads the first COUNT logs of
# the bench fleet (triage/bench) in headless chromium (BROWSER=firefox:
# firefox-esr), timed against the command line on the same files; prints
# both wall times, their ratio and the page's memory. Run after ./dev.sh build.
#   bench_page.sh [--count N] [--repeat R]   (defaults 1000 and 3)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build_root=${BUILD_ROOT:-$root/build}
count=1000
repeat=3
while (($# > 0)); do
    case $1 in
        --count) count=${2:?--count needs a number}; shift 2 ;;
        --repeat) repeat=${2:?--repeat needs a number}; shift 2 ;;
        *) echo "usage: bench_page.sh [--count N] [--repeat R]" >&2; exit 2 ;;
    esac
done
page=$root/dist/web/zemlotriage.html
triage=$root/dist/linux/zemlotriage
for built in "$page" "$triage"; do
    [ -s "$built" ] || { echo "bench_page: $built is missing: run ./dev.sh build" >&2; exit 1; }
done
fleet=$(python3 "$root/triage/bench/make_fleet.py" --golden "$root/tests/golden" --cache-root "$build_root/bench" \
    --count "$count" --seed 12)
node_dir=$build_root/web-bench/node
"$here/browser-test/install.sh" "$node_dir"
NODE_PATH= node "$node_dir/bench_page.mjs" "$page" "$triage" "$fleet/logs" "$repeat"
