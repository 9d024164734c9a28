#!/bin/sh
# Writes OUT: for each double-byte Windows code page named, as this host's
# iconv decodes them, the code point of each byte 0x80..0xFF alone and of
# each pair of a byte 0x81..0xFE and a byte 0x40..0xFE (0 where iconv maps
# none), one page a row. For a build without a converter of its own;
# nothing here is typed by hand.
set -eu
# Bytes, not characters, from awk's printf "%c".
export LC_ALL=C
out=$1
shift
# Each input line's code point, or 0. A line is its bytes, two blanks and a
# line end: iconv -c may skip a byte it cannot pair together with the one
# after it, which is then a blank, never the line end.
code_points() {  # PAGE
    { iconv -c -f "CP$1" -t UTF-32BE || true; } | od -An -v -tx1 | tr -d ' \n' | sed 's/0000000a/\n/g' |
        sed 's/\(00000020\)*$//' | awk '{ print (length($0) == 8 && substr($0, 1, 4) == "0000") ? substr($0, 5) : "0" }'
}
{
    echo "// Made by code_page_double_tables.sh from the build host's iconv."
    for page in "$@"; do
        singles=$(awk 'BEGIN { for (b = 128; b < 256; ++b) printf "%c  \n", b }' | code_points "$page" | tr '\n' ' ')
        awk 'BEGIN { for (l = 129; l < 255; ++l) for (t = 64; t < 255; ++t) printf "%c%c  \n", l, t }' |
            code_points "$page" |
            awk -v page="$page" -v singles="$singles" '
                BEGIN {
                    if (split(singles, single, " ") != 128) {
                        print "code_page_double_tables.sh: iconv gives no table for CP" page > "/dev/stderr"
                        exit 1
                    }
                    printf "    {%s, {", page
                    for (i = 1; i <= 128; ++i) printf "%s0x%s", (i > 1 ? ", " : ""), single[i]
                    printf "},\n     {"
                }
                {
                    lead = 129 + int((NR - 1) / 191)
                    trail = 64 + (NR - 1) % 191
                    alone = trail < 128 ? sprintf("%04x", trail) : single[trail - 127]
                    # A byte that is a character alone leads no pair; and the
                    # trail byte read alone is what iconv left of a pair it
                    # could not read. Compared as strings: "00e1" is a number.
                    paired = (single[lead - 127] "") == "0" && ($0 "") != (alone "")
                    printf "%s0x%s", (NR > 1 ? ", " : ""), (paired ? $0 : "0")
                }
                END {
                    if (NR != 126 * 191) {
                        print "code_page_double_tables.sh: iconv gives no table for CP" page > "/dev/stderr"
                        exit 1
                    }
                    printf "}},\n"
                }'
    done
} >"$out.new"
mv "$out.new" "$out"
