#!/usr/bin/env bash
# The page in headless chromium (or firefox-esr, with BROWSER=firefox) against
# the command line on the same logs:
# the golden transcripts in each encoding the page must read, one with a
# Cyrillic product name, a file that is not a report, a console capture to
# paste, a zip archive (and one with an entry damaged) and a saved mail, and a folder of every kind dropped on it. Installs the browser driver into OUT at the first run.
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
# Code pages: one the browser decodes (1251), one it lacks, read from the
# tables made at build time (852), a double-byte one (932), and a log
# double-encoded through Latin-1 on its way.
tail -c +4 "$golden/troubled-pc.txt" | sed 's/ProductName: Windows 7 Professional/ProductName: Windows 7 Профессиональная/' |
    iconv -f UTF-8 -t CP1251 >"$inputs/ansi-cp1251.txt"
tail -c +4 "$golden/troubled-pc.txt" | sed 's/proxy.corp.example/proxy.łódź-gęś.example/' |
    iconv -f UTF-8 -t CP852 >"$inputs/oem-cp852.txt"
tail -c +4 "$golden/troubled-pc.txt" | sed 's/ProductName: Windows 7 Professional/ProductName: Windows 7 プロフェッショナル/' |
    iconv -f UTF-8 -t CP932 >"$inputs/ansi-cp932.txt"
tail -c +4 "$golden/troubled-pc.txt" | sed 's/ProductName: Windows 7 Professional/ProductName: Windows 7 Édition Intégrale/' |
    iconv -f UTF-8 -t LATIN1 | iconv -f LATIN1 -t UTF-8 | iconv -f LATIN1 -t UTF-8 >"$inputs/double-encoded-utf8.txt"
# Inputs that once stopped the reader: a line of 22,000 CJK characters, past
# the decoder's cut, and a log with random bytes after it. And a log with
# markup in its fields and its name, with its harmless twin.
python3 - "$golden/troubled-pc.txt" "$inputs" <<'PYTHON'
import random, sys
text = open(sys.argv[1], encoding='utf-8-sig', newline='').read()
inputs = sys.argv[2]
log = text.replace('\r\nOS version', '\r\nx' + '\u4e2d' * 22000 + '\r\nOS version', 1)
open(f'{inputs}/long-line-utf16le.txt', 'wb').write(b'\xff\xfe' + log.encode('utf-16-le'))
random.seed(1)
log = b'\xff\xfe' + text.encode('utf-16-le')
open(f'{inputs}/random-tail.txt', 'wb').write(log + random.randbytes(120000 - len(log)))
for name, payload in [('hostile', "<img src=x onerror=document.title='owned'>\"'&lt;"),
                      ('harmless', 'Ximg src x onerror document.title owned X X lt')]:
    log = text
    for old in ['Windows 7 Professional', '10.0.0.1:3128', '# 203.0.113.9 updates.zemlo-eu.example']:
        log = log.replace(old, old + ' ' + payload)
    log = log.replace('\r\nOS version', '\r\n' + payload + '\r\nOS version', 1)
    open(f'{inputs}/markup-{name}-{payload.replace("/", "")}.txt'[:200], 'w', encoding='utf-8', newline='').write(log)
PYTHON
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
# A zip archive (deflated, the logs in folders, a Word document refused) and a
# saved mail with the log attached as the program wrote it.
mkdir -p "$inputs/archive/pc-2" "$inputs/archive/pc-1"
iconv -f UTF-8 -t UTF-16LE "$golden/troubled-pc.txt" >"$inputs/archive/pc-2/zemlodiag.txt"
cp "$golden/clean-pc.txt" "$inputs/archive/pc-1/zemlodiag.LOG"
printf 'not read' >"$inputs/archive/notes.docx"
(cd "$inputs/archive" && zip -q -9 -r ../logs.zip pc-2 notes.docx pc-1)
rm -rf "$inputs/archive"
# A stored entry with a byte changed after packing: its CRC-32 no longer
# matches, which the page must say as the command line does.
mkdir -p "$inputs/damaged"
cp "$golden/fix-on-clean-pc.txt" "$inputs/damaged/zemlodiag.txt"
(cd "$inputs/damaged" && zip -q -0 ../damaged.zip zemlodiag.txt)
rm -rf "$inputs/damaged"
python3 -c "import sys; b = bytearray(open(sys.argv[1], 'rb').read()); i = b.find(b'Windows'); b[i] ^= 0x20
open(sys.argv[1], 'wb').write(b)" "$inputs/damaged.zip"
python3 - "$golden/old-windows-pc.txt" "$inputs/mail.eml" <<'PYTHON'
import sys
from email.message import EmailMessage
from email import policy
mail = EmailMessage()
mail['From'] = 'user@example.com'
mail['Subject'] = 'zemlodiag'
mail.set_content('The log is attached.')
mail.add_attachment(open(sys.argv[1], 'rb').read().decode('utf-8-sig').encode('utf-16'), maintype='application',
                    subtype='octet-stream', filename='zemlodiag (Kopie \u00fc).txt')
open(sys.argv[2], 'wb').write(mail.as_bytes(policy=policy.SMTP))
PYTHON
printf '%s\n' old-windows-utf16le.txt clean-utf16be.txt long-line-utf16le.txt two-runs-utf8.txt not-a-report.txt \
    random-tail.txt cyrillic-utf16le.txt hostile-utf16le.txt cut-short.txt logs.zip mail.eml damaged.zip \
    ansi-cp1251.txt oem-cp852.txt ansi-cp932.txt double-encoded-utf8.txt >"$inputs/order.txt"
# A log of many slices: a hosts file of 150,000 lines (about 12 MB in UTF-16).
python3 "$here/make_big_log.py" --hosts-lines 150000 "$golden/troubled-pc.txt" "$inputs/big-hosts.txt"
# A zip archive of a few MB, read from its file in pieces: a log of 40,000
# hosts lines deflated (.txt) and stored (.log, which -n leaves unpacked).
python3 "$here/make_big_log.py" --hosts-lines 40000 "$golden/troubled-pc.txt" "$inputs/mid-hosts.txt"
cp "$inputs/mid-hosts.txt" "$inputs/mid-hosts.log"
(cd "$inputs" && zip -q -9 -n .log big-archive.zip mid-hosts.txt mid-hosts.log)
rm "$inputs/mid-hosts.txt" "$inputs/mid-hosts.log"
# The folder to drop: every kind that is read, in any letter case, made out
# of name order so that a page reading in the browser's order shows.
fleet=$out/fleet
rm -rf "$fleet"
mkdir -p "$fleet/m-folder"
cp "$golden/troubled-pc.txt" "$fleet/z-last.txt"
cp "$golden/clean-pc.txt" "$fleet/m-folder/inner.log"
cp "$golden/old-windows-pc.txt" "$fleet/A-first.TXT"
cp "$inputs/logs.zip" "$fleet/c-archive.ZIP"
cp "$inputs/mail.eml" "$fleet/b-mail.eml"
cp "$golden/two-runs-one-log.txt" "$fleet/k-middle.txt"
printf 'not a log kind' >"$fleet/d-notes.md"
# What a console window shows: the report between the banners.
sed -n '/^OS version:/,/^Press any key to quit/p' "$golden/troubled-pc.txt" >"$inputs/console.txt"

NODE_PATH= node "$node_dir/page_test.mjs" "$page" "$triage" "$inputs" "$fleet" "$out"
