# What the scripts that run the Windows build under Wine share (sourced, not run):
# counting checks, finding Wine, Wine's names of POSIX paths, the sample company, and
# one `qbsim serve` at a time answering for QuickBooks' request processor.
#
# The sourcing script sets `work` (its scratch folder) before calling make_sample_company
# or start_server, and `qbsim` (the stand-in tool of the Linux build).

passed=0 failed=0
pass() { echo "ok   $1"; passed=$((passed + 1)); }
fail() { echo "FAIL $1"; failed=$((failed + 1)); }

# find_wine: sets the array `wine` to the 64-bit Wine loader; false when there is none.
find_wine() {
    if command -v wine64 >/dev/null; then
        wine=(wine64)
    elif [ -x /usr/lib/wine/wine64 ]; then
        wine=(/usr/lib/wine/wine64)
    elif command -v wine >/dev/null; then
        wine=(wine)
    else
        return 1
    fi
}

# find_wine32: sets the array `wine32` to the 32-bit Wine loader (Debian's wine32, the
# one that runs a 32-bit program, on 64-bit Windows through WoW64); false when none.
find_wine32() {
    if [ -x /usr/lib/wine/wine ]; then
        wine32=(/usr/lib/wine/wine)
    else
        return 1
    fi
}

# pe_machine FILE: "i386" or "x86-64" from a Windows program's header ("" otherwise).
pe_machine() {
    python3 - "$1" <<'EOF'
import struct, sys
try:
    data = open(sys.argv[1], "rb").read(4096)
    at = struct.unpack_from("<I", data, 0x3C)[0]
    machine = struct.unpack_from("<H", data, at + 4)[0] if data[at:at + 4] == b"PE\0\0" else 0
except (OSError, struct.error):
    machine = 0
print({0x14C: "i386", 0x8664: "x86-64"}.get(machine, ""))
EOF
}

# The wineserver that goes with the loader found (to end a prefix's server).
wineserver_of() {
    local dir
    dir=$(dirname "$(command -v "${wine[0]}")")
    if [ -x "$dir/wineserver" ]; then echo "$dir/wineserver"; else echo wineserver; fi
}

# The Wine name of an absolute POSIX path (Wine's drive Z: is the root).
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# make_sample_company FILE: the sample company "Acme Hardware" in a new stand-in file.
make_sample_company() {
    "$qbsim" create "$1" --name "Acme Hardware" >"$work/create.out" 2>&1 &&
        "$qbsim" load "$1" "$repo/samples/acme_hardware_lists.xml" \
            "$repo/samples/acme_hardware_2024_12.xml" "$repo/samples/acme_hardware_2025_q1.xml" \
            >>"$work/create.out" 2>&1
}

# ---- the server: one at a time, each on its own file and with its own faults
server_pid=
stop_server() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null
        wait "$server_pid" 2>/dev/null
        server_pid=
    fi
}
port=
start_server() {  # start_server FILE [QBSIM_FAULTS]; sets `port`
    stop_server
    : >"$work/serve.out"
    QBSIM_FAULTS=${2:-} "$qbsim" serve "$1" --port 0 >"$work/serve.out" 2>"$work/serve.err" &
    server_pid=$!
    port=
    for _ in $(seq 100); do
        port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/serve.out")
        [ -n "$port" ] && return 0
        kill -0 "$server_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "qbsim serve did not start:"
    cat "$work/serve.err"
    return 1
}
