#!/bin/sh
# The guide's example log must be the troubled-PC transcript that the
# end-to-end tests hold the program to, so that the guide never shows a report
# the program no longer writes. The guide shows real times and LF line ends;
# the transcript masks the time digits and keeps the log's BOM and CRLF.
# Usage: guide_example_test.sh SOURCE_DIR
set -eu
source_dir=${1:?source directory}
guide=$source_dir/docs/reading-the-report.md
transcript=$source_dir/tests/golden/troubled-pc.txt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

awk '/^## An example$/ { section = 1; next }
     section && /^```$/ { if (inside) exit; inside = 1; next }
     inside { print }' "$guide" |
    sed -E 's/^(Log start time: |Log end time: |System time is: )[0-9]{4}\.[0-9]{2}\.[0-9]{2} [0-9]{2}:[0-9]{2}\.[0-9]{2}$/\1####.##.## ##:##.##/' \
        >"$work/guide"
sed -e '1s/^\xEF\xBB\xBF//' -e 's/\r$//' "$transcript" >"$work/transcript"

if [ ! -s "$work/guide" ]; then
    echo "no example block under '## An example' in $guide" >&2
    exit 1
fi
if ! diff -u "$work/transcript" "$work/guide"; then
    echo "the example in $guide differs from $transcript (diff: transcript -> guide)" >&2
    exit 1
fi
