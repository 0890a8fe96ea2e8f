#!/usr/bin/env bash
# A full Lotwise run of the Windows build under Wine, through real COM: lotwise-cli.exe
# creates QuickBooks' request processor by its class id, which the Wine prefix maps to
# qbxmlrp_stub.dll (tests/windows/comserver), which forwards every call to `qbsim serve`
# on the loopback interface. The same run on Linux, in process against a second copy of
# the company, must leave the same books: the value adjustments posted, summed per date,
# account, class, customer and item, and the valuation at the end of the run. Faults
# injected at the server must end the Windows run with exit code 1 and QuickBooks' text.
# Where no request processor of the program's bitness is registered, lotwise-cli.exe
# must say so: the 32-bit build in a prefix with none, and a 64-bit build
# (OTHER_BITNESS_BUILD_DIR, when given) beside the 32-bit server, the way QuickBooks
# Desktop before 2022 registers its request processor.
#
#   fullrun.sh REPO_DIR WINDOWS_BUILD_DIR LINUX_BUILD_DIR [OTHER_BITNESS_BUILD_DIR]
#
# The Wine prefix is WINDOWS_BUILD_DIR/wineprefix (made when missing); the run's files go
# to WINDOWS_BUILD_DIR/fullrun. Prints "N passed, N failed"; exit code 0 only when
# nothing failed.
set -u

if [ $# -ne 3 ] && [ $# -ne 4 ]; then
    echo "usage: fullrun.sh REPO_DIR WINDOWS_BUILD_DIR LINUX_BUILD_DIR [OTHER_BITNESS_BUILD_DIR]" >&2
    exit 2
fi
repo=$(cd "$1" && pwd) || exit 2
winbuild=$(cd "$2" && pwd) || exit 2
linuxbuild=$(cd "$3" && pwd) || exit 2
otherbuild=
if [ $# -eq 4 ]; then otherbuild=$(cd "$4" && pwd) || exit 2; fi
# shellcheck source=tests/windows/winelib.sh
source "$(dirname "$0")/winelib.sh"

finish() {
    stage ""
    echo "stage times:$stage_times"
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}
stage_name="tools" stage_start=$(date +%s) stage_times=""
stage() {  # ends the stage under way (its time goes to the summary) and starts the next
    local now
    now=$(date +%s)
    stage_times+=" $stage_name $((now - stage_start)) s;"
    stage_name=$1 stage_start=$now
    [ -n "$1" ] && echo "---- $1"
}

# ---- tools
qbsim=$linuxbuild/qbsim/qbsim
linux_cli=$linuxbuild/cli/lotwise-cli
for tool in "$qbsim" "$linux_cli"; do
    if [ ! -x "$tool" ]; then
        fail "$tool not built"
        finish
    fi
done
exe=$winbuild/cli/lotwise-cli.exe
[ -f "$exe" ] || exe=$(find "$winbuild" -path "$winbuild/wineprefix" -prune -o -name lotwise-cli.exe -print 2>/dev/null | head -n 1)
if [ -z "$exe" ] || [ ! -f "$exe" ]; then
    fail "lotwise-cli.exe not built (looked under $winbuild)"
    finish
fi
if ! find_wine; then
    fail "wine64 not installed"
    finish
fi
export WINEPREFIX=$winbuild/wineprefix WINEDEBUG=-all
# Wine turns the command line into wide text by the locale: UTF-8 keeps every letter.
export LC_ALL=C.UTF-8
# No Mono or Gecko installer dialogs when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="

stage "COM server DLL"
dll=$(find "$winbuild" -path "$winbuild/wineprefix" -prune -o -name qbxmlrp_stub.dll -print 2>/dev/null | head -n 1)
if [ -z "$dll" ]; then
    # The Windows build did not include the COM server: build it on its own.
    toolchain=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$winbuild/CMakeCache.txt" 2>/dev/null)
    cmake -S "$repo/tests/windows/comserver" -B "$winbuild/comserver-standalone" \
        -DCMAKE_TOOLCHAIN_FILE="${toolchain:-$repo/tests/windows/mingw-w64.cmake}" -DCMAKE_BUILD_TYPE=Release >/dev/null &&
        cmake --build "$winbuild/comserver-standalone" >/dev/null
    dll=$winbuild/comserver-standalone/qbxmlrp_stub.dll
fi
if [ ! -f "$dll" ]; then
    fail "qbxmlrp_stub.dll could not be built"
    finish
fi
pass "COM server DLL: $dll"

# The DLLs lotwise-cli.exe links against (MinGW runtime, Xerces-C) are found through
# WINEPATH: every folder of the Windows build that holds one, then the cross compiler's.
dll_dirs=$(find "$winbuild" -path "$winbuild/wineprefix" -prune -o -name '*.dll' -printf '%h\n' 2>/dev/null | sort -u)
triplet=x86_64-w64-mingw32
[ "$(pe_machine "$exe")" = i386 ] && triplet=i686-w64-mingw32
for dir in $(ls -d /usr/lib/gcc/$triplet/*-posix 2>/dev/null) /usr/$triplet/lib; do
    [ -d "$dir" ] && dll_dirs+=$'\n'$dir
done
winepath_list=${WINEPATH:-}
while IFS= read -r dir; do
    [ -n "$dir" ] && winepath_list+="${winepath_list:+;}$(winpath "$dir")"
done <<<"$dll_dirs"
export WINEPATH=$winepath_list

stage "Wine prefix"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "${wine[@]}" wineboot -i >/dev/null 2>&1
fi
if "${wine[@]}" regsvr32 /s "$(winpath "$dll")" >/dev/null 2>&1; then
    pass "qbxmlrp_stub.dll registered in $WINEPREFIX"
else
    fail "regsvr32 could not register $dll"
    finish
fi

stage "sample company"
work=$winbuild/fullrun
rm -rf "$work"
mkdir -p "$work"
pristine="$work/Acme Hardware.pristine.qbw"
if ! make_sample_company "$pristine"; then
    fail "sample company"
    cat "$work/create.out"
    finish
fi
mkdir -p "$work/windows" "$work/linux"
wincompany="$work/windows/Acme Hardware.qbw"
linuxcompany="$work/linux/Acme Hardware.qbw"
cp "$pristine" "$wincompany"
cp "$pristine" "$linuxcompany"

trap stop_server EXIT

wincli() {  # wincli OUTPUT-FILE ARGS...; the exit code of lotwise-cli.exe
    local out=$1
    shift
    QBSIM_SERVE_PORT=$port timeout 1800 "${wine[@]}" "$exe" "$@" >"$out" 2>&1
}

# Each run's folders carry letters outside ASCII, as a French or German user's do.
folders() {  # folders ROOT -> the --data-dir/--report-dir arguments, in the Wine form or not
    local root=$1 form=$2
    if [ "$form" = wine ]; then
        echo "--data-dir"; winpath "$root/Zoë Données/AppData"; echo
        echo "--report-dir"; winpath "$root/Zoë Données/Rapports"; echo
    else
        printf '%s\n' --data-dir "$root/Zoë Données/AppData" --report-dir "$root/Zoë Données/Rapports"
    fi
}
report_name=costrun20250101_20250131.csv

stage "Windows run"
if start_server "$wincompany"; then
    mapfile -t winfolders < <(folders "$work/windows" wine)
    wincli "$work/windows.out" --company "$(winpath "$wincompany")" --start 2025-01-01 --upto 2025-01-31 \
        "${winfolders[@]}"
    status=$?
    if [ "$status" -eq 0 ] && grep -q "Process completed" "$work/windows.out"; then
        pass "Windows run through COM: exit 0, process completed"
    else
        fail "Windows run through COM: exit $status"
        tail -n 30 "$work/windows.out"
    fi
    winreport=$(find "$work/windows/Zoë Données/Rapports" -name "$report_name" 2>/dev/null | head -n 1)
    if [ -n "$winreport" ] && [ -s "$winreport" ]; then
        pass "Windows run: report under the non-ASCII folder (${winreport#"$work"/})"
    else
        fail "Windows run: no $report_name under $work/windows/Zoë Données/Rapports"
    fi
    winlog=$(find "$work/windows/Zoë Données/AppData" -name qbevent.log 2>/dev/null | head -n 1)
    if [ -n "$winlog" ] && grep -q "HostQueryRq" "$winlog"; then
        pass "Windows run: event log under the non-ASCII folder (${winlog#"$work"/})"
    else
        fail "Windows run: no qbevent.log with the session's requests under $work/windows/Zoë Données/AppData"
    fi
else
    fail "Windows run: qbsim serve did not start"
fi
stop_server

stage "Linux run"
mapfile -t linuxfolders < <(folders "$work/linux" posix)
timeout 1800 "$linux_cli" --company "$linuxcompany" --start 2025-01-01 --upto 2025-01-31 \
    "${linuxfolders[@]}" >"$work/linux.out" 2>&1
status=$?
if [ "$status" -eq 0 ]; then
    pass "Linux run: exit 0"
else
    fail "Linux run: exit $status"
    tail -n 30 "$work/linux.out"
fi

stage "books compared"
cat >"$work/adjustments.xml" <<'EOF'
<?xml version="1.0"?><?qbxml version="16.0"?><QBXML><QBXMLMsgsRq onError="stopOnError"><InventoryAdjustmentQueryRq><IncludeLineItems>true</IncludeLineItems></InventoryAdjustmentQueryRq></QBXMLMsgsRq></QBXML>
EOF
"$qbsim" request "$wincompany" "$work/adjustments.xml" >"$work/windows.adjustments.xml" 2>&1
"$qbsim" request "$linuxcompany" "$work/adjustments.xml" >"$work/linux.adjustments.xml" 2>&1
if python3 - "$work/windows.adjustments.xml" "$work/linux.adjustments.xml" <<'EOF'
# The value adjustments Lotwise posted (memo "FIFO valuation"), summed per date,
# account, class, customer and item, must be the same in both files.
import sys
import xml.etree.ElementTree as ET
from collections import defaultdict


def postings(path):
    sums = defaultdict(lambda: [0.0, 0.0])
    count = 0
    for txn in ET.parse(path).getroot().iter("InventoryAdjustmentRet"):
        if (txn.findtext("Memo") or "") != "FIFO valuation":
            continue
        head = (txn.findtext("TxnDate"), txn.findtext("AccountRef/FullName") or "",
                txn.findtext("ClassRef/FullName") or "", txn.findtext("CustomerRef/FullName") or "")
        for line in txn.iter("InventoryAdjustmentLineRet"):
            key = head + (line.findtext("ItemRef/FullName") or "",)
            sums[key][0] += float(line.findtext("QuantityDifference") or 0)
            sums[key][1] += float(line.findtext("ValueDifference") or 0)
            count += 1
    return {k: (round(q, 5), round(v, 2)) for k, (q, v) in sums.items()}, count


windows, windows_lines = postings(sys.argv[1])
linux, linux_lines = postings(sys.argv[2])
differences = [k for k in sorted(set(windows) | set(linux)) if windows.get(k) != linux.get(k)]
for key in differences[:20]:
    print("  %s: Windows %s, Linux %s" % (" / ".join(key), windows.get(key), linux.get(key)))
print("  %d posting lines on Windows, %d on Linux, %d groups, %d differ"
      % (windows_lines, linux_lines, len(linux), len(differences)))
sys.exit(1 if differences or not linux else 0)
EOF
then
    pass "books: the FIFO value adjustments posted match posting by posting"
else
    fail "books: the FIFO value adjustments posted differ (or none were posted)"
fi
"$qbsim" valuation "$wincompany" --date 2025-01-31 >"$work/windows.valuation.csv" 2>&1
"$qbsim" valuation "$linuxcompany" --date 2025-01-31 >"$work/linux.valuation.csv" 2>&1
if [ -s "$work/linux.valuation.csv" ] && cmp -s "$work/windows.valuation.csv" "$work/linux.valuation.csv"; then
    pass "books: valuation on 2025-01-31 equal ($(wc -l <"$work/linux.valuation.csv") items)"
else
    fail "books: valuation on 2025-01-31 differs"
    diff "$work/windows.valuation.csv" "$work/linux.valuation.csv" | head -n 20
fi
linuxreport=$(find "$work/linux/Zoë Données/Rapports" -name "$report_name" 2>/dev/null | head -n 1)
if [ -n "${winreport:-}" ] && [ -n "$linuxreport" ] &&
    diff -q <(tr -d '\r' <"$winreport") <(tr -d '\r' <"$linuxreport") >/dev/null; then
    pass "reports: the Windows and Linux $report_name say the same"
else
    fail "reports: the Windows and Linux $report_name differ"
    [ -n "${winreport:-}" ] && [ -n "$linuxreport" ] &&
        diff <(tr -d '\r' <"$winreport") <(tr -d '\r' <"$linuxreport") | head -n 20
fi

# ---- faults: each run on a fresh copy of the company, its server started with them
fault_run() {  # fault_run NAME FAULTS TEXT...
    local name=$1 faults=$2 company="$work/fault/$1/Acme Hardware.qbw" status
    shift 2
    mkdir -p "$work/fault/$name"
    cp "$pristine" "$company"
    if ! start_server "$company" "$faults"; then
        fail "fault $name: qbsim serve did not start"
        return
    fi
    local faultfolders
    mapfile -t faultfolders < <(folders "$work/fault/$name" wine)
    wincli "$work/fault/$name.out" --company "$(winpath "$company")" --start 2025-01-01 \
        --upto 2025-01-31 "${faultfolders[@]}"
    status=$?
    stop_server
    if [ "$status" -ne 1 ]; then
        fail "fault $name: exit $status, expected 1"
        tail -n 20 "$work/fault/$name.out"
        return
    fi
    for text in "$@"; do
        if ! grep -qF -- "$text" "$work/fault/$name.out"; then
            fail "fault $name: output lacks \"$text\""
            tail -n 20 "$work/fault/$name.out"
            return
        fi
    done
    pass "fault $name: exit 1 with QuickBooks' text"
}

stage "fault runs"
fault_run transport "fail-at=30;hresult=0x80040408;description=Could not start QuickBooks." \
    "Could not start QuickBooks." "80040408"
fault_run refused-posting \
    "status=InventoryAdjustmentAddRq:1:3180:There was an error when saving the transaction." \
    "There was an error when saving the transaction."
# No processor answering at all: the DLL reports QuickBooks that cannot be started.
mkdir -p "$work/fault/unreachable"
cp "$pristine" "$work/fault/unreachable/Acme Hardware.qbw"
port=1  # nothing listens on a privileged port here
mapfile -t unreachablefolders < <(folders "$work/fault/unreachable" wine)
wincli "$work/fault/unreachable.out" --company "$(winpath "$work/fault/unreachable/Acme Hardware.qbw")" \
    --start 2025-01-01 --upto 2025-01-31 "${unreachablefolders[@]}"
status=$?
if [ "$status" -eq 1 ] && grep -qF "Could not start QuickBooks." "$work/fault/unreachable.out"; then
    pass "fault unreachable: exit 1 with QuickBooks' text"
else
    fail "fault unreachable: exit $status"
    tail -n 20 "$work/fault/unreachable.out"
fi

# ---- bitness: no request processor of the program's own bitness registered
not_installed() {  # not_installed BITS: the first words of lotwise-cli's text for it
    echo "QuickBooks' request processor is not installed for $1-bit programs on this computer."
}
bitness_run() {  # bitness_run NAME EXE BITS PREFIX
    local name=$1 exe=$2 bits=$3 status
    mkdir -p "$work/bitness/$name"
    cp "$pristine" "$work/bitness/$name/Acme Hardware.qbw"
    WINEPREFIX=$4 timeout 600 "${wine[@]}" "$exe" --company "$(winpath "$work/bitness/$name/Acme Hardware.qbw")" \
        --start 2025-01-01 --upto 2025-01-31 --data-dir "$(winpath "$work/bitness/$name/AppData")" \
        --report-dir "$(winpath "$work/bitness/$name/Reports")" >"$work/bitness/$name.out" 2>&1
    status=$?
    if [ "$status" -eq 1 ] && grep -qF -- "$(not_installed "$bits")" "$work/bitness/$name.out"; then
        pass "bitness $name: exit 1, the $bits-bit request processor named as not installed"
    else
        fail "bitness $name: exit $status"
        tail -n 10 "$work/bitness/$name.out"
    fi
}
stage "bitness"
bits=64
[ "$(pe_machine "$exe")" = i386 ] && bits=32
# The unit tests' prefix registers no request processor at all.
if [ -f "$winbuild/wineprefix-tests/system.reg" ]; then
    bitness_run "none-registered" "$exe" "$bits" "$winbuild/wineprefix-tests"
fi
if [ -n "$otherbuild" ] && [ -f "$otherbuild/cli/lotwise-cli.exe" ]; then
    otherbits=$((bits == 32 ? 64 : 32))
    if [ "$(pe_machine "$otherbuild/cli/lotwise-cli.exe")" = "$([ "$otherbits" = 32 ] && echo i386 || echo x86-64)" ]; then
        # Beside this build's server only: its class is registered for this bitness alone.
        bitness_run "$otherbits-bit-program" "$otherbuild/cli/lotwise-cli.exe" "$otherbits" "$WINEPREFIX"
    else
        fail "bitness: $otherbuild/cli/lotwise-cli.exe is not a $otherbits-bit program"
    fi
fi

finish
