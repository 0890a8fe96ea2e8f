#!/usr/bin/env bash
# One-year valuation runs with lotwise-cli against generated stand-in companies, for the
# figures of bench/RESULTS.md. Not part of CTest.
#
#   bench/yearrun.sh [BUILD-DIR]        # default: build-bench beside this folder's parent
#
# Generates, in a temporary folder, a company of ITEMS items (default 2,000, 100
# assemblies, 20 + ITEMS/40 transactions a day) and one with twice the items and twice
# the transactions a day, both over DAYS days (default 365) from 2024-01-01, values each
# over every one of those days, and prints for each run: wall time and lotwise-cli's own
# split (--timings: stand-in, parsing, event log, engine), peak resident memory
# (/usr/bin/time -v), the largest single response in the event log, and the requests
# and round trips (request documents) counted from qbevent.log. The first company is
# valued a second time, from a fresh copy, with the stand-in's latency-ms fault setting
# at 20 (a fixed cost per round trip, as QuickBooks' COM crossing has), and a third time
# with its report-us-per-row fault setting at 200 (a fixed cost per report row, as
# QuickBooks' own report takes). Then the ratios against the goals. KEEP=1 keeps the
# folder; DOUBLE=0 leaves the doubled company out.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build-bench}
cli=$build/cli/lotwise-cli
qbsim=$build/qbsim/qbsim
items=${ITEMS:-2000}
days=${DAYS:-365}
[ -x "$cli" ] && [ -x "$qbsim" ] || { echo "yearrun: build lotwise-cli and qbsim in $build first" >&2; exit 2; }
work=$(mktemp -d)
[ "${KEEP:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT
upto=$(date -d "2024-01-01 + $((days - 1)) days" +%F)

run() {  # run NAME ITEMS ASSEMBLIES PER-DAY [LATENCY-MS [COMPANY-TO-COPY [REPORT-US-PER-ROW]]]
    local name=$1 n=$2 a=$3 perday=$4 latency=${5:-0} from=${6:-} rowcost=${7:-0} dir=$work/$1
    mkdir -p "$dir"
    local t0=$(date +%s.%N)
    if [ -n "$from" ]; then
        cp "$from" "$dir/company.qbw"
    else
        "$qbsim" generate "$dir/company.qbw" --items "$n" --assemblies "$a" --days "$days" --seed 1 --per-day "$perday"
        cp "$dir/company.qbw" "$dir/pristine.qbw"
    fi
    local t1=$(date +%s.%N)
    local faults="latency-ms=$latency"
    [ "$rowcost" = 0 ] || faults="$faults;report-us-per-row=$rowcost"
    QBSIM_FAULTS="$faults" /usr/bin/time -v -o "$dir/time.txt" "$cli" --company "$dir/company.qbw" \
        --start 2024-01-01 --upto "$upto" --data-dir "$dir/data" --report-dir "$dir/reports" --timings \
        >"$dir/out.txt" 2>"$dir/err.txt" ||
        { echo "yearrun: lotwise-cli failed for $name" >&2; tail -n 5 "$dir/out.txt" "$dir/err.txt" >&2; exit 1; }
    python3 - "$dir" "$name" "$n" "$perday" "$(echo "$t1 - $t0" | bc)" "$latency" <<'PY'
import re, sys, json
from collections import defaultdict
d, name, items, perday, gen, latency = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5]), int(sys.argv[6])
time_v = open(d + "/time.txt").read()
def field(label):
    return re.search(re.escape(label) + r": (.*)", time_v).group(1).strip()
wall = field("Elapsed (wall clock) time (h:mm:ss or m:ss)")
parts = [float(p) for p in wall.split(":")]
seconds = sum(p * 60 ** i for i, p in enumerate(reversed(parts)))
rss_kb = int(field("Maximum resident set size (kbytes)"))
timings = open(d + "/err.txt").read()
split = re.search(r"timings: (.*)", timings).group(1)
out = open(d + "/out.txt").read()
days = int(re.search(r"Days processed : (\d+)", out).group(1))
# Event log entries begin with "HH:MM:SS, Month D, YYYY " at the start of a line.
log = open(d + "/data/Veltrane/Lotwise/qbevent.log", encoding="utf-8", errors="replace").read()
entries = re.split(r"(?m)^\d\d:\d\d:\d\d, \w+ \d+, \d{4} ", log)[1:]
responses = [e for e in entries if "QBXMLMsgsRs" in e]
largest = max(len(e.encode()) for e in responses)
documents = [e for e in entries if "QBXMLMsgsRq" in e]
# The run's set-up (item lists, every receiving transaction of the period) ends where the
# first day's queries begin; what follows is the days' work.
first_day = next(i for i, e in enumerate(documents) if "<InvoiceQueryRq" in e)
txn_queries = ("Bill", "ItemReceipt", "Check", "Invoice", "SalesReceipt", "CreditMemo",
               "InventoryAdjustment", "BuildAssembly", "VendorCredit", "SalesOrder")
# Requests of each date: a query by its FromTxnDate, a report by its FromReportDate, a
# posting by its TxnDate. The valuation report of the day before the start date gives the
# opening lots; it is read once per run and item type and is counted apart.
opening_date = "2023-12-31"
per_date = defaultdict(lambda: defaultdict(int))
kinds = defaultdict(int)
# The check of QuickBooks' values after the last commit reads the last day's reports
# once more; it is no part of a day.
last_commit = max(i for i, e in enumerate(documents) if "<DataExtName>LastUpToDate<" in e)
for doc in documents[first_day:last_commit + 1]:
    for m in re.finditer(r"<(?!QBXMLMsgs)(\w+)Rq\b(.*?)</\1Rq>", doc, re.S):
        rq, body = m.group(1), m.group(2)
        if rq.endswith("Query") and rq[:-5] in txn_queries:
            date = re.search(r"<FromTxnDate>([^<]+)<", body)
            if date: per_date[date.group(1)]["txn"] += 1
            kinds["txn"] += 1
        elif rq == "GeneralSummaryReportQuery":
            date = re.search(r"<FromReportDate>([^<]+)<", body).group(1)
            kinds["opening" if date == opening_date else "report"] += 1
            if date != opening_date: per_date[date]["report"] += 1
        elif rq.startswith("DataExt"): kinds["dataext"] += 1
        elif rq == "InventoryAdjustmentAdd": kinds["adjust"] += 1
        else: kinds["other"] += 1
round_trips = len(documents) - first_day
def worst(k): return max((c[k] for c in per_date.values()), default=0)
result = {"name": name, "items": items, "per_day": perday, "latency_ms": latency, "generate_s": gen,
          "wall_s": seconds, "rss_mb": rss_kb / 1024.0, "largest_response_mb": largest / 1048576.0,
          "split": split, "days": days, "max_txn_queries": worst("txn"), "max_reports": worst("report"),
          "opening_reports": kinds["opening"], "mean_dataext": kinds["dataext"] / days,
          "mean_adjust": kinds["adjust"] / days, "requests": sum(kinds.values()) + sum(
              len(re.findall(r"<\w+Rq\b", e)) for e in documents[:first_day]),
          "round_trips": len(documents), "setup_round_trips": first_day,
          "round_trips_per_day": round_trips / days}
json.dump(result, open(d + "/result.json", "w"))
print(f"{name}: {items} items, {perday} transactions a day, latency {latency} ms; generated in {gen:.1f} s")
print(f"  run: {seconds:.1f} s wall; {split}")
print(f"  peak RSS {rss_kb/1024:.1f} MB; largest response {largest/1048576:.2f} MB; "
      f"memory goal {100 + 20*largest/1048576:.1f} MB")
print(f"  round trips: {len(documents)} in all, {first_day} of them in the run's set-up; "
      f"{round_trips / days:.2f} per processed day ({days} days)")
print(f"  requests per day: at most {worst('txn')} transaction queries and {worst('report')} valuation "
      f"reports (besides {kinds['opening']} opening reports in the run); on average "
      f"{kinds['dataext'] / days:.1f} custom-field and {kinds['adjust'] / days:.1f} adjustment requests")
PY
}

base_perday=$((20 + items / 40))
run single "$items" 100 "$base_perday"
run single-latency "$items" 100 "$base_perday" 20 "$work/single/pristine.qbw"
run single-reportcost "$items" 100 "$base_perday" 0 "$work/single/pristine.qbw" 200
[ "${DOUBLE:-1}" = 0 ] || run double $((2 * items)) 200 $((2 * base_perday))

python3 - "$work" <<'PY'
import json, sys
w = sys.argv[1]
import os
a, l = (json.load(open(w + f"/{n}/result.json")) for n in ("single", "single-latency"))
b = json.load(open(w + "/double/result.json")) if os.path.exists(w + "/double/result.json") else a
ok = lambda c: "met" if c else "MISSED"
print()
print(f"goal 2, one-year run under 120 s: {a['wall_s']:.1f} s ({ok(a['wall_s'] < 120)})")
if b is a: print("(DOUBLE=0: the doubled company was left out; goals 3 and 4 read the first one alone)")
r = b["wall_s"] / a["wall_s"]
print(f"goal 3, twice the items and transactions at most 2.3 times as long: {r:.2f} ({ok(r <= 2.3)})")
for x in (a, b):
    limit = 100 + 20 * x["largest_response_mb"]
    print(f"goal 4, peak RSS of {x['name']} at most {limit:.1f} MB: {x['rss_mb']:.1f} MB ({ok(x['rss_mb'] <= limit)})")
q = max(a["max_txn_queries"], b["max_txn_queries"]); rp = max(a["max_reports"], b["max_reports"])
print(f"goal 5, per day at most 5 transaction queries and 2 reports: {q} and {rp} ({ok(q <= 5 and rp <= 2)})")
t = max(a["round_trips_per_day"], b["round_trips_per_day"])
print(f"goal 6, at most 4 round trips per processed day on average: {a['round_trips_per_day']:.2f} and "
      f"{b['round_trips_per_day']:.2f} ({ok(t <= 4)})")
r = l["wall_s"] / a["wall_s"]
print(f"goal 7, 20 ms per round trip makes the run at most 1.3 times as long: {r:.2f} "
      f"({l['wall_s']:.1f} s against {a['wall_s']:.1f} s) ({ok(r <= 1.3)})")
c = json.load(open(w + "/single-reportcost/result.json"))
print(f"report cost, 200 us per report row: {c['wall_s']:.1f} s against {a['wall_s']:.1f} s, "
      f"adds {c['wall_s'] - a['wall_s']:.1f} s")
PY
