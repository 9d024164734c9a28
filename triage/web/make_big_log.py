#!/usr/bin/env python3
"""Writes a big zemlodiag log for the page's test and benchmark: a golden
transcript (UTF-8 with a BOM) as the diagnostic writes it (UTF-16LE with a
BOM), with HOSTS_LINES more lines in its hosts file, or as SIZE_MB of it
with its hosts file grown to that size.

    make_big_log.py (--hosts-lines N | --size-mb M) TRANSCRIPT OUT
"""

import argparse
import codecs

MARK = "::1 localhost\r\n"


def main():
    parser = argparse.ArgumentParser()
    group = parser.add_mutually_exclusive_group(required=True)
    group.add_argument("--hosts-lines", type=int)
    group.add_argument("--size-mb", type=float)
    parser.add_argument("transcript")
    parser.add_argument("out")
    args = parser.parse_args()
    text = open(args.transcript, encoding="utf-8-sig", newline="").read()
    at = text.index(MARK) + len(MARK)
    head, tail = text[:at].encode("utf-16-le"), text[at:].encode("utf-16-le")
    line = lambda i: ("0.0.0.0 ads-%07d.tracker.example\r\n" % i).encode("utf-16-le")
    lines = args.hosts_lines
    if lines is None:
        lines = max(0, int((args.size_mb * 1e6 - len(head) - len(tail)) // len(line(0))))
    with open(args.out, "wb") as out:
        out.write(codecs.BOM_UTF16_LE + head)
        block = 100000
        for start in range(0, lines, block):
            out.write(b"".join(line(i) for i in range(start, min(lines, start + block))))
        out.write(tail)


if __name__ == "__main__":
    main()
