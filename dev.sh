#!/usr/bin/env bash
# Developer entry points; each one first installs whatever is missing
# (Debian 12; see README). ./dev.sh help lists them.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
build_root=${BUILD_ROOT:-$root/build}
archs=(x86 x64)
jobs=$(nproc)

usage() {
    cat <<'EOF'
usage: ./dev.sh COMMAND [ARGS...]
  run [--troubled|--bare] [x86|x64] [ARGS...]
                  build, then run the program once in a throwaway Wine prefix
                  seeded as a healthy PC (or the troubled PC of the tests, or
                  not at all); ARGS go to the program, e.g. ./dev.sh run x86 /fix
  test [REGEX]    build, static analysis, then the whole suite for x86 and x64
                  under Wine (or only the CTest cases matching REGEX)
  build           build x86 and x64; programs in dist/x86 and dist/x64
  dist            build dist/zemlodiag-VERSION.zip and support's kit,
                  dist/zemlotriage-VERSION.zip (signed when a key is given)
  lint            static analysis only
  setup [COMMAND] only install the missing Debian packages (of every command,
                  or of COMMAND alone); every command installs what it needs
  version         print the release version
  fuzz [SECONDS]  fuzz zemlotriage's reader (default 60 s)
  bench [OPTIONS] time zemlotriage --csv against cat over a generated fleet
                  of logs (./dev.sh bench --help)
BUILD_ROOT=...    puts the build trees elsewhere (default ./build).
EOF
}

# --- Set-up ------------------------------------------------------------------

# What the commands need on Debian 12, in sets. An entry is a package
# (PACKAGE or PACKAGE:ARCH), or COMMAND=PACKAGE where the command from any
# source will do and the package is only the way to get it (a machine whose
# Node.js comes with its own npm needs no Debian npm). Recommended packages
# are not installed, so whatever the commands rely on is named here.
needs_configure=(cmake make python3 util-linux)
needs_version=(git)
needs_compiler_x86=(g++-mingw-w64-i686-win32)
needs_compiler_x64=(g++-mingw-w64-x86-64-win32)
# crypt32 reads the host's roots; the sandbox mounts a file of its own over
# /etc/hosts, which netbase makes where the system has none (a debootstrap
# root). Wine's 32-bit half only where the host runs 32-bit code (see
# host_runs_32_bit); its crypto takes RSA from gnutls.
needs_wine=(wine wine64 ca-certificates netbase)
needs_wine32=(wine32:i386 libgnutls30:i386)
# The seeding tool of ./dev.sh run is built with the test harness.
needs_seeding=(googletest)
needs_tests=(googletest cppcheck openssl osslsigncode tmux unzip zip)
needs_lint=(cppcheck)
needs_dist=(zip osslsigncode)
# zemlotriage: its libraries (zlib inflates zip entries, natively and, linked
# statically, in the Windows build), its native and x64 (posix threads)
# builds, and its web page. Its tests make archives with zip.
needs_triage_libraries=(nlohmann-json3-dev libcli11-dev libutfcpp-dev zlib1g-dev)
needs_triage=("${needs_triage_libraries[@]}" g++ g++-mingw-w64-x86-64-posix libz-mingw-w64-dev)
needs_triage_web=(emscripten node=nodejs)
needs_triage_browser=(chromium firefox-esr fonts-liberation npm=npm)
# zemlotriage's tests print a log to PDF and take its text back, as support
# gets it from a printed log.
needs_triage_print=(enscript ghostscript poppler-utils)
needs_sanitizers=(clang libclang-rt-14-dev)
needs_fuzz=(clang libfuzzer-14-dev libclang-rt-14-dev)
needs_bench=(python3)

# The entries COMMAND needs, one per line.
needs_of() { # COMMAND [ARGS...]
    local command=$1
    shift
    local build=("${needs_configure[@]}" "${needs_version[@]}" "${needs_compiler_x86[@]}" "${needs_compiler_x64[@]}"
        "${needs_seeding[@]}" "${needs_triage[@]}" "${needs_triage_web[@]}")
    local all=() wine=("${needs_wine[@]}")
    if host_runs_32_bit; then wine+=("${needs_wine32[@]}"); fi
    case "$command" in
        run)
            parse_run_arguments "$@"
            local compiler="needs_compiler_$run_arch[@]"
            all=("${needs_configure[@]}" "${!compiler}" "${wine[@]}")
            [ "$run_pc" = bare ] || all+=("${needs_seeding[@]}")
            ;;
        build) all=("${build[@]}") ;;
        dist) all=("${build[@]}" "${needs_dist[@]}") ;;
        test)
            all=("${build[@]}" "${wine[@]}" "${needs_tests[@]}" "${needs_triage_browser[@]}"
                "${needs_triage_print[@]}" "${needs_sanitizers[@]}" "${needs_fuzz[@]}")
            ;;
        lint) all=("${needs_lint[@]}") ;;
        fuzz) all=("${needs_configure[@]}" "${needs_triage_libraries[@]}" "${needs_fuzz[@]}") ;;
        bench) all=("${needs_bench[@]}") ;;
        setup)
            if [ $# -gt 0 ]; then
                needs_of "$@"
                return
            fi
            local every
            for every in run build dist test lint fuzz bench; do needs_of "$every"; done
            return
            ;;
    esac
    [ ${#all[@]} -eq 0 ] || printf '%s\n' "${all[@]}"
}

# The packages to install for the entries given: one dpkg-query for all.
missing_packages() { # ENTRY...
    local native entry package
    native=$(dpkg --print-architecture)
    local names=()
    for entry in "$@"; do names+=("${entry#*=}"); done
    local -A installed=()
    local status name arch
    while read -r status name arch; do
        if [[ $status == ii* ]]; then installed[$name:$arch]=1; fi
    done < <(dpkg-query -W -f='${db:Status-Abbrev} ${Package} ${Architecture}\n' "${names[@]}" 2>/dev/null)
    for entry in "$@"; do
        if [[ $entry == *=* ]]; then
            if command -v "${entry%%=*}" >/dev/null; then continue; fi
            package=${entry#*=}
        else
            package=$entry
        fi
        if [[ $package == *:* ]]; then
            if [ -n "${installed[$package]:-}" ]; then continue; fi
        elif [ -n "${installed[$package:$native]:-}" ] || [ -n "${installed[$package:all]:-}" ]; then
            continue
        fi
        echo "$package"
    done | sort -u
}

# Quiet, and at once when nothing is missing. Root installs directly, anyone
# else through sudo; without sudo it says what root has to run.
ensure_packages() { # COMMAND [ARGS...]
    local needs
    mapfile -t needs < <(needs_of "$@")
    [ ${#needs[@]} -gt 0 ] || return 0
    if ! command -v dpkg-query >/dev/null || ! command -v apt-get >/dev/null; then
        echo "dev.sh: not a Debian system; install the equivalents of these yourself: ${needs[*]}" >&2
        return 0
    fi
    local missing
    mapfile -t missing < <(missing_packages "${needs[@]}")
    [ ${#missing[@]} -gt 0 ] || return 0

    local install="apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends ${missing[*]}"
    [[ " ${missing[*]}" != *:i386* ]] || install="dpkg --add-architecture i386 && $install"
    local elevate=()
    if [ "$(id -u)" -ne 0 ]; then
        local sudo_ok=false
        if command -v sudo >/dev/null; then
            if [ -t 0 ]; then sudo -v && sudo_ok=true; else sudo -n true 2>/dev/null && sudo_ok=true; fi
        fi
        if ! $sudo_ok; then
            echo "dev.sh: ${#missing[@]} Debian packages are missing and $(id -un) cannot install them. As root, run:" >&2
            echo "  $install" >&2
            exit 1
        fi
        elevate=(sudo)
    fi
    if ! grep -qs '^VERSION_ID="12"' /etc/os-release || ! grep -qs '^ID=debian' /etc/os-release; then
        echo "dev.sh: the set-up is made for Debian 12; on this system it is best effort" >&2
    fi
    local log
    log=$(mktemp /tmp/zemlodiag-setup.XXXXXX)
    local size=""
    [ ${#missing[@]} -lt 10 ] || size="; a first set-up takes several minutes"
    echo "dev.sh: installing ${#missing[@]} missing Debian packages for $1 (log: $log$size)" >&2
    if ! "${elevate[@]}" sh -c "$install" >"$log" 2>&1; then
        tail -n 20 "$log" >&2
        echo "dev.sh: installing the packages failed; the whole log is $log" >&2
        exit 1
    fi
    rm -f "$log"
}

# The build and the tests run as the owner of this checkout, so that a run as
# root (or through sudo) leaves nothing its owner cannot write.
become_checkout_owner() {
    local owner
    owner=$(stat -c %u "$root")
    [ "$(id -u)" -eq 0 ] && [ "$owner" -ne 0 ] || return 0
    # What root runs of older versions left in the checkout goes back to its owner.
    local left
    for left in "$root/dist" "$build_root"; do
        if [[ $left == "$root"/* ]] && [ -e "$left" ] && [ -n "$(find "$left" ! -uid "$owner" -print -quit)" ]; then
            chown -R "$owner:$(stat -c %g "$root")" "$left"
        fi
    done
    exec setpriv --reuid="$owner" --regid="$(stat -c %g "$root")" --init-groups \
        env HOME="$(getent passwd "$owner" | cut -d: -f6)" USER="$(stat -c %U "$root")" "$root/dev.sh" "$@"
}

# Whether this host executes 32-bit x86 code, asked of the kernel once per
# command (tests/harness/wine-run.sh knows how) and handed to everything
# after it. Where it does not (IA-32 emulation off: sandboxed VMs and
# containers, WSL 1), Wine runs only 64-bit programs, and its 32-bit half is
# not installed. ZEMLO_HOST_RUNS_32_BIT=yes|no gives the answer instead.
host_runs_32_bit() {
    if [ -z "${ZEMLO_HOST_RUNS_32_BIT:-}" ]; then
        ZEMLO_HOST_RUNS_32_BIT=no
        if "$root/tests/harness/wine-run.sh" --host-runs-32-bit; then ZEMLO_HOST_RUNS_32_BIT=yes; fi
        export ZEMLO_HOST_RUNS_32_BIT
    fi
    [ "$ZEMLO_HOST_RUNS_32_BIT" = yes ]
}

check_wine_sandbox() {
    "$root/tests/harness/wine-run.sh" --check
}

# --- Version -------------------------------------------------------------------

# "1.2.3" on a release tag v1.2.3, "1.2.3-4-gabcdef0" four commits after it,
# "-dirty" with uncommitted changes. Before the first tag the VERSION file
# gives the number and the count runs from the first commit. Without git, the
# VERSION file alone.
release_version() {
    if [ -n "${released_version:-}" ]; then echo "$released_version"; else describe_release; fi
}

describe_release() {
    local base
    base=$(head -n 1 "$root/VERSION")
    if command -v git >/dev/null && git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
        local described
        if described=$(git -C "$root" describe --tags --match 'v[0-9]*' --dirty 2>/dev/null); then
            echo "${described#v}"
        else
            local dirty=""
            git -C "$root" diff --quiet HEAD 2>/dev/null || dirty=-dirty
            echo "$base-$(git -C "$root" rev-list --count HEAD)-g$(git -C "$root" rev-parse --short=7 HEAD)$dirty"
        fi
    else
        echo "$base"
    fi
}

# --- Build, lint, test ---------------------------------------------------------

configure_product() { # ARCH
    # Where Wine cannot run the x86 e2e program, the x64 one lists its cases.
    local lister=()
    [ "$1" != x86 ] || lister=(-DZEMLO_CASE_LIST_PROGRAM="$build_root/x64/zemlo_e2e_tests.exe")
    cmake -S "$root" -B "$build_root/$1" --toolchain "$root/cmake/toolchains/mingw-$1.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DZEMLO_VERSION="$(release_version)" "${lister[@]}" >/dev/null
}

build() {
    local arch
    for arch in "${archs[@]}"; do
        configure_product "$arch"
        cmake --build "$build_root/$arch" -j "$jobs"
        mkdir -p "$root/dist/$arch"
        cp "$build_root/$arch/app/zemlodiag.exe" "$root/dist/$arch/zemlodiag.exe"
    done
    triage_build
    triage_web_build
}

lint() {
    if command -v cppcheck >/dev/null; then
        # The product's own sources; tests are GoogleTest macros cppcheck cannot parse.
        local sources
        mapfile -t sources < <(find app log registry certs network system -name '*.cpp' ! -name '*_test.cpp' | sort)
        cppcheck --quiet --error-exitcode=1 --enable=warning,performance,portability \
            --inline-suppr --suppress=missingIncludeSystem --std=c++17 -D_WIN32 -DUNICODE \
            -I "$root" "${sources[@]}"
    fi
}

run_tests() {
    local filter=${1:-}
    # One template prefix per test run; every case copies it.
    export ZEMLO_WINE_TEMPLATE="$build_root/wine-template"
    rm -rf "$ZEMLO_WINE_TEMPLATE" "$ZEMLO_WINE_TEMPLATE.lock"
    "$root/tests/harness/wine-run.sh" --make-template
    # 0 passed, 1 failed, 3 nothing matched the filter.
    local status=3 arch
    : >"$build_root/skipped-cases"
    for arch in "${archs[@]}"; do
        echo "== $arch =="
        if [ -n "$filter" ] && [ "$(cd "$build_root/$arch" && ctest -N -R "$filter" | sed -n 's/^Total Tests: //p')" = 0 ]; then
            if [ "$arch" = x86 ] && ! host_runs_32_bit; then
                echo "not run: the x86 unit cases, as this host runs no 32-bit code"
                continue
            fi
            # The unit cases all run in one CTest case, <arch>.unit, so a
            # unit case's name is a GoogleTest filter for that one.
            local unit=0
            run_unit_cases "$arch" "*$filter*" || unit=$?
            case $unit in
                0) [ "$status" = 1 ] || status=0 ;;
                3) ;;
                *) status=1 ;;
            esac
            continue
        fi
        [ "$status" = 1 ] || status=0
        # ctest names the cases it skipped in its closing lines.
        (cd "$build_root/$arch" && ctest --output-on-failure -j "$jobs" --timeout 300 ${filter:+-R "$filter"}) |
            tee "$build_root/ctest-$arch.out" || status=1
        sed -n 's/^\t* *[0-9]* - \(.*\) (Skipped)$/\1/p' "$build_root/ctest-$arch.out" >>"$build_root/skipped-cases"
    done
    return $status
}

# One line at the end of the test run: what this host did not run, and why.
report_skipped_cases() {
    host_runs_32_bit && return 0
    local skipped
    mapfile -t skipped < <(grep '^x86\.' "$build_root/skipped-cases" 2>/dev/null)
    [ ${#skipped[@]} -gt 0 ] || return 0
    local first="${skipped[*]:0:4}"
    local named="${first// /, }"
    [ ${#skipped[@]} -le 4 ] || named+=" and $((${#skipped[@]} - 4)) more"
    echo "dev.sh: not run: ${#skipped[@]} x86 cases that need Wine ($named; skipped: Wine runs a 32-bit program only with its 32-bit loader, and this host runs no 32-bit code); the x86 build and its image checks ran"
}

run_unit_cases() { # arch gtest-filter
    echo "no CTest case matches; running the unit cases matching $2 ($1.unit with GTEST_FILTER)"
    local log
    log=$(mktemp)
    local status=0
    (cd "$build_root/$1" && GTEST_FILTER="$2" ctest -V --timeout 300 -R "^$1\.unit\$") >"$log" 2>&1 || status=1
    grep -E '^[0-9]+: \[' "$log" | sed 's/^[0-9]*: //'
    if grep -q 'PASSED  \] 0 tests' "$log"; then
        echo "no unit case matches $2 either"
        rm -f "$log"
        return 3
    fi
    [ "$status" -eq 0 ] || tail -n 30 "$log"
    rm -f "$log"
    return $status
}

# --- Run -------------------------------------------------------------------------

# run [--troubled|--bare|--healthy] [x86|x64] [ARGS...]: sets run_pc,
# run_arch and run_program_args (the ARGS for the program).
parse_run_arguments() {
    run_pc=healthy run_arch=x64
    while [ $# -gt 0 ]; do
        case "$1" in
            --troubled) run_pc=troubled ;;
            --bare) run_pc=bare ;;
            --healthy) run_pc=healthy ;;
            *) break ;;
        esac
        shift
    done
    case "${1:-}" in
        x86 | x64) run_arch=$1; shift ;;
    esac
    run_program_args=("$@")
}

run_product() {
    parse_run_arguments "$@"
    local pc=$run_pc arch=$run_arch
    set -- "${run_program_args[@]}"

    # Only the program that runs, and the tool that seeds its prefix.
    local targets=(zemlodiag)
    [ "$pc" = bare ] || targets+=(zemlo_sandbox_pc)
    echo "dev.sh: building the $arch program (a first build takes a few minutes)..." >&2
    configure_product "$arch"
    cmake --build "$build_root/$arch" -j "$jobs" --target "${targets[@]}" >/dev/null
    if ! "$root/tests/harness/wine-run.sh" --can-run "$build_root/$arch/app/zemlodiag.exe" 2>/dev/null; then
        echo "dev.sh: built $build_root/$arch/app/zemlodiag.exe but cannot run it: Wine runs a 32-bit program only with its 32-bit loader, and this host runs no 32-bit code" >&2
        return 1
    fi
    export ZEMLO_WINE_TEMPLATE="$build_root/wine-template"
    # The log lands beside the program, so each run gets a folder of its own.
    local run_dir
    run_dir="$build_root/runs/$(date +%Y%m%d-%H%M%S)-$arch-$pc"
    mkdir -p "$run_dir"
    cp "$build_root/$arch/app/zemlodiag.exe" "$run_dir/"
    local program=("$run_dir/zemlodiag.exe")
    case "$pc" in
        healthy)
            echo "Sandbox: a throwaway Wine prefix seeded as a healthy Windows 10 PC (LocalSystem's Internet" \
                "Settings key exists, service.zemlo.example resolves to 192.0.2.10, the development root is trusted)."
            program=("$build_root/$arch/tests/zemlo_sandbox_pc.exe" healthy "Z:${run_dir//\//\\}\\zemlodiag.exe")
            ;;
        troubled)
            echo "Sandbox: a throwaway Wine prefix seeded as the tests' troubled Windows 7 PC (proxies, root" \
                "auto-update off, the service host in the hosts file, a resolver answering 203.0.113.9)."
            program=("$build_root/$arch/tests/zemlo_sandbox_pc.exe" troubled "Z:${run_dir//\//\\}\\zemlodiag.exe")
            ;;
        bare) echo "Sandbox: a throwaway Wine prefix as Wine makes it, not seeded (the service host does not resolve)." ;;
    esac
    echo
    local status=0
    ZEMLO_WINE_INTERACTIVE=1 "$root/tests/harness/wine-run.sh" "${program[@]}" "$@" || status=$?
    echo
    local log
    log=$(find "$run_dir" -maxdepth 1 -type f ! -name '*.exe' | sort | head -n 1)
    if [ -n "$log" ]; then
        echo "Log (UTF-16): $log"
    else
        echo "dev.sh: the program left no log in $run_dir" >&2
    fi
    echo "Exit code: $status"
    return "$status"
}

# --- Release ---------------------------------------------------------------------

# dist/zemlodiag-VERSION.zip: both programs, the support engineers' guide and
# SHA256SUMS; dist/zemlotriage-VERSION.zip: support's kit (triage/kit/). With
# ZEMLO_SIGN_PKCS12 and ZEMLO_SIGN_PASSWORD (and optionally
# ZEMLO_SIGN_TIMESTAMP_URL) every Windows program is signed first
# (tools/sign-exe.sh). Both zips have the same version, and their files the
# last commit's time, so the same commit gives the same zips.
dist() {
    build
    local version stage time
    version=$(release_version)
    time=$(git -C "$root" log -1 --format=%ct 2>/dev/null || stat -c %Y "$root/VERSION")
    stage="$build_root/dist-stage/zemlodiag-$version"
    rm -rf "$stage"
    mkdir -p "$stage/x86" "$stage/x64"
    cp "$build_root/x86/app/zemlodiag.exe" "$stage/x86/"
    cp "$build_root/x64/app/zemlodiag.exe" "$stage/x64/"
    cp "$root/docs/reading-the-report.md" "$stage/"
    if [ -n "${ZEMLO_SIGN_PKCS12:-}" ]; then
        "$root/tools/sign-exe.sh" "$stage/x86/zemlodiag.exe" "$stage/x64/zemlodiag.exe"
        echo "dev.sh: signed both programs with $ZEMLO_SIGN_PKCS12" >&2
    else
        echo "dev.sh: no ZEMLO_SIGN_PKCS12 given, so the programs are not signed" >&2
    fi
    (cd "$stage" && sha256sum x86/zemlodiag.exe x64/zemlodiag.exe reading-the-report.md >SHA256SUMS)
    "$root/tools/reproducible-zip.sh" "$stage" "$time" "$root/dist/zemlodiag-$version.zip" \
        SHA256SUMS reading-the-report.md x64/zemlodiag.exe x86/zemlodiag.exe
    echo "$root/dist/zemlodiag-$version.zip"
    "$root/triage/kit/make_kit.sh" "$version" "$time" "$build_root/triage-linux/zemlotriage" \
        "$root/dist/x64/zemlotriage.exe" "$root/dist/web/zemlotriage.html" "$root/dist/zemlotriage-$version.zip"
    echo "$root/dist/zemlotriage-$version.zip"
}

# --- zemlotriage ----------------------------------------------------------------

# triage_build, triage_test, triage_fuzz; bench comes from triage/bench.
# shellcheck source=triage/triage.sh
source "$root/triage/triage.sh"

# --- Dispatch --------------------------------------------------------------------

command=${1:-build}
shift || true
case "$command" in
    help | -h | --help) usage; exit 0 ;;
    version) release_version; exit 0 ;;
esac
host_runs_32_bit || true
ensure_packages "$command" "$@"
become_checkout_owner "$command" "$@"
# Asked once: every build of one command gets the same version, even if the
# tree changes meanwhile.
released_version=$(describe_release)
case "$command" in
    setup) ;;
    build) build ;;
    lint) lint ;;
    test)
        check_wine_sandbox
        build
        lint
        diagnostic=0 reader=0
        run_tests "${1:-}" || diagnostic=$?
        triage_test "${1:-}" || reader=$?
        report_skipped_cases
        if [ "$diagnostic" = 3 ] && [ "$reader" = 3 ]; then
            echo "dev.sh: no test matches ${1:-}" >&2
            exit 1
        fi
        if [ "$diagnostic" = 1 ] || [ "$reader" = 1 ]; then
            exit 1
        fi
        exit 0
        ;;
    run)
        check_wine_sandbox
        run_product "$@"
        ;;
    dist) dist ;;
    fuzz) triage_fuzz "${1:-60}" ;;
    bench)
        # shellcheck source=triage/bench/bench.sh
        source "$root/triage/bench/bench.sh"
        bench "$@"
        ;;
    *)
        usage >&2
        exit 2
        ;;
esac
