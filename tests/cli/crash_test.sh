#!/usr/bin/env bash
# lotwise-cli killed (SIGKILL) at points spread over a run of the sample company, then
# run again to the end: every time the company file must pass SQLite's integrity check
# and end with the values and the last up-to date of an uninterrupted run.
# Arguments: the lotwise-cli binary, the qbsim binary, the source folder.
set -u
cli=$1 qbsim=$2 src=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0 checks=0
start=2025-01-01 upto=2025-01-31
dates="2025-01-02 2025-01-10 2025-01-17 2025-01-24 2025-01-31"

company() {  # company FILE
    "$qbsim" create "$1" --name "Acme Hardware" >/dev/null &&
    "$qbsim" load "$1" "$src/samples/acme_hardware_lists.xml" \
        "$src/samples/acme_hardware_2024_12.xml" "$src/samples/acme_hardware_2025_q1.xml" >/dev/null
}

cat >"$work/company_rq.xml" <<'XML'
<?xml version="1.0"?><?qbxml version="16.0"?><QBXML><QBXMLMsgsRq onError="stopOnError"><CompanyQueryRq requestID="1"><OwnerID>{04C1726A-9530-49E2-927F-91F5477CE3D0}</OwnerID></CompanyQueryRq></QBXMLMsgsRq></QBXML>
XML

books() {  # books FILE: the values of the chosen days and the stored last up-to date
    for d in $dates; do "$qbsim" valuation "$1" --date "$d"; done
    "$qbsim" request "$1" "$work/company_rq.xml" | tr '<' '\n' | grep -A3 'DataExtName>LastUpToDate' | grep '^DataExtValue>'
}

value() {  # value FILE: runs lotwise-cli over the period
    "$cli" --company "$1" --start "$start" --upto "$upto" \
        --data-dir "$work/appdata" --report-dir "$work/docs" >"$work/out" 2>&1
}

company "$work/base.qbw"
began=$(date +%s%N)
value "$work/base.qbw" || { echo "FAIL uninterrupted run"; cat "$work/out"; exit 1; }
took=$(( ($(date +%s%N) - began) / 1000000 ))
books "$work/base.qbw" >"$work/expected"

for step in 1 2 3 4 5 6 7 8; do
    delay_ms=$(( took * step / 9 ))
    file="$work/run$step.qbw"
    company "$file"
    # exec, so that the signal reaches lotwise-cli itself and not a subshell around it.
    ( exec "$cli" --company "$file" --start "$start" --upto "$upto" \
        --data-dir "$work/appdata" --report-dir "$work/docs" >"$work/out" 2>&1 ) &
    pid=$!
    sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    checks=$((checks + 1))
    integrity=$(sqlite3 "$file" 'PRAGMA integrity_check;' 2>&1)
    if [ "$integrity" != "ok" ]; then
        echo "FAIL killed after ${delay_ms} ms: integrity: $integrity"; failures=$((failures + 1)); continue
    fi
    # A run killed after its last commit is refused again ("has to be after"); the books
    # decide.
    value "$file" || value "$file" || true
    books "$file" >"$work/actual"
    if ! cmp -s "$work/expected" "$work/actual"; then
        echo "FAIL killed after ${delay_ms} ms: the books differ"
        diff "$work/expected" "$work/actual" | head -10
        failures=$((failures + 1))
    else
        echo "ok   killed after ${delay_ms} ms of ${took} ms"
    fi
done

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
