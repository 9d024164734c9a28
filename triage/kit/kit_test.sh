#!/usr/bin/env bash
# Support's kit as a release makes it, checked as its users meet it.
#
#   kit_test.sh make LINUX_EXE WINDOWS_EXE PAGE REPO OUT
#     makes the kit with a throwaway signing key (as tools/sign-exe_test.sh
#     does), twice without one (the same zip), unpacks it into the clean
#     folder OUT/unpacked and checks SHA256SUMS, the files and their times;
#     the page tests then drive OUT/unpacked/zemlotriage.html.
#   kit_test.sh run LINUX_EXE WINDOWS_EXE PAGE REPO OUT
#     the kit's readers on the golden transcripts (and one in code page 850):
#     the Linux program with an empty environment in a root that holds
#     nothing but it and Debian 12's C library package (what every Debian 12
#     system has), the Windows program under Wine with its signature checked;
#     both must write what this build writes, record for record.
#     ZEMLO_BARE_ROOT=DIR runs the Linux program in DIR instead, e.g. a root
#     made by debootstrap --variant=minbase bookworm DIR (4.5 minutes and
#     200 MB from the network, so not in every run).
set -euo pipefail
[ $# -eq 6 ] || { echo "usage: $0 make|run LINUX_EXE WINDOWS_EXE PAGE REPO OUT" >&2; exit 2; }
mode=$1 linux_exe=$2 windows_exe=$3 page=$4 repo=$5 out=$6
version=$("$linux_exe" --version)
version=${version#zemlotriage }
zip=$out/zemlotriage-$version.zip
unpacked=$out/unpacked
failures=0
check() { # description command...
    local description=$1
    shift
    if "$@" >"$out/check.log" 2>&1; then
        echo "ok: $description"
    else
        echo "FAILED: $description"
        cat "$out/check.log"
        failures=$((failures + 1))
    fi
}
fails() { ! "$@"; }
mkdir -p "$out"

make_kit() {
    rm -rf "$out/pki" "$unpacked"
    mkdir -p "$out/pki" "$unpacked"
    "$repo/tools/throwaway-signing-pki.sh" "$out/pki" release
    local time=1700000000
    "$repo/triage/kit/make_kit.sh" "$version" "$time" "$linux_exe" "$windows_exe" "$page" "$out/unsigned-1.zip"
    "$repo/triage/kit/make_kit.sh" "$version" "$time" "$linux_exe" "$windows_exe" "$page" "$out/unsigned-2.zip"
    check "the same inputs make the same zip" cmp "$out/unsigned-1.zip" "$out/unsigned-2.zip"
    check "every file in the zip has the given time" \
        eval "[ \"\$(TZ=UTC zipinfo -T '$out/unsigned-1.zip' | awk '/^[-d]/ {print \$7}' | sort -u)\" = \
            \"\$(TZ=UTC date -d @$time +%Y%m%d.%H%M%S)\" ]"
    ZEMLO_SIGN_PKCS12=$out/pki/release.p12 ZEMLO_SIGN_PASSWORD='throwaway pass' \
        "$repo/triage/kit/make_kit.sh" "$version" "$time" "$linux_exe" "$windows_exe" "$page" "$zip"

    (cd "$unpacked" && unzip -q "$zip")
    check "SHA256SUMS holds in a clean folder" sh -c "cd '$unpacked' && sha256sum --quiet -c SHA256SUMS"
    check "the kit holds its six files and nothing else" eval "[ \"\$(cd '$unpacked' && find . -type f | sort)\" = \
        \"$(printf './%s\n' README.txt SHA256SUMS linux-x64/zemlotriage reading-the-report.md \
            windows-x64/zemlotriage.exe zemlotriage.html)\" ]"
    check "SHA256SUMS names every other file" eval "[ \"\$(cut -c67- '$unpacked/SHA256SUMS' | sort)\" = \
        \"\$(cd '$unpacked' && find . -type f ! -name SHA256SUMS | cut -c3- | sort)\" ]"
    check "the README names the version" grep -q "^zemlotriage $version:" "$unpacked/README.txt"
    check "the page's footer names the version" grep -qF "Read by zemlotriage $version<" "$unpacked/zemlotriage.html"
    check "the page is the one built" cmp "$page" "$unpacked/zemlotriage.html"
    check "the Linux program is executable after unzip" test -x "$unpacked/linux-x64/zemlotriage"
    check "the Linux program is stripped" fails sh -c "readelf -SW '$unpacked/linux-x64/zemlotriage' | grep -q '\.symtab'"
    check "the Linux program needs no loader" fails sh -c "readelf -lW '$unpacked/linux-x64/zemlotriage' | grep -q INTERP"
}

# A root with the kit's Linux program, the logs, and the files of Debian's
# libc6 (glibc loads its iconv modules, and the C library they need, from
# the host at run time; every Debian 12 system has them).
bare_root() {
    local root=$out/bare-root
    if [ -n "${ZEMLO_BARE_ROOT:-}" ]; then
        root=$ZEMLO_BARE_ROOT
        rm -rf "$root/logs"
        mkdir -p "$root/logs"
        cp "$unpacked/linux-x64/zemlotriage" "$root/zemlotriage"
        echo "$root"
        return
    fi
    rm -rf "$root"
    mkdir -p "$root/logs"
    # Each file where Debian 12 keeps it: /lib and /lib64 are links into /usr.
    dpkg-query -L "libc6:$(dpkg --print-architecture)" | while read -r path; do
        if [ -e "$path" ] && [ ! -d "$path" ]; then
            local folder
            folder=$(realpath "$(dirname "$path")")
            mkdir -p "$root$folder"
            cp -a "$path" "$root$folder/"
        fi
    done
    ln -s usr/lib "$root/lib"
    ln -s usr/lib64 "$root/lib64"
    cp "$unpacked/linux-x64/zemlotriage" "$root/zemlotriage"
    echo "$root"
}

# The logs, named alike for every reader: the golden transcripts and one as
# cmd's type writes it in code page 850.
copy_logs() { # DIR
    cp "$repo"/tests/golden/*.txt "$1/"
    tail -c +4 "$repo/tests/golden/troubled-pc.txt" |
        sed 's/Windows 7 Professional/Windows 7 Edição Profissional/' | iconv -f UTF-8 -t CP850 >"$1/type-cp850.txt"
}

run_kit() {
    [ -d "$unpacked" ] || { echo "no kit in $unpacked: run kit_test.sh make first" >&2; exit 1; }
    local logs=$out/logs
    rm -rf "$logs"
    mkdir -p "$logs"
    copy_logs "$logs"
    local names=()
    for log in "$logs"/*.txt; do names+=("logs/$(basename "$log")"); done
    (cd "$out" && "$linux_exe" --json "${names[@]}") >"$out/expected.jsonl"
    check "this build reads every log" test "$(wc -l <"$out/expected.jsonl")" -gt "${#names[@]}"

    local root
    root=$(bare_root)
    copy_logs "$root/logs"
    local chroot=("$(command -v chroot)")
    [ "$(id -u)" -eq 0 ] || chroot=("$(command -v unshare)" --user --map-root-user "${chroot[@]}")
    # chroot starts the program in the root's /, so the names are the same.
    check "the Linux program runs in a bare root with an empty environment" \
        sh -c "env -i ${chroot[*]} '$root' /zemlotriage --json ${names[*]} >'$out/linux.jsonl'"
    check "the Linux program writes this build's records" cmp "$out/expected.jsonl" "$out/linux.jsonl"
    check "the Linux program says its version there" \
        eval "[ \"\$(env -i ${chroot[*]} '$root' /zemlotriage --version)\" = 'zemlotriage $version' ]"

    local exe=$unpacked/windows-x64/zemlotriage.exe
    check "the Windows program's signature verifies against the signing root" \
        osslsigncode verify -CAfile "$out/pki/release-root.pem" -in "$exe"
    check "the Windows program writes this build's records under Wine" \
        sh -c "cd '$out' && '$repo/tests/harness/wine-run.sh' '$exe' --json ${names[*]} >windows.jsonl &&
               cmp expected.jsonl windows.jsonl"
}

case $mode in
    make) make_kit ;;
    run) run_kit ;;
    *) echo "usage: $0 make|run ..." >&2; exit 2 ;;
esac
[ "$failures" -eq 0 ]
