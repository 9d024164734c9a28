# zemlotriage's build, test and fuzz steps; sourced by dev.sh, which sets
# $root and $build_root. Needs nlohmann-json3-dev libcli11-dev libutfcpp-dev
# (all), clang libfuzzer-14-dev libclang-rt-14-dev (fuzzing), emscripten (the
# web page), chromium, firefox-esr and npm (the page checks).

# The diagnostic's whole-report tests keep their logs here (UTF-16, real
# times) for zemlotriage's tests to read.
export ZEMLO_KEEP_REPORTS=${ZEMLO_KEEP_REPORTS:-$build_root/real-reports}
mkdir -p "$ZEMLO_KEEP_REPORTS"

# Every build gets the release version, as the diagnostic's do.
triage_configure() {  # DIR [CMAKE ARGS...]
    local dir=$1
    shift
    cmake -S "$root/triage" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DZEMLO_VERSION="$(release_version)" "$@" >/dev/null
}

# The native build is the release's Linux binary, linked statically; the
# tests run it as it ships.
triage_build() {
    triage_configure "$build_root/triage-linux" -DTRIAGE_STATIC=ON
    cmake --build "$build_root/triage-linux" -j 2 --target zemlotriage
    mkdir -p "$root/dist/linux"
    cp "$build_root/triage-linux/zemlotriage" "$root/dist/linux/zemlotriage"
    strip "$root/dist/linux/zemlotriage"

    triage_configure "$build_root/triage-x64" --toolchain "$root/cmake/toolchains/mingw-x64-posix.cmake" -DTRIAGE_TESTS=OFF
    cmake --build "$build_root/triage-x64" -j 2 --target zemlotriage
    mkdir -p "$root/dist/x64"
    cp "$build_root/triage-x64/zemlotriage.exe" "$root/dist/x64/zemlotriage.exe"
    x86_64-w64-mingw32-strip "$root/dist/x64/zemlotriage.exe"
}

# dist/web/zemlotriage.html: the reader compiled with emscripten into one
# page. Needs emscripten; nothing else here does.
triage_web_build() {
    if ! command -v emcmake >/dev/null; then
        echo "dev.sh: emcmake is missing, so the web page cannot be built: install emscripten" >&2
        return 1
    fi
    # emscripten's tools find Debian's JavaScript modules (acorn) only through this.
    local -x NODE_PATH=/usr/share/nodejs
    emcmake cmake -S "$root/triage" -B "$build_root/triage-web" -DCMAKE_BUILD_TYPE=Release -DTRIAGE_TESTS=OFF \
        -DZEMLO_VERSION="$(release_version)" >/dev/null
    cmake --build "$build_root/triage-web" -j 2 --target zemlotriage_page
    mkdir -p "$root/dist/web"
    cp "$build_root/triage-web/web/zemlotriage.html" "$root/dist/web/zemlotriage.html"
}

# Native tests, the same tests built with the sanitizers, the Windows build
# under Wine, and a short fuzz run. With a REGEX, only the matching native
# tests; returns 3 when none matches.
triage_test() {  # [REGEX]
    local filter=${1:-}
    local status=0
    triage_configure "$build_root/triage-linux" -DTRIAGE_STATIC=ON -DTRIAGE_WINDOWS_EXE="$root/dist/x64/zemlotriage.exe" \
        -DTRIAGE_REAL_LOGS="$ZEMLO_KEEP_REPORTS" -DTRIAGE_WEB_PAGE="$root/dist/web/zemlotriage.html"
    cmake --build "$build_root/triage-linux" -j 2
    if [ -n "$filter" ] && [ "$(cd "$build_root/triage-linux" && ctest -N -R "$filter" | sed -n 's/^Total Tests: //p')" = 0 ]; then
        echo "no zemlotriage test matches $filter"
        return 3
    fi
    (cd "$build_root/triage-linux" && ctest --output-on-failure -j 2 --timeout 300 ${filter:+-R "$filter"}) || status=1
    [ -z "$filter" ] || return $status

    triage_configure "$build_root/triage-sanitize" -DCMAKE_BUILD_TYPE=Debug -DTRIAGE_SANITIZE=ON \
        -DTRIAGE_REAL_LOGS="$ZEMLO_KEEP_REPORTS" \
        -DCMAKE_CXX_COMPILER=clang++
    cmake --build "$build_root/triage-sanitize" -j 2 --target triage_tests
    (cd "$build_root/triage-sanitize" && ctest --output-on-failure -j 2 --timeout 300 -E WindowsExe) || status=1

    triage_fuzz "${TRIAGE_FUZZ_SECONDS:-30}" || status=1
    return $status
}

triage_fuzz() {  # [SECONDS]
    local seconds=${1:-60}
    triage_configure "$build_root/triage-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRIAGE_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++
    cmake --build "$build_root/triage-fuzz" -j 2 --target triage_fuzz
    local corpus="$build_root/triage-fuzz/corpus"
    mkdir -p "$corpus"
    cp "$root"/tests/golden/*.txt "$corpus/"
    # The diagnostic's own encoding as seeds too.
    for file in "$root"/tests/golden/*.txt; do
        iconv -f UTF-8 -t UTF-16 "$file" >"$corpus/$(basename "$file" .txt).utf16"
    done
    triage_mangled_seeds "$root/tests/golden/troubled-pc.txt" "$root/tests/golden/old-windows-pc.txt" "$corpus"
    triage_long_line_seeds "$root/tests/golden/troubled-pc.txt" "$corpus"
    echo "fuzzing the reader for $seconds s"
    local fuzz_status=0
    # Inputs up to 4 MiB: a line past the decoder's 64 KiB cut, or a log with
    # junk after it, needs far more than 64 KiB.
    "$build_root/triage-fuzz/triage_fuzz" -max_total_time="$seconds" -max_len=4194304 -timeout=20 \
        -rss_limit_mb=2048 -print_final_stats=1 "$corpus" 2>"$build_root/triage-fuzz/fuzz.log" || fuzz_status=$?
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|==[0-9]+==ERROR|SUMMARY)' "$build_root/triage-fuzz/fuzz.log" || true
    return $fuzz_status
}

# A log as the tools between the user and support leave it: a crash's zero
# tail, a re-save as UTF-8 with a run appended in UTF-16LE, copy /b, cmd's
# type on OEM code pages, an "ANSI" re-save in a double-byte page, text
# double-encoded through Latin-1, a quoted-printable mail, reply quoting, a web form's
# no-break spaces, a mail client's hard wraps at 76 columns, a saved mail
# with attachments (named in encoded words, quoted-printable UTF-16 too), zip
# archives (one with an entry damaged), blanks taken off or added at line
# ends, a Markdown code block, a console window's copy, a printed log's text,
# a ticket's HTML export, 8-bit text echoed between runs, logs joined into
# one file with UTF-8 and UTF-16LE by turns.
triage_mangled_seeds() {  # TRANSCRIPT OTHER_TRANSCRIPT DIR
    local a=$1 b=$2 dir=$3
    local text
    text=$(mktemp)
    tail -c +4 "$a" >"$text"  # without the transcript's BOM
    { iconv -f UTF-8 -t UTF-16 "$text"; head -c 512 /dev/zero; } >"$dir/zero-tail.mangled"
    { cat "$text"; tail -c +4 "$b" | iconv -f UTF-8 -t UTF-16LE; } >"$dir/resaved-then-appended.mangled"
    { iconv -f UTF-8 -t UTF-16 "$text"; tail -c +4 "$b" | iconv -f UTF-8 -t UTF-16; } >"$dir/copy-b.mangled"
    sed 's/Windows 7 Professional/Windows 7 Профессиональная/' "$text" | iconv -f UTF-8 -t CP866 >"$dir/type-cp866.mangled"
    sed 's/Windows 7 Professional/Windows 7 Edição Profissional/' "$text" | iconv -f UTF-8 -t CP850 >"$dir/type-cp850.mangled"
    sed 's/proxy.corp.example/proxy.zürich.example/' "$text" | iconv -f UTF-8 -t CP437 >"$dir/type-cp437.mangled"
    sed 's/Windows 7 Professional/Windows 7 プロフェッショナル/' "$text" | iconv -f UTF-8 -t CP932 >"$dir/ansi-cp932.mangled"
    sed 's/Windows 7 Professional/Windows 7 Édition Intégrale/' "$text" | iconv -f UTF-8 -t CP1252 | iconv -f CP1252 -t UTF-8 |
        iconv -f LATIN1 -t UTF-8 >"$dir/double-encoded.mangled"
    { printf 'Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n'
      tr -d '\r' <"$text" | perl -MMIME::QuotedPrint -0777 -ne 'print encode_qp($_, "\r\n")'; } >"$dir/mail-qp.mangled"
    { printf 'On Tue, user wrote:\r\n'; sed 's/^\r$/>\r/; t; s/^/> /' "$text"; } >"$dir/reply-quoted.mangled"
    sed 's/  /\xC2\xA0 /g' "$text" >"$dir/web-form-nbsp.mangled"
    tr -d '\r' <"$text" | fold -s -w 76 | sed 's/$/\r/' >"$dir/mail-wrapped.mangled"
    # Containers: a saved mail with the log attached (UTF-16LE, base64) and a
    # forwarded message, and zip archives, stored and deflated.
    python3 - "$text" "$b" "$dir" <<'PYTHON'
import sys, zipfile
from email.message import EmailMessage
from email import policy
text = open(sys.argv[1], 'rb').read()
other = open(sys.argv[2], 'rb').read()[3:]
forwarded = EmailMessage()
forwarded['From'] = 'pc@example.com'
forwarded.set_content(other.decode(), cte='quoted-printable')
mail = EmailMessage()
mail['From'] = 'user@example.com'
mail['Subject'] = 'zemlodiag'
mail.set_content('The log is attached.')
mail.add_attachment(b'\xff\xfe' + text.decode().encode('utf-16-le'), maintype='application',
                    subtype='octet-stream', filename='zemlodiag.txt')
mail.add_attachment(forwarded)
open(sys.argv[3] + '/mail-attached.mangled', 'wb').write(mail.as_bytes(policy=policy.SMTP))
for name, method in (('stored', zipfile.ZIP_STORED), ('deflated', zipfile.ZIP_DEFLATED)):
    with zipfile.ZipFile(sys.argv[3] + '/archive-' + name + '.mangled', 'w', method) as archive:
        archive.writestr('pc1/zemlodiag.txt', b'\xff\xfe' + text.decode().encode('utf-16-le'))
        archive.writestr('pc2/zemlodiag.log', other)
        archive.writestr('notes.docx', b'not read')
# A byte changed after packing: the entry's CRC-32 no longer matches.
damaged = bytearray(open(sys.argv[3] + '/archive-stored.mangled', 'rb').read())
damaged[damaged.find(b'Windows')] ^= 0x20
open(sys.argv[3] + '/archive-damaged.mangled', 'wb').write(damaged)
# Names that are not ASCII, encoded as mail programs do, on attachments in
# quoted-printable UTF-16LE (zeros as "=00", soft breaks inside characters).
from email.mime.multipart import MIMEMultipart
from email.mime.application import MIMEApplication
from email.header import Header
log16 = b'\xff\xfe' + text.decode().encode('utf-16-le')
mail = EmailMessage()
mail['From'] = 'user@example.com'
mail.set_content('Logs attached.')
mail.add_attachment(log16, maintype='text', subtype='plain', filename='zemlodiag kopie \u00fc.txt',
                    cte='quoted-printable')
mail.add_attachment(other.decode().encode('utf-16-le'), maintype='text', subtype='plain', cte='quoted-printable',
                    params={'charset': 'utf-16le'})
open(sys.argv[3] + '/mail-quoted-utf16.mangled', 'wb').write(mail.as_bytes(policy=policy.SMTP))
mail = MIMEMultipart()
mail['From'] = 'user@example.com'
attached = MIMEApplication(log16, 'octet-stream')
attached.add_header('Content-Disposition', 'attachment',
                    filename=Header('\u0436\u0443\u0440\u043d\u0430\u043b zemlodiag.txt', 'utf-8', maxlinelen=30).encode())
mail.attach(attached)
open(sys.argv[3] + '/mail-encoded-names.mangled', 'wb').write(mail.as_bytes(policy=policy.compat32.clone(linesep='\r\n')))
PYTHON
    # Logs joined into one file, UTF-8 and UTF-16LE by turns.
    { cat "$text"; iconv -f UTF-8 -t UTF-16LE "$text"; tail -c +4 "$b"; tail -c +4 "$b" | iconv -f UTF-8 -t UTF-16LE; } \
        >"$dir/joined-by-turns.mangled"
    sed -E 's/[ ]+(\r?)$/\1/' "$text" >"$dir/end-blanks-removed.mangled"
    sed 's/\r$/ \r/' "$text" | expand -t 4 | sed 's/^/    /' >"$dir/markdown-code-block.mangled"
    { printf '%-80s\r\n' 'C:\Users\Ann>zemlodiag.exe'
      grep -v -e '^####' -e '^Log ' "$text" | tr -d '\r' | expand | fold -w 80 | awk '{ printf "%-80s\r\n", $0 }'
      printf '%-80s\r\n' 'C:\Users\Ann>'; } >"$dir/console-copy-80.mangled"
    tr -d '\r' <"$text" | enscript -q -L 44 -p - | ps2pdf - - | pdftotext -layout - "$dir/printed.mangled"
    python3 -c 'import html, sys; sys.stdout.write(html.escape(sys.stdin.read()))' <"$text" >"$dir/html-escaped.mangled"
    { printf '<!DOCTYPE html>\n<html><head><title>Ticket</title></head><body><pre>'
      python3 -c 'import html, sys; sys.stdout.write(html.escape(sys.stdin.read()))' <"$text"
      printf '</pre></body></html>\n'; } >"$dir/html-page.mangled"
    { iconv -f UTF-8 -t UTF-16 "$text"; printf 'echo done\r\n'; tail -c +4 "$b" | iconv -f UTF-8 -t UTF-16LE; } \
        >"$dir/eight-bit-between-runs.mangled"
    rm -f "$text"
}

# The transcript with one line longer than the decoder keeps, of characters
# that take several bytes, in each encoding the decoder reads; and the log
# with random bytes after it.
triage_long_line_seeds() {  # TRANSCRIPT DIR
    python3 - "$1" "$2" <<'PYTHON'
import random, sys
text = open(sys.argv[1], encoding='utf-8-sig', newline='').read()
out = sys.argv[2]
def with_line(line):
    return text.replace('\r\nOS version', '\r\nx' + line + '\r\nOS version', 1)
cjk = '\u4e2d' * 22000
for name, encoding, mark, line in [
        ('long-utf16le', 'utf-16-le', b'\xff\xfe', cjk), ('long-utf16be', 'utf-16-be', b'\xfe\xff', '\U0001f512' * 17000),
        ('long-utf8', 'utf-8', b'', cjk), ('long-cp866', 'cp866', b'', '\u041f\u0440\u0438\u0432\u0435\u0442 ' * 10000),
        ('long-cp850', 'cp850', b'', 'Edi\u00e7\u00e3o ' * 14000), ('long-cp437', 'cp437', b'', 'Z\u00fcrich ' * 14000),
        ('long-cp1252', 'cp1252', b'', 'caf\u00e9 \u20ac ' * 12000)]:
    with open(f'{out}/{name}.long', 'wb') as seed:
        seed.write(mark + with_line(line).encode(encoding))
random.seed(1)
with open(f'{out}/random-tail.long', 'wb') as seed:
    log = b'\xff\xfe' + text.encode('utf-16-le')
    seed.write(log + random.randbytes(200000 - len(log)))
PYTHON
}
