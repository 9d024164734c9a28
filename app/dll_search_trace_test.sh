#!/usr/bin/env bash
# Before wmain restricts the DLL search, only the static imports may be
# loaded: anything else (the crypto provider that a stack-protector runtime
# asks for random bytes, say) would first be looked for in the program's
# folder, often a downloads folder, by an elevated process. Wine's loader
# trace shows every load; the restriction itself, relayed, is the marker.
# Wine writes its traces to the process's own Unix stderr, not to the
# standard error handle a test program could capture, hence a script.
#   usage: dll_search_trace_test.sh <wine-run.sh> <zemlodiag.exe>
set -euo pipefail
wine_run=$1
# A 32-bit program on a host without 32-bit code: says so, exits 77 (skipped).
"$wine_run" --can-run "$2" || exit
exe_win="Z:$(realpath "$2" | tr / '\\')"
trace=$(mktemp)
trap 'rm -f "$trace"' EXIT

WINEDEBUG=+loaddll,+relay "$wine_run" cmd.exe /c \
    "reg add HKCU\\Software\\Wine\\Debug /v RelayInclude /d kernel32.SetDefaultDllDirectories;kernelbase.SetDefaultDllDirectories /f >nul" \
    "& mkdir C:\\zd & copy /y $exe_win C:\\zd\\zemlodiag.exe >nul & C:\\zd\\zemlodiag.exe" \
    >/dev/null 2>"$trace" || true

# kernelbase, ucrtbase and sechost are what Wine builds kernel32, msvcrt and
# advapi32 from.
awk '
    BEGIN {
        split("kernelbase.dll kernel32.dll msvcrt.dll ucrtbase.dll sechost.dll advapi32.dll", names, " ")
        for (i in names) allowed[names[i]] = 1
    }
    /:trace:loaddll:build_module Loaded L".*zemlodiag\.exe"/ { split($0, f, ":"); pid = f[1]; next }
    pid == "" || index($0, pid ":") != 1 { next }
    /Call KERNEL(32|BASE)\.SetDefaultDllDirectories\(00000800\)/ { restricted = 1; next }
    /:trace:loaddll:build_module Loaded L"/ {
        path = $0; sub(/.*Loaded L"/, "", path); sub(/".*/, "", path)
        name = tolower(path); sub(/.*\\/, "", name)
        if (restricted) { later[name] = 1 }
        else if (!(name in allowed)) { print "loaded before the DLL search was restricted: " path; bad = 1 }
    }
    END {
        if (pid == "") { print "no loader trace of zemlodiag.exe"; exit 1 }
        if (!restricted) { print "SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) was not called"; exit 1 }
        # The trace does show the crypto DLLs, once the tests need them.
        if (!("crypt32.dll" in later) || !("rsaenh.dll" in later)) { print "crypt32 and rsaenh were never loaded"; exit 1 }
        if (bad) exit 1
        print "only the static imports loaded before the restriction"
    }' "$trace"
