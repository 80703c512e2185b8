# Shell functions shared by the setup scripts (sourced, not run).
# A package mirror in the middle of a sync fails some of its indexes for
# minutes; setup goes on with the indexes it has and stops only when a
# package it needs cannot be installed.

export DEBIAN_FRONTEND=noninteractive

# apt_update WHO: `apt-get update`, retried; never fails the caller.
apt_update() {
    local who=$1 try log
    log=$(mktemp)
    for try in 1 2 3; do
        if apt-get update -q >"$log" 2>&1; then
            rm -f "$log"
            return 0
        fi
        [ "$try" = 3 ] || sleep 5
    done
    echo "$who: apt-get update failed 3 times, going on with the package indexes it has" \
         "($(grep -m 1 -E '^(E|W):' "$log" || tail -n 1 "$log"))" >&2
    rm -f "$log"
    return 0
}

# apt_install WHO PACKAGE...: installs the packages; when that fails, names the
# first package that cannot be installed with apt's reason and returns 1.
apt_install() {
    local who=$1 p log
    shift
    log=$(mktemp)
    if apt-get install -y -q --no-install-recommends "$@" >"$log" 2>&1; then
        rm -f "$log"
        return 0
    fi
    for p in "$@"; do
        if ! apt-get install -y -q --no-install-recommends "$p" >"$log" 2>&1; then
            echo "$who: cannot install $p: $(grep -E '^E:|Depends:|Unable|Couldn' "$log" | head -n 3 | tr '\n' ' ')" >&2
            rm -f "$log"
            return 1
        fi
    done
    # Each installs alone but not all together: say apt's own words.
    echo "$who: installing $* failed: $(grep -m 1 '^E:' "$log")" >&2
    rm -f "$log"
    return 1
}

# kernel_runs_i386: true when this kernel can run 32-bit x86 programs. Runs a
# 96-byte static 32-bit ELF (exit(42) through int 0x80) that the kernel refuses with
# "Exec format error" when it has no 32-bit support.
kernel_runs_i386() {
    local elf rc
    case "$(uname -m)" in
        i?86) return 0 ;;
        x86_64) ;;
        *) return 1 ;;
    esac
    elf=$(mktemp)
    printf '%b' '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\273\052\000\000\000\315\200' >"$elf"
    chmod +x "$elf"
    rc=0
    "$elf" 2>/dev/null || rc=$?
    rm -f "$elf"
    [ "$rc" = 42 ]
}
