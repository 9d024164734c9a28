#!/usr/bin/env bash
# zemlotriage.exe under Wine reads the golden transcripts and the real logs
# exactly as the native build does: same JSON records, same exit code.
set -euo pipefail
windows_exe=$1
native_exe=$2
repo=$3
real_logs=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

inputs=("$repo"/tests/golden/*.txt)
if [ -n "$real_logs" ] && compgen -G "$real_logs/*.txt" >/dev/null; then
    inputs+=("$real_logs"/*.txt)
fi
cp "${inputs[@]}" "$work/"
cd "$work"
names=()
for input in "${inputs[@]}"; do names+=("$(basename "$input")"); done
# The golden logs in zip archives, stored and deflated (the Windows build
# inflates with the zlib linked into it), and a mail with one attached.
mkdir archived
cp "$repo"/tests/golden/*.txt archived/
(cd archived && zip -q -0 ../stored.zip ./*.txt && zip -q -9 ../deflated.zip ./*.txt)
python3 - "$repo/tests/golden/troubled-pc.txt" mail.eml <<'PYTHON'
import sys
from email.message import EmailMessage
from email import policy
mail = EmailMessage()
mail['From'] = 'user@example.com'
mail.set_content('The log is attached.')
mail.add_attachment(open(sys.argv[1], 'rb').read().decode('utf-8-sig').encode('utf-16'), maintype='application',
                    subtype='octet-stream', filename='zemlodiag.txt')
open(sys.argv[2], 'wb').write(mail.as_bytes(policy=policy.SMTP))
PYTHON
# A stored entry with a byte changed after packing: each build's CRC-32
# (zlib's, linked into each) names it damaged, and only it.
cp stored.zip damaged.zip
python3 -c "import sys; b = bytearray(open(sys.argv[1], 'rb').read()); b[b.find(b'Windows')] ^= 0x20
open(sys.argv[1], 'wb').write(b)" damaged.zip
names+=(stored.zip deflated.zip mail.eml damaged.zip)
# A log in each code page a re-save can produce: the Windows build decodes
# them with MultiByteToWideChar, the native one with iconv.
while read -r page product; do
    tail -c +4 "$repo/tests/golden/troubled-pc.txt" | sed "s/Windows 7 Professional/Windows 7 $product/" |
        iconv -f UTF-8 -t "CP$page" >"cp$page.txt"
    names+=("cp$page.txt")
done <<'PAGES'
1252 Édition Intégrale
437 Édition Intégrale
850 Edição Profissional
866 Профессиональная
1250 Profesionální Přemysl Dvořák
1251 Профессиональная
1253 Επαγγελματική
1254 Profesyonel Sürüm İşyeri
1255 מקצועי
1256 احترافي
1257 Profesionalioji Jūratė Įmonė
1258 Chuyên nghiệp
874 รุ่นมืออาชีพ
852 Profesjonalny Łódź gęś
855 Професионално љубљана
932 プロフェッショナル
936 专业版
949 프로페셔널
950 專業版
PAGES

native_status=0
"$native_exe" --json "${names[@]}" >native.jsonl 2>native.err || native_status=$?
windows_status=0
"$repo/tests/harness/wine-run.sh" "$windows_exe" --json "${names[@]}" >windows.jsonl 2>windows.err || windows_status=$?
crc_lines() { grep -c 'damaged in the archive (CRC mismatch)' "$1" || true; }
if [ "$(crc_lines native.err)" != 1 ] || [ "$(crc_lines windows.err)" != 1 ]; then
    echo "the damaged entry was named $(crc_lines native.err) time(s) natively, $(crc_lines windows.err) under Wine" >&2
    cat native.err windows.err >&2
    exit 1
fi
if [ "$windows_status" -ne "$native_status" ]; then
    echo "exit code $windows_status under Wine, $native_status natively" >&2
    cat windows.err >&2
    exit 1
fi
if ! cmp -s native.jsonl windows.jsonl; then
    echo "the Windows build's records differ:" >&2
    diff native.jsonl windows.jsonl | head -20 >&2
    exit 1
fi
echo "$(wc -l <native.jsonl) records alike from ${#names[@]} logs"
