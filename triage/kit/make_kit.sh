#!/usr/bin/env bash
# Support's kit: zemlotriage for Linux and Windows, the browser page, the
# support guide, a README saying which file to use where, and SHA256SUMS over
# them, in one zip. Signs the Windows program when ZEMLO_SIGN_PKCS12 is given
# (tools/sign-exe.sh reads the other ZEMLO_SIGN_* settings). The same inputs
# and TIME give the same zip, unless a signature is made (it holds its time).
#
#   triage/kit/make_kit.sh VERSION TIME LINUX_EXE WINDOWS_EXE PAGE ZIP
#
# VERSION is the release version every reader must say it is; TIME (seconds
# since 1970) is every file's time in the zip.
set -euo pipefail
[ $# -eq 6 ] || { echo "usage: $0 VERSION TIME LINUX_EXE WINDOWS_EXE PAGE ZIP" >&2; exit 2; }
version=$1 time=$2 linux_exe=$3 windows_exe=$4 page=$5 zip=$6
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
fail() { echo "make_kit.sh: $*" >&2; exit 1; }

# Windows' own DLLs, which every 64-bit Windows has; anything else (a MinGW
# runtime DLL above all) would be missing on the engineer's PC.
system_dlls=(kernel32.dll msvcrt.dll shell32.dll user32.dll advapi32.dll)

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/linux-x64" "$stage/windows-x64"

# Linux: one static image, which needs no loader and no library of the host.
cp "$linux_exe" "$stage/linux-x64/zemlotriage"
strip --strip-all "$stage/linux-x64/zemlotriage"
if readelf -lW "$stage/linux-x64/zemlotriage" | grep -q 'INTERP'; then
    fail "$linux_exe asks for a dynamic loader; the kit's Linux program must be linked statically (TRIAGE_STATIC)"
fi
[ "$("$stage/linux-x64/zemlotriage" --version)" = "zemlotriage $version" ] ||
    fail "$linux_exe says it is '$("$stage/linux-x64/zemlotriage" --version)', not zemlotriage $version"

# Windows: stripped, then signed last (any later byte change breaks the signature).
cp "$windows_exe" "$stage/windows-x64/zemlotriage.exe"
# strip stamps the image with SOURCE_DATE_EPOCH, else with the time it runs.
SOURCE_DATE_EPOCH=$time x86_64-w64-mingw32-strip "$stage/windows-x64/zemlotriage.exe"
while read -r dll; do
    lower=${dll,,}
    [[ " ${system_dlls[*]} " == *" $lower "* ]] || fail "$windows_exe imports $dll, which is not a Windows system DLL"
done < <(x86_64-w64-mingw32-objdump -p "$stage/windows-x64/zemlotriage.exe" | sed -n 's/^\s*DLL Name: //p')
if [ -n "${ZEMLO_SIGN_PKCS12:-}" ]; then
    ZEMLO_SIGN_DESCRIPTION=zemlotriage "$repo/tools/sign-exe.sh" "$stage/windows-x64/zemlotriage.exe"
    echo "make_kit.sh: signed zemlotriage.exe with $ZEMLO_SIGN_PKCS12" >&2
fi

grep -qF "Read by zemlotriage $version<" "$page" || fail "$page does not say it is zemlotriage $version"
cp "$page" "$stage/zemlotriage.html"
cp "$repo/docs/reading-the-report.md" "$stage/"
sed "s/@VERSION@/$version/g" "$here/README.txt" >"$stage/README.txt"
chmod 644 "$stage"/*.* "$stage/windows-x64/zemlotriage.exe"
chmod 755 "$stage/linux-x64/zemlotriage"

files=(README.txt linux-x64/zemlotriage reading-the-report.md windows-x64/zemlotriage.exe zemlotriage.html)
(cd "$stage" && sha256sum "${files[@]}" >SHA256SUMS && chmod 644 SHA256SUMS)
"$repo/tools/reproducible-zip.sh" "$stage" "$time" "$zip" SHA256SUMS "${files[@]}"
