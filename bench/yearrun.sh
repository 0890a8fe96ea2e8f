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
# of each processed day counted from qbevent.log. Then the ratios against the goals.
# KEEP=1 keeps the folder.
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

run() {  # run NAME ITEMS ASSEMBLIES PER-DAY
    local name=$1 n=$2 a=$3 perday=$4 dir=$work/$1
    mkdir -p "$dir"
    local t0=$(date +%s.%N)
    "$qbsim" generate "$dir/company.qbw" --items "$n" --assemblies "$a" --days "$days" --seed 1 --per-day "$perday"
    local t1=$(date +%s.%N)
    /usr/bin/time -v -o "$dir/time.txt" "$cli" --company "$dir/company.qbw" --start 2024-01-01 --upto "$upto" \
        --data-dir "$dir/data" --report-dir "$dir/reports" --timings >"$dir/out.txt" 2>"$dir/err.txt" ||
        { echo "yearrun: lotwise-cli failed for $name" >&2; tail -n 5 "$dir/out.txt" "$dir/err.txt" >&2; exit 1; }
    python3 - "$dir" "$name" "$n" "$perday" "$(echo "$t1 - $t0" | bc)" <<'PY'
import re, sys, json
d, name, items, perday, gen = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5])
time_v = open(d + "/time.txt").read()
def field(label):
    return re.search(re.escape(label) + r": (.*)", time_v).group(1).strip()
wall = field("Elapsed (wall clock) time (h:mm:ss or m:ss)")
parts = [float(p) for p in wall.split(":")]
seconds = sum(p * 60 ** i for i, p in enumerate(reversed(parts)))
rss_kb = int(field("Maximum resident set size (kbytes)"))
timings = open(d + "/err.txt").read()
split = re.search(r"timings: (.*)", timings).group(1)
# Event log entries begin with "HH:MM:SS, Month D, YYYY " at the start of a line.
log = open(d + "/data/Veltrane/Lotwise/qbevent.log", encoding="utf-8", errors="replace").read()
entries = re.split(r"(?m)^\d\d:\d\d:\d\d, \w+ \d+, \d{4} ", log)[1:]
responses = [e for e in entries if "QBXMLMsgsRs" in e]
largest = max(len(e.encode()) for e in responses)
# Days end with the commit of LastUpToDate (DataExtMod or, the first time, DataExtAdd).
# The segment that reads the item list holds the run's one-time set-up (item lists and
# every receiving transaction of the period) and is reported apart from the days.
txn_queries = ("Bill", "ItemReceipt", "Check", "Invoice", "SalesReceipt", "CreditMemo",
               "InventoryAdjustment", "BuildAssembly", "VendorCredit", "SalesOrder")
day = {"txn": 0, "report": 0, "opening": 0, "dataext": 0, "adjust": 0, "other": 0}
# The valuation report of the day before the start date gives the opening lots. It is
# read once per run and item type, on the first day that needs it, and is counted apart.
opening_date = "2023-12-31"
perday_counts = []
started = False
setup = False
setup_requests = 0
for e in entries:
    if "QBXMLMsgsRq" not in e:
        continue
    m = re.search(r"<QBXMLMsgsRq[^>]*>\s*<(\w+)Rq\b", e)
    rq = m.group(1) if m else "?"
    commit = rq in ("DataExtMod", "DataExtAdd") and "<DataExtName>LastUpToDate<" in e
    if started:
        if rq.endswith("Query") and rq[:-5] in txn_queries: day["txn"] += 1
        elif rq == "GeneralSummaryReportQuery":
            day["opening" if f"<FromReportDate>{opening_date}<" in e else "report"] += 1
        elif rq.startswith("DataExt"): day["dataext"] += 1
        elif rq == "InventoryAdjustmentAdd": day["adjust"] += 1
        else: day["other"] += 1
    if rq == "ItemInventoryQuery":
        setup = True
    if commit:
        if started and not setup: perday_counts.append(day)
        elif started: setup_requests = sum(day.values())
        started = True
        setup = False
        day = {k: 0 for k in day}
days = len(perday_counts)
def worst(k): return max((c[k] for c in perday_counts), default=0)
def mean(k): return sum(c[k] for c in perday_counts) / max(days, 1)
result = {"name": name, "items": items, "per_day": perday, "generate_s": gen, "wall_s": seconds,
          "rss_mb": rss_kb / 1024.0, "largest_response_mb": largest / 1048576.0, "split": split,
          "days_counted": days, "max_txn_queries": worst("txn"), "max_reports": worst("report"),
          "opening_reports": sum(c["opening"] for c in perday_counts),
          "mean_dataext": mean("dataext"), "mean_adjust": mean("adjust"), "max_other": worst("other"),
          "requests": len([e for e in entries if "QBXMLMsgsRq" in e]), "setup_requests": setup_requests}
json.dump(result, open(d + "/result.json", "w"))
print(f"{name}: {items} items, {perday} transactions a day; generated in {gen:.1f} s")
print(f"  run: {seconds:.1f} s wall; {split}")
print(f"  peak RSS {rss_kb/1024:.1f} MB; largest response {largest/1048576:.2f} MB; "
      f"memory goal {100 + 20*largest/1048576:.1f} MB")
print(f"  requests: {result['requests']} in all, {setup_requests} of them in the run's set-up and first day; "
      f"per processed day ({days} days): "
      f"at most {worst('txn')} transaction queries, {worst('report')} valuation reports "
      f"(besides {result['opening_reports']} opening reports in the run), "
      f"{worst('other')} others; on average {mean('dataext'):.1f} custom-field and "
      f"{mean('adjust'):.1f} adjustment requests")
PY
}

base_perday=$((20 + items / 40))
run single "$items" 100 "$base_perday"
run double $((2 * items)) 200 $((2 * base_perday))

python3 - "$work" <<'PY'
import json, sys
w = sys.argv[1]
a = json.load(open(w + "/single/result.json")); b = json.load(open(w + "/double/result.json"))
ok = lambda c: "met" if c else "MISSED"
print()
print(f"goal 2, one-year run under 120 s: {a['wall_s']:.1f} s ({ok(a['wall_s'] < 120)})")
r = b["wall_s"] / a["wall_s"]
print(f"goal 3, twice the items and transactions at most 2.3 times as long: {r:.2f} ({ok(r <= 2.3)})")
for x in (a, b):
    limit = 100 + 20 * x["largest_response_mb"]
    print(f"goal 4, peak RSS of {x['name']} at most {limit:.1f} MB: {x['rss_mb']:.1f} MB ({ok(x['rss_mb'] <= limit)})")
q = max(a["max_txn_queries"], b["max_txn_queries"]); rp = max(a["max_reports"], b["max_reports"])
print(f"goal 5, per day at most 5 transaction queries and 2 reports: {q} and {rp} ({ok(q <= 5 and rp <= 2)})")
PY
