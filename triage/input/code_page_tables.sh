#!/bin/sh
# Writes OUT: for each single-byte Windows code page named, the code points
# of its bytes 0x80..0xFF as this host's iconv decodes them (0xFFFD where it
# maps none), one page a row. Builds whose platform may lack a page read it
# from these rows; nothing here is typed by hand.
set -eu
out=$1
shift
{
    echo "// Made by code_page_tables.sh from the build host's iconv."
    for page in "$@"; do
        # Each byte on a line of its own: iconv -c drops what it cannot map,
        # leaving the line empty, and no byte composes with the next.
        i=128
        bytes=""
        while [ $i -le 255 ]; do
            bytes="$bytes\\$(printf %o $i)\\n"
            i=$((i + 1))
        done
        # shellcheck disable=SC2059
        row=$(printf "$bytes" | { iconv -c -f "CP$page" -t UTF-32BE || true; } | od -An -v -tx1 | tr -d ' \n' |
            sed 's/0000000a/\n/g' | awk 'NR <= 128 { printf "%s0x%s", (NR > 1 ? ", " : ""), ($0 == "" ? "fffd" : substr($0, 5)) }')
        if [ "$(echo "$row" | tr ',' '\n' | wc -l)" -ne 128 ]; then
            echo "code_page_tables.sh: iconv gives no table for CP$page" >&2
            exit 1
        fi
        echo "    {$page, {$row}},"
    done
} >"$out.new"
mv "$out.new" "$out"
