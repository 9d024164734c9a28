#!/usr/bin/env bash
# Runs one Windows program under Wine in a throwaway prefix.
#
# The prefix is a copy of the test run's template (made once, on first use, and
# shared by hard links), so every invocation starts from the same clean
# Windows. The program also gets a private mount namespace in which
# /etc/hosts is a file of its own ($ZEMLO_RESOLVER_HOSTS) and the resolver
# consults nothing else, so a test decides what the service host resolves to.
#
#   wine-run.sh PROGRAM [ARGS...]   run it; its output is replayed when it ends
#   wine-run.sh --make-template     only make the template
#   wine-run.sh --check             only check that this machine can run cases
#   wine-run.sh --host-runs-32-bit  exit 0 when this host executes 32-bit x86 code
#   wine-run.sh --can-run PROGRAM   exit 0 when Wine can run PROGRAM here; else
#                                   say why and exit 77, CTest's skip code here
#
# ZEMLO_WINE_TEMPLATE    the template prefix (default: in $TMPDIR or /tmp)
# ZEMLO_CASE_ROOT        where case folders go (default: beside the template;
#                        must be on the template's file system)
# ZEMLO_KEEP_CASE=1      keep the case folder (prefix, output) and print its path
# ZEMLO_WINE_INTERACTIVE=1  the program uses this terminal (for ./dev.sh run)
# ZEMLO_HOST_RUNS_32_BIT=yes|no  the answer of --host-runs-32-bit, when known
#                        (dev.sh finds it once; tests force either answer)
set -euo pipefail

export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko downloads, and no menu entries or icons written to $HOME.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
# Local time 5:45 ahead of UTC (a POSIX rule, so no zone database is needed):
# a report that shows local time where it should show UTC stands out.
export TZ=${ZEMLO_WINE_TZ:-ZMT-5:45}
template=${ZEMLO_WINE_TEMPLATE:-${TMPDIR:-/tmp}/zemlodiag-wine-template-$(id -u)}
case_root=${ZEMLO_CASE_ROOT:-$(dirname "$template")}

fail() {
    echo "wine-run.sh: $*" >&2
    exit 1
}

# Whether this host executes 32-bit x86 code: a kernel built or booted without
# IA-32 emulation (ia32_emulation=off, WSL 1, many sandboxed VMs and
# containers) refuses every 32-bit ELF. Asked of the kernel by running a
# static 32-bit ELF of 91 bytes that only exits, so no 32-bit library needs to
# be installed first.
host_runs_32_bit() {
    case "${ZEMLO_HOST_RUNS_32_BIT:-}" in
        yes) return 0 ;;
        no) return 1 ;;
    esac
    local probe status=0
    probe=$(mktemp "${TMPDIR:-/tmp}/zemlodiag-ia32-probe.XXXXXX") || fail "cannot write the 32-bit probe"
    # ELF header, one loadable segment, then: xor ebx,ebx; xor eax,eax; inc eax; int 0x80 (exit(0)).
    local elf='\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08\x34\0\0\0'
    elf+='\0\0\0\0\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08'
    elf+='\x5b\0\0\0\x5b\0\0\0\x05\0\0\0\0\x10\0\0\x31\xdb\x31\xc0\x40\xcd\x80'
    printf "$elf" >"$probe"
    chmod +x "$probe"
    # A shell of its own, so that no "Exec format error" or "Bad system call" reaches the terminal.
    bash -c '"$0"; exit $?' "$probe" >/dev/null 2>&1 || status=$?
    rm -f "$probe"
    return "$status"
}

# How Wine is started. Debian's `wine` picks the 32-bit loader whenever wine32
# is installed, for 64-bit programs too; a host that runs no 32-bit code
# cannot start that loader, so there 64-bit Wine is started directly, and it
# starts its own child processes through WINELOADER.
wine_loader=wine
wine64_loader=${ZEMLO_WINE64_LOADER:-/usr/lib/wine/wine64}
if ! host_runs_32_bit; then
    wine_loader=$wine64_loader
    export WINELOADER=$wine64_loader
fi

# 0 when Wine can run PROGRAM on this host. A 32-bit Windows program needs
# Wine's 32-bit loader, so on a host without 32-bit code it says so and
# returns 77. PROGRAM may also be a Windows program of the prefix (cmd.exe).
can_run() { # PROGRAM
    [ -f "$1" ] && [ "$wine_loader" != wine ] || return 0
    local machine
    machine=$(od -An -tx2 -j "$(($(od -An -tu4 -j 60 -N 4 "$1") + 4))" -N 2 "$1" 2>/dev/null | tr -d ' ')
    [ "$(head -c 2 "$1")" = MZ ] && [ "$machine" = 014c ] || return 0
    echo "wine-run.sh: not run: $(basename "$1") is a 32-bit Windows program, which Wine runs only with its 32-bit loader, and this host runs no 32-bit code" >&2
    return 77
}

# Each case needs its own /etc/hosts, which only a private mount namespace
# gives without touching the machine's. Root has one at hand; anyone else
# needs unprivileged user namespaces, mapped to their own uid so that Wine's
# per-user folders in /tmp stay theirs.
isolate=()
choose_isolation() {
    local refusal
    if refusal=$(unshare -m true 2>&1); then
        isolate=(unshare -m)
    elif unshare --user --map-current-user --keep-caps -m true 2>/dev/null; then
        isolate=(unshare --user --map-current-user --keep-caps -m)
    elif [[ $refusal == *propagation* ]]; then
        # unshare makes the new namespace's mounts private from / down, which
        # needs / to be a mount point; a chroot's directory often is not one.
        fail "/ is not a mount point here (a chroot into a plain directory?), so no private mount namespace can keep
  each case's /etc/hosts to itself. Make the directory a mount point before entering it:
    mount --bind DIR DIR && chroot DIR"
    else
        fail "this machine gives $(id -un) no private mount namespace, which every case needs for its own /etc/hosts.
  Run as root, or allow unprivileged user namespaces:
    sudo sysctl -w kernel.unprivileged_userns_clone=1 user.max_user_namespaces=15000
  (Inside a chroot the kernel refuses them: run as root there.)"
    fi
}

# Cases are hard-linked copies of the template; a hard link cannot cross file
# systems (a tmpfs /tmp and a disk checkout, say).
check_case_root() {
    mkdir -p "$case_root" || fail "cannot create the case folder root $case_root"
    local template_fs case_fs
    template_fs=$(stat -c %d "$(dirname "$template")")
    case_fs=$(stat -c %d "$case_root")
    [ "$template_fs" = "$case_fs" ] ||
        fail "the template $template and the case folders in $case_root are on different file systems, so cases cannot be hard-linked copies of it.
  Put both on one (unset ZEMLO_CASE_ROOT, or point ZEMLO_CASE_ROOT or ZEMLO_WINE_TEMPLATE elsewhere)."
}

ensure_template() {
    mkdir -p "$(dirname "$template")"
    exec 9>"$template.lock"
    flock 9
    if [ ! -f "$template/.zemlo-ready" ]; then
        rm -rf "$template"
        WINEPREFIX="$template" "$wine_loader" wineboot -i >/dev/null 2>&1 || fail "wineboot could not make the template $template"
        WINEPREFIX="$template" wineserver -w
        [ -f "$template/system.reg" ] || fail "wineboot left no registry in $template"
        # Wine links the profile's Desktop, Documents, Downloads ... to $HOME;
        # what a case writes there stays in its prefix instead.
        local link
        while IFS= read -r -d '' link; do
            rm "$link" && mkdir "$link" || fail "cannot replace the link $link"
        done < <(find "$template/drive_c/users" -mindepth 2 -maxdepth 2 -type l -print0)
        touch "$template/.zemlo-ready"
    fi
    flock -u 9
    exec 9>&-
}

case "${1:-}" in
    --make-template)
        check_case_root
        ensure_template
        exit 0
        ;;
    --check)
        choose_isolation
        check_case_root
        exit 0
        ;;
    --host-runs-32-bit)
        [ "$wine_loader" = wine ]
        exit
        ;;
    --can-run)
        can_run "$2"
        exit
        ;;
esac

can_run "$1" || exit

choose_isolation
check_case_root
ensure_template

case_dir=""
prefix=""
cleanup() {
    [ -n "$case_dir" ] || return 0
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
    if [ -z "${ZEMLO_KEEP_CASE:-}" ]; then rm -rf "$case_dir"; else echo "kept $case_dir" >&2; fi
    case_dir=""
}
trap cleanup EXIT

# A new prefix for one run. This runs where errexit does not apply (the
# caller tests its status), so every step says when it fails: a half-copied
# prefix makes Wine spin for minutes before it gives up.
make_case() {
    case_dir=$(mktemp -d "$case_root/zemlodiag-case.XXXXXX") || fail "cannot create a case folder in $case_root"
    prefix="$case_dir/prefix"
    cp -al "$template" "$prefix" || fail "cannot hard-link the template $template into $prefix"
    # Files a case may rewrite are real copies, so the template stays clean.
    local file etc
    for file in "$template"/*.reg; do
        cp --remove-destination "$file" "$prefix/" || fail "cannot copy $file into the case"
    done
    for etc in drive_c/windows/system32/drivers/etc drive_c/windows/syswow64/drivers/etc; do
        if [ -d "$template/$etc" ]; then
            rm -rf "${prefix:?}/$etc"
            cp -a "$template/$etc" "$prefix/$etc" || fail "cannot copy $etc into the case"
        fi
    done
    rm -f "$prefix/.zemlo-ready"

    export WINEPREFIX="$prefix"
    export ZEMLO_RESOLVER_HOSTS="$case_dir/resolver-hosts"
    printf '127.0.0.1 localhost\n' >"$ZEMLO_RESOLVER_HOSTS"
    printf 'hosts: files\n' >"$case_dir/nsswitch.conf"
}

# Capabilities kept for the mounts are dropped before Wine starts.
namespaced='mount --bind "$1" /etc/hosts && mount --bind "$2" /etc/nsswitch.conf && shift 2 &&
    if [ "$(id -u)" -ne 0 ]; then exec setpriv --inh-caps=-all --ambient-caps=-all "$ZEMLO_WINE_LOADER" "$@"; fi &&
    exec "$ZEMLO_WINE_LOADER" "$@"'

in_namespace() {
    ZEMLO_WINE_LOADER=$wine_loader "${isolate[@]}" bash -c "$namespaced" bash "$ZEMLO_RESOLVER_HOSTS" "$case_dir/nsswitch.conf" "$@"
}

if [ -n "${ZEMLO_WINE_INTERACTIVE:-}" ]; then
    make_case
    status=0
    in_namespace "$@" || status=$?
    exit "$status"
fi

# One run of the program in a new prefix; its output lands in files of the case.
run_in_fresh_prefix() {
    make_case
    in_namespace "$@" </dev/null >"$case_dir/stdout" 2>"$case_dir/stderr"
}

status=0
run_in_fresh_prefix "$@" || status=$?
# Under load, Wine now and then fails to start a program at all in a brand-new
# prefix; its start helper then prints the text below on standard output
# (it is looked for on standard error too). That says nothing about the
# program, so such a start is tried once more, in another new prefix.
start_failure='ShellExecuteEx failed: Internal error.'
if [ "$status" -ne 0 ] && grep -qF "$start_failure" "$case_dir/stdout" "$case_dir/stderr"; then
    echo "wine-run.sh: Wine could not start $1; trying once more in a new prefix" >&2
    cat "$case_dir/stdout" "$case_dir/stderr" >&2
    cleanup
    status=0
    run_in_fresh_prefix "$@" || status=$?
fi
cat "$case_dir/stdout"
cat "$case_dir/stderr" >&2
exit "$status"
