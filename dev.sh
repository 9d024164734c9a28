#!/usr/bin/env bash
# Developer entry points:
#   ./dev.sh build          build x86 and x64; exes in dist/x86 and dist/x64
#   ./dev.sh test [REGEX]   build, then run the whole suite (both architectures) under Wine
#   ./dev.sh run [ARCH] [ARGS...]  run the product in a throwaway prefix (ARCH x86 or x64, default x64)
#   ./dev.sh lint           static analysis only
#   ./dev.sh fuzz [SECONDS] fuzz zemlotriage's reader (default 60 s)
# BUILD_ROOT (default ./build) lets several work trees build side by side.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
build_root=${BUILD_ROOT:-$root/build}
archs=(x86 x64)
jobs=$(nproc)
# shellcheck source=triage/triage.sh
source "$root/triage/triage.sh"

build() {
    for arch in "${archs[@]}"; do
        cmake -S "$root" -B "$build_root/$arch" --toolchain "$root/cmake/toolchains/mingw-$arch.cmake" \
            -DCMAKE_BUILD_TYPE=Release >/dev/null
        cmake --build "$build_root/$arch" -j "$jobs"
        mkdir -p "$root/dist/$arch"
        cp "$build_root/$arch/app/zemlodiag.exe" "$root/dist/$arch/zemlodiag.exe"
    done
    triage_build
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
    local status=0
    for arch in "${archs[@]}"; do
        echo "== $arch =="
        (cd "$build_root/$arch" && ctest --output-on-failure -j "$jobs" --timeout 300 ${filter:+-R "$filter"}) || status=1
    done
    return $status
}

command=${1:-build}
shift || true
case "$command" in
    build) build ;;
    lint) lint ;;
    test)
        build
        lint
        status=0
        run_tests "${1:-}" || status=1
        triage_test "${1:-}" || status=1
        exit $status
        ;;
    fuzz) triage_fuzz "${1:-60}" ;;
    run)
        arch=${1:-x64}
        shift || true
        build >/dev/null
        export ZEMLO_WINE_TEMPLATE="$build_root/wine-template"
        exe_win="Z:$(echo "$root/dist/$arch/zemlodiag.exe" | tr / '\\')"
        "$root/tests/harness/wine-run.sh" "$root/dist/$arch/zemlodiag.exe" "$@"
        ;;
    *)
        echo "usage: ./dev.sh build|test [REGEX]|run [x86|x64] [ARGS...]|lint|fuzz [SECONDS]" >&2
        exit 2
        ;;
esac
