# Fleet benchmark of zemlotriage: times `zemlotriage --csv` over generated logs
# against `cat` of the same files. Sourced by dev.sh, which calls `bench "$@"`;
# `bash triage/bench/bench.sh [OPTIONS]` runs it on its own.
#
#   bench [--count N] [--sizes N,M] [--repeat R] [--seed S] [--triage PATH] [--cat-only]
#
#   --count N     files in the fleet (default 10000); cached under $BUILD_ROOT/bench
#   --sizes N,M   file counts to measure (default: a tenth of the fleet, and all of it)
#   --repeat R    timed rounds per size (default 5)
#   --seed S      seed of the fleet (default 12)
#   --triage PATH the program (default dist/linux/zemlotriage)
#   --cat-only    time cat alone, to check the runner without the program

bench() {
    local here root build_root
    here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
    root=$(cd "$here/../.." && pwd)
    build_root=${BUILD_ROOT:-$root/build}
    local count=10000 sizes="" repeat=5 seed=12 triage="$root/dist/linux/zemlotriage" cat_only=""
    while (($# > 0)); do
        case $1 in
            --count) count=${2:?--count needs a number}; shift 2 ;;
            --sizes) sizes=${2:?--sizes needs a list}; shift 2 ;;
            --repeat) repeat=${2:?--repeat needs a number}; shift 2 ;;
            --seed) seed=${2:?--seed needs a number}; shift 2 ;;
            --triage) triage=${2:?--triage needs a path}; shift 2 ;;
            --cat-only) cat_only=--cat-only; shift ;;
            *)
                echo "usage: bench [--count N] [--sizes N,M] [--repeat R] [--seed S] [--triage PATH] [--cat-only]" >&2
                return 2
                ;;
        esac
    done

    local fleet
    fleet=$(python3 "$here/make_fleet.py" --golden "$root/tests/golden" --cache-root "$build_root/bench" \
        --count "$count" --seed "$seed") || return 1
    python3 "$here/measure.py" --fleet "$fleet" --triage "$triage" --repeat "$repeat" \
        ${sizes:+--sizes "$sizes"} ${cat_only:+"$cat_only"}
}

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
    set -euo pipefail
    bench "$@"
fi
