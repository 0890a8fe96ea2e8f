#!/usr/bin/env bash
# lotwise-cli against the stand-in: exit codes and the texts a user reads.
# Arguments: the lotwise-cli binary, the qbsim binary, the source folder.
set -u
cli=$1 qbsim=$2 src=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0 checks=0

check() {  # check NAME EXPECTED-EXIT ACTUAL-EXIT OUTPUT-FILE [TEXT...]
    local name=$1 expected=$2 actual=$3 out=$4
    shift 4
    checks=$((checks + 1))
    if [ "$actual" -ne "$expected" ]; then
        echo "FAIL $name: exit $actual, expected $expected"; cat "$out"; failures=$((failures + 1)); return
    fi
    for text in "$@"; do
        if ! grep -qF -- "$text" "$out"; then
            echo "FAIL $name: output lacks: $text"; cat "$out"; failures=$((failures + 1)); return
        fi
    done
    echo "ok   $name"
}

company="$work/Acme Hardware.qbw"
"$qbsim" create "$company" --name "Acme Hardware" >/dev/null
"$qbsim" load "$company" "$src/samples/acme_hardware_lists.xml" \
    "$src/samples/acme_hardware_2024_12.xml" "$src/samples/acme_hardware_2025_q1.xml" >/dev/null
folders=(--data-dir "$work/appdata" --report-dir "$work/docs")

"$cli" --company "$company" --upto 2025-01-10 "${folders[@]}" >"$work/out" 2>&1
check "never valued without --start" 2 $? "$work/out" "--start is required"

"$cli" --company "$company" --start 2025-01-05 --upto 2025-01-04 "${folders[@]}" >"$work/out" 2>&1
check "start after up-to" 1 $? "$work/out" "Request failed.  The Up To Date cannot be before the Start Date."

"$cli" --company "$company" --start 2025-01-01 --upto 2025-01-10 --verbose "${folders[@]}" >"$work/out" 2>&1
check "first run, verbose" 0 $? "$work/out" "Opening file..." "has never been performed on this file" \
    "Calculation on day 01/02/2025" "Retrieving the list of bills..." "Process completed" \
    "Lotwise Reports/Acme Hardware/costrun20250101_20250110.csv" \
    "Lotwise Reports/Acme Hardware/costrun20250101_20250110.html" \
    "Days processed : 10 (" "QuickBooks now carries the FIFO value of"
[ -s "$work/docs/Veltrane/Lotwise Reports/Acme Hardware/costrun20250101_20250110.csv" ] ||
    { echo "FAIL first run: no report"; failures=$((failures + 1)); }

# A scheduler's retry of a run that completed, or a date already behind: nothing to do,
# and no error.
"$cli" --company "$company" --start 2024-06-01 --upto 2025-01-10 "${folders[@]}" >"$work/out" 2>&1
check "same up-to again" 0 $? "$work/out" "--start is ignored" "File is opened." \
    "The file is already valued up to 01/10/2025."
"$cli" --company "$company" --upto 2025-01-09 --json "${folders[@]}" >"$work/out" 2>/dev/null
check "earlier up-to, as JSON" 0 $? "$work/out" \
    '{"completed":true,"message":"The file is already valued up to 01/10/2025.","firstDay":"2025-01-11","upTo":"2025-01-10","daysProcessed":0,'
if grep -q "Process completed" "$work/out"; then
    echo "FAIL earlier up-to: a run was made"; failures=$((failures + 1))
fi

"$cli" --company "$company" --upto 2025-01-12 "${folders[@]}" >"$work/out" 2>&1
quiet_status=$?
# By default only the texts that matter: the open's, the final status and the summary.
if grep -q "Retrieving\|Calculation on day" "$work/out"; then
    echo "FAIL quiet run prints progress texts"; cat "$work/out"; failures=$((failures + 1))
fi
(exit $quiet_status)
check "later run" 0 $? "$work/out" "Process completed" "costrun20250111_20250112.csv"

# A query QuickBooks refuses is no "nothing found": the run stops before the day and says
# why; the next run finishes the job.
# (Each command has a session of its own: the refusal meets the open's look for changes
# behind the valued period, which says it could not be made, and the run's bill query.)
QBSIM_FAULTS="status=BillQueryRq:1:1000:The request could not be processed." \
    "$cli" --company "$company" --upto 2025-01-14 "${folders[@]}" >"$work/out" 2>&1
check "refused bill query" 1 $? "$work/out" "Lotwise could not check whether transactions dated on or before" \
    "The request could not be processed."
if grep -q "Process completed" "$work/out"; then
    echo "FAIL refused bill query: the run says it completed"; failures=$((failures + 1))
fi
"$cli" --company "$company" --upto 2025-01-14 "${folders[@]}" >"$work/out" 2>&1
check "run after a refused query" 0 $? "$work/out" "Process completed" "costrun20250113_20250114.csv"

# A posting QuickBooks refuses stops the run before its day is committed, naming the
# refusal and the item; the next run finishes the job.
QBSIM_FAULTS="status=InventoryAdjustmentAddRq:1:3180:There was an error when saving the transaction." \
    "$cli" --company "$company" --upto 2025-01-20 "${folders[@]}" >"$work/out" 2>&1
check "refused posting" 1 $? "$work/out" \
    "QuickBooks refused the value adjustment of Tools:Utility Knife on 01/15/2025: There was an error when saving the transaction."
if grep -q "Process completed" "$work/out"; then
    echo "FAIL refused posting: the run says it completed"; failures=$((failures + 1))
fi
"$cli" --company "$company" --upto 2025-01-20 "${folders[@]}" >"$work/out" 2>&1
check "run after a refused posting" 0 $? "$work/out" "Process completed"

# A bill entered late for a valued day is named at open, even in the second the run
# ended; a rewind to its date and a run value it. The rewind says what it deletes before
# it does so.
cat >"$work/late.xml" <<'XML'
<?xml version="1.0"?><?qbxml version="16.0"?><QBXML><QBXMLMsgsRq onError="stopOnError">
<BillAddRq><BillAdd><VendorRef><FullName>Summit Tools</FullName></VendorRef>
<TxnDate>2025-01-08</TxnDate><RefNumber>LATE-1</RefNumber><ItemLineAdd>
<ItemRef><FullName>Tools:Hammer</FullName></ItemRef><Quantity>3</Quantity><Cost>11.00</Cost>
</ItemLineAdd></BillAdd></BillAddRq></QBXMLMsgsRq></QBXML>
XML
"$qbsim" request "$company" "$work/late.xml" >"$work/out" 2>&1
check "late bill entered" 0 $? "$work/out" 'statusCode="0"'
"$cli" --company "$company" --rewind 2025-01-31 "${folders[@]}" >"$work/out" 2>&1
check "rewind past the valued period" 1 $? "$work/out" \
    "FIFO values from 01/08/2025 on may be stale: 1 transaction dated on or before 01/20/2025 was entered" \
    "Bill LATE-1, 01/08/2025" "Rewind failed."
"$cli" --company "$company" --rewind 2025-01-08 "${folders[@]}" >"$work/out" 2>&1
check "rewind" 0 $? "$work/out" "Rewind to 01/08/2025?" "Rewind completed." \
    "the file is now valued up to 01/07/2025."
"$cli" --company "$company" --upto 2025-01-20 --json "${folders[@]}" >"$work/out" 2>"$work/err"
check "run after the rewind, as JSON" 0 $? "$work/err" "Process completed" "costrun20250108_20250120.csv"
if python3 - "$work/out" <<'PY'
import json, sys
summary = json.load(open(sys.argv[1]))
assert summary["completed"] is True and summary["message"] == "", summary
assert summary["firstDay"] == "2025-01-08" and summary["upTo"] == "2025-01-20", summary
assert summary["daysProcessed"] == 13 and 0 < summary["daysCalculated"] <= 13, summary
assert summary["postings"] > 0 and summary["increase"] >= 0 >= summary["decrease"], summary
total = round(sum(summary["items"].values()), 2)
assert abs(total - round(summary["increase"] + summary["decrease"], 2)) < 0.011, (total, summary)
assert summary["proof"]["matched"] <= summary["proof"]["items"], summary
assert isinstance(summary["exceptions"], list)
PY
then echo "ok   JSON summary"; else echo "FAIL JSON summary"; cat "$work/out"; failures=$((failures + 1)); fi
checks=$((checks + 1))
"$cli" --company "$company" --upto 2025-01-21 --json --verbose "${folders[@]}" >"$work/out" 2>&1
check "usage: --json with --verbose" 2 $? "$work/out" "--verbose and --json exclude each other"
"$cli" --company "$company" --rewind 2025-01-08 --upto 2025-01-20 "${folders[@]}" >"$work/out" 2>&1
check "usage: --rewind with --upto" 2 $? "$work/out" "--rewind goes without --start and --upto"

echo "not a company" >"$work/plain.qbw"
"$cli" --company "$work/plain.qbw" --start 2025-01-01 --upto 2025-01-02 "${folders[@]}" >"$work/out" 2>&1
check "not a company file" 1 $? "$work/out" "File open failed. It has the following error :"

"$cli" --company "$work/missing.qbw" --start 2025-01-01 --upto 2025-01-02 "${folders[@]}" >"$work/out" 2>&1
check "missing file" 1 $? "$work/out" "File open failed."
"$cli" --company "$work/missing.qbw" --start 2025-01-01 --upto 2025-01-02 --json "${folders[@]}" >"$work/out" 2>/dev/null
check "missing file, as JSON" 1 $? "$work/out" '{"completed":false,"message":"File open failed.'

# The summary's texts are escaped: a quote, a backslash and a tab in the file's name.
odd="$work/odd \"name\" \\ and	tab.qbw"
"$cli" --company "$odd" --start 2025-01-01 --upto 2025-01-02 --json "${folders[@]}" >"$work/out" 2>/dev/null
check "missing file with quotes, as JSON" 1 $? "$work/out" 'odd \"name\" \\ and\u0009tab.qbw'
if python3 -c 'import json, sys; assert sys.argv[2] in json.load(open(sys.argv[1]))["message"]' "$work/out" "$odd"
then echo "ok   JSON message names the file"; else echo "FAIL JSON message names the file"; failures=$((failures + 1)); fi
checks=$((checks + 1))

"$qbsim" multiuser "$company" on >/dev/null
"$cli" --company "$company" --upto 2025-01-13 "${folders[@]}" >"$work/out" 2>&1
check "open in multi-user mode" 1 $? "$work/out" "Please switch your QuickBooks application to single-user mode."
"$qbsim" multiuser "$company" off >/dev/null

for args in "--upto 2025-13-01 --company x" "--company x" "--upto 2025-02-30 --company x" "--bogus"; do
    # shellcheck disable=SC2086
    "$cli" $args >"$work/out" 2>&1
    check "usage: $args" 2 $? "$work/out" "usage: lotwise-cli"
done

# The stand-in's tool: a usage error exits 2 with its usage; --fifo-preference takes the
# next argument as its date only when it is one.
"$qbsim" create "$work/new.qbw" >"$work/out" 2>&1
check "qbsim: create without --name" 2 $? "$work/out" "usage: qbsim create FILE --name NAME"
"$qbsim" create "$work/new.qbw" --name New --bogus >"$work/out" 2>&1
check "qbsim: unknown option" 2 $? "$work/out" "usage: qbsim create FILE --name NAME"
"$qbsim" create --fifo-preference "$work/new.qbw" --name New >"$work/out" 2>&1
check "qbsim: --fifo-preference without a date" 0 $? "$work/out"
[ -s "$work/new.qbw" ] || { echo "FAIL qbsim: --fifo-preference took the file"; failures=$((failures + 1)); }
"$qbsim" create "$work/dated.qbw" --fifo-preference 2024-07-01 --name Dated >"$work/out" 2>&1
check "qbsim: --fifo-preference with a date" 0 $? "$work/out"

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
