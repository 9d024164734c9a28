#!/usr/bin/env bash
# Runs two builds of zemlotriage on the same logs and compares every output
# byte for byte: the text summary, --json, --csv, the --html page, standard
# error and the exit code. A change meant to keep the output (a restructure,
# a speed-up) is checked against the binary from before it.
#
#   triage/compare_outputs.sh OLD NEW [--no-fleet]
#
# The logs: tests/golden/*.txt one by one and together, the same converted to
# UTF-16 (as the diagnostic writes them), the real program's logs kept by the
# whole-report tests ($ZEMLO_KEEP_REPORTS, default build/real-reports), and
# the bench fleet (10,000 logs, generated and cached under build/bench).
# Each build names its version in its outputs (reader_version); that name,
# as its --version gives it, is read as VERSION, so two commits compare.
set -euo pipefail
old=$(realpath "${1:?usage: compare_outputs.sh OLD NEW [--no-fleet]}")
new=$(realpath "${2:?usage: compare_outputs.sh OLD NEW [--no-fleet]}")
fleet_too=${3:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
build_root=${BUILD_ROOT:-$root/build}
real_reports=${ZEMLO_KEEP_REPORTS:-$build_root/real-reports}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/utf16"
for file in "$root"/tests/golden/*.txt; do
    iconv -f UTF-8 -t UTF-16 "$file" >"$work/utf16/$(basename "$file")"
done

# The version a build says it is; empty for one from before --version.
version_of() { "$1" --version 2>/dev/null | sed -n 's/^zemlotriage //p' || true; }
old_version=$(version_of "$old")
new_version=$(version_of "$new")

compared=0
differences=0
# compare NAME ARGS...: every format of both binaries on ARGS.
compare() {
    local name=$1
    shift
    local format side exe
    for format in text json csv html; do
        for side in old new; do
            exe=$old
            [ "$side" = new ] && exe=$new
            local out="$work/$side.out" err="$work/$side.err" page="$work/$side.html" status=0
            rm -f "$page"
            case $format in
                text) "$exe" "$@" >"$out" 2>"$err" || status=$? ;;
                json) "$exe" --json "$@" >"$out" 2>"$err" || status=$? ;;
                csv) "$exe" --csv "$@" >"$out" 2>"$err" || status=$? ;;
                html) "$exe" --html "$page" "$@" >"$out" 2>"$err" || status=$? ;;
            esac
            echo "$status" >>"$err"
            [ "$format" != html ] || cat "$page" >>"$out" 2>/dev/null || true
            local version=$old_version
            [ "$side" = new ] && version=$new_version
            [ -z "$version" ] || VERSION=$version perl -pi -e 's/\Q$ENV{VERSION}\E/VERSION/g' "$out"
        done
        compared=$((compared + 1))
        if ! cmp -s "$work/old.out" "$work/new.out" || ! cmp -s "$work/old.err" "$work/new.err"; then
            differences=$((differences + 1))
            echo "DIFFERS: $name, $format" >&2
            diff <(cat "$work/old.out" "$work/old.err") <(cat "$work/new.out" "$work/new.err") | head -n 10 >&2 || true
        fi
    done
}

for file in "$root"/tests/golden/*.txt "$work"/utf16/*.txt; do
    compare "$(basename "$(dirname "$file")")/$(basename "$file")" "$file"
done
compare "golden, all" "$root"/tests/golden/*.txt
compare "golden UTF-16, all, twice" "$work"/utf16 "$work"/utf16
if compgen -G "$real_reports/*" >/dev/null; then
    echo "real logs: $(find "$real_reports" -type f | wc -l) files in $real_reports"
    compare "real logs" "$real_reports"
else
    echo "no real logs in $real_reports: run ./dev.sh test golden first" >&2
    differences=$((differences + 1))
fi
if [ "$fleet_too" != --no-fleet ]; then
    fleet=$(python3 "$here/bench/make_fleet.py" --golden "$root/tests/golden" --cache-root "$build_root/bench" \
        --count 10000 --seed 12)
    echo "fleet: $(find "$fleet" -type f | wc -l) files in $fleet"
    compare "bench fleet" "$fleet"
fi
echo "$compared comparisons, $differences differ"
[ "$differences" -eq 0 ]
