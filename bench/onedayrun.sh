#!/usr/bin/env bash
# What one more day costs after a long history, for the figures of bench/RESULTS.md. Not
# part of CTest.
#
#   bench/onedayrun.sh [[NAME=]BUILD-DIR ...]   # default: build-bench beside this folder's parent
#
# For each history H (HISTORIES, default "31 365 730" days) it generates, in a temporary
# folder, a stand-in company of H + 1 days from 2024-01-01 (`qbsim generate`, ITEMS items,
# default 500, ASSEMBLIES assemblies, default 20, PER_DAY transactions a day, default 30,
# SEED, default 1), values it with each build's lotwise-cli up to day H (set-up, not
# measured), then values day H + 1 alone, REPEAT times (default 3), each time from a fresh
# copy of that build's valued company file and data folder. The measured runs alternate
# between the builds, so that what else the machine does falls on all of them alike. Each
# build has its own copy of the generated company and its own --data-dir.
#
# The set-up is two runs on a clock set back with faketime (Debian's faketime package):
# days 1 to H - 1 three days ago, day H one day ago, as a company valued once to catch up
# and then day by day would be. A run looks for changes behind it in whatever QuickBooks
# saved from a day before the last run on, the margin for clocks that differ; on the
# real clock it would find every posting of the set-up there, and the measured day would
# re-read those (30,000 for 730 days) instead of the last day's few.
#
# Per measured run: wall time (/usr/bin/time), lotwise-cli's own split (--timings:
# stand-in, parsing, event log, engine), and the round trips (request documents) and
# requests (elements of those documents) counted from that run's qbevent.log; a run starts
# a fresh event log, so it holds that run alone. Then one table of the medians and, per
# build, the ratios of the day after 730 and after 365 days to the day after 31 days (the
# goal: at most 1.3 for the day after 730 days, in time and in round trips).
#
# A build is named by NAME= (e.g. before=/work/before/build-bench) or by its folder's name.
# KEEP=1 keeps the temporary folder.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
[ $# -gt 0 ] || set -- "$here/../build-bench"
items=${ITEMS:-500}
assemblies=${ASSEMBLIES:-20}
perday=${PER_DAY:-30}
seed=${SEED:-1}
repeat=${REPEAT:-3}
histories=${HISTORIES:-31 365 730}
start=2024-01-01

names=() dirs=()
for arg in "$@"; do
    if [[ $arg == *=* ]]; then name=${arg%%=*} dir=${arg#*=}; else name=$(basename "$arg") dir=$arg; fi
    [ -x "$dir/cli/lotwise-cli" ] && [ -x "$dir/qbsim/qbsim" ] ||
        { echo "onedayrun: build lotwise-cli and qbsim in $dir first" >&2; exit 2; }
    case " ${names[*]-} " in *" $name "*) echo "onedayrun: two builds named $name: name them with NAME=DIR" >&2; exit 2 ;; esac
    [[ $name =~ ^[A-Za-z0-9._/-]+$ ]] || { echo "onedayrun: name builds with NAME=DIR: $name" >&2; exit 2; }
    names+=("$name") dirs+=("$(cd "$dir" && pwd)")
done
command -v faketime >/dev/null || { echo "onedayrun: the set-up needs faketime (apt-get install faketime)" >&2; exit 2; }
[[ $repeat =~ ^[1-9][0-9]*$ ]] || { echo "onedayrun: REPEAT takes a whole number from 1" >&2; exit 2; }
# The generator comes from the first build: every build values the same company.
qbsim=${dirs[0]}/qbsim/qbsim

work=$(mktemp -d)
[ "${KEEP:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT
echo "onedayrun: working in $work" >&2

day() { date -d "$start + $1 days" +%F; }
now() { date +%s.%N; }
folder() { printf '%s' "$1" | tr '/' '_'; }  # a build's name as a folder name

# setup HISTORY BUILD-INDEX CLOCK-OFFSET UPTO: a set-up run on the build's valued copy.
setup() {
    local base
    base=$work/h$1/$(folder "${names[$2]}")
    faketime -f "$3" "${dirs[$2]}/cli/lotwise-cli" --company "$base/valued/company.qbw" --start "$start" \
        --upto "$4" --data-dir "$base/valued/data" --report-dir "$base/setup-reports" >>"$base/setup.txt" 2>&1 ||
        { echo "onedayrun: the set-up run up to $4 failed (history $1, ${names[$2]})" >&2
          tail -n 5 "$base/setup.txt" >&2; exit 1; }
}

# measure HISTORY BUILD-INDEX REPEAT-NUMBER: one measured day from a fresh copy.
measure() {
    local h=$1 b=$2 r=$3 base dir
    base=$work/h$1/$(folder "${names[$2]}")
    dir=$base/run$r
    rm -rf "$dir"
    cp -a "$base/valued" "$dir"
    rm -f "$dir/data/Veltrane/Lotwise/qbevent.log"
    /usr/bin/time -v -o "$dir/time.txt" "${dirs[$b]}/cli/lotwise-cli" --company "$dir/company.qbw" \
        --upto "$(day "$h")" --data-dir "$dir/data" --report-dir "$dir/reports" --timings \
        >"$dir/out.txt" 2>"$dir/err.txt" ||
        { echo "onedayrun: the measured day failed (history $h, ${names[$b]}, run $r)" >&2
          tail -n 5 "$dir/out.txt" "$dir/err.txt" >&2; exit 1; }
    python3 - "$dir" "$h" "${names[$b]}" "$r" <<'PY'
import json, re, sys
d, history, build, run = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
time_v = open(d + "/time.txt").read()
wall = re.search(r"Elapsed \(wall clock\) time \(h:mm:ss or m:ss\): (.*)", time_v).group(1).strip()
seconds = sum(float(p) * 60 ** i for i, p in enumerate(reversed(wall.split(":"))))
rss_kb = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", time_v).group(1))
err = open(d + "/err.txt").read()
t = re.search(r"timings: total ([\d.]+) s, stand-in ([\d.]+) s, parsing ([\d.]+) s, event log ([\d.]+) s, "
              r"engine (-?[\d.]+) s, (\d+) round trips", err)
out = open(d + "/out.txt").read()
days = re.search(r"Days processed : (\d+)", out)
if not days or int(days.group(1)) != 1:
    sys.exit(f"onedayrun: the measured run in {d} did not process exactly one day")
# Event log entries begin with "HH:MM:SS, Month D, YYYY " at the start of a line.
log = open(d + "/data/Veltrane/Lotwise/qbevent.log", encoding="utf-8", errors="replace").read()
entries = re.split(r"(?m)^\d\d:\d\d:\d\d, \w+ \d+, \d{4} ", log)[1:]
documents = [e for e in entries if "QBXMLMsgsRq" in e]
requests = sum(len(re.findall(r"<(?!QBXMLMsgsRq\b)\w+Rq\b", e)) for e in documents)
kinds = {}
for e in documents:
    for m in re.finditer(r"<(?!QBXMLMsgsRq\b)(\w+)Rq\b", e):
        kinds[m.group(1)] = kinds.get(m.group(1), 0) + 1
answered = sum(len(e.encode()) for e in entries if "QBXMLMsgsRs" in e)
result = {"history": history, "build": build, "run": run, "wall_s": seconds, "rss_mb": rss_kb / 1024.0,
          "total_s": float(t.group(1)), "standin_s": float(t.group(2)), "parsing_s": float(t.group(3)),
          "eventlog_s": float(t.group(4)), "engine_s": float(t.group(5)), "timed_round_trips": int(t.group(6)),
          "round_trips": len(documents), "requests": requests, "answers_mb": answered / 1048576.0,
          "kinds": kinds}
json.dump(result, open(d + "/result.json", "w"))
print(f"  history {history}, {build}, run {run}: {seconds:.2f} s wall, stand-in {result['standin_s']:.2f} s, "
      f"parsing {result['parsing_s']:.2f} s; {len(documents)} round trips, {requests} requests, "
      f"{result['answers_mb']:.1f} MB answered")
PY
    [ "${KEEP:-0}" = 1 ] || rm -rf "$dir/data" "$dir/company.qbw" "$dir/reports"
}

for h in $histories; do
    [[ $h =~ ^[1-9][0-9]*$ ]] || { echo "onedayrun: a history is a whole number of days: $h" >&2; exit 2; }
    mkdir -p "$work/h$h"
    t0=$(now)
    "$qbsim" generate "$work/h$h/company.qbw" --items "$items" --assemblies "$assemblies" \
        --days $((h + 1)) --seed "$seed" --per-day "$perday"
    echo "history $h: company of $((h + 1)) days generated in $(echo "$(now) - $t0" | bc) s" >&2
    for b in "${!names[@]}"; do
        base=$work/h$h/$(folder "${names[$b]}")
        mkdir -p "$base/valued"
        cp "$work/h$h/company.qbw" "$base/valued/company.qbw"
        t0=$(now)
        if [ "$h" -gt 1 ]; then setup "$h" "$b" -3d "$(day $((h - 2)))"; fi
        setup "$h" "$b" -1d "$(day $((h - 1)))"
        rm -rf "$base/setup-reports"
        echo "history $h: ${names[$b]} valued days 1 to $h in $(echo "$(now) - $t0" | bc) s" >&2
    done
    rm -f "$work/h$h/company.qbw"
    for r in $(seq 1 "$repeat"); do
        for b in "${!names[@]}"; do measure "$h" "$b" "$r"; done
    done
done

python3 - "$work" "$histories" "${names[@]}" <<'PY'
import glob, json, statistics, sys
work, histories, builds = sys.argv[1], [int(h) for h in sys.argv[2].split()], sys.argv[3:]
folder = lambda name: name.replace("/", "_")
rows = {}
steady = True
for h in histories:
    for b in builds:
        runs = [json.load(open(f)) for f in sorted(glob.glob(f"{work}/h{h}/{folder(b)}/run*/result.json"))]
        med = {k: statistics.median(r[k] for r in runs)
               for k in ("wall_s", "total_s", "standin_s", "parsing_s", "eventlog_s", "engine_s", "rss_mb")}
        for k in ("round_trips", "requests", "timed_round_trips"):
            values = sorted({r[k] for r in runs})
            med[k] = values[0]
            if len(values) > 1:
                steady = False
                print(f"onedayrun: {k} differ between the runs of history {h}, {b}: {values}; the table has the least")
        med["answers_mb"] = runs[0]["answers_mb"]
        med["kinds"] = runs[0]["kinds"]
        med["repeats"] = len(runs)
        rows[(h, b)] = med
json.dump({f"{h} {b}": v for (h, b), v in rows.items()}, open(work + "/results.json", "w"), indent=1)
print()
print("| history (days) | build | one more day (s) | round trips | requests | stand-in / parsing (s) "
      "| event log / engine (s) | answers (MB) |")
print("|---|---|---|---|---|---|---|---|")
for (h, b), m in rows.items():
    print(f"| {h} | {b} | {m['wall_s']:.2f} | {m['round_trips']} | {m['requests']} | "
          f"{m['standin_s']:.2f} / {m['parsing_s']:.2f} | {m['eventlog_s']:.2f} / {m['engine_s']:.2f} | "
          f"{m['answers_mb']:.1f} |")
print()
print(f"Medians of {rows[next(iter(rows))]['repeats']} runs each; round trips and requests "
      + ("are the same in every run." if steady else "DIFFER between the runs (above)."))
for b in builds:
    for h in histories:
        m = rows[(h, b)]
        kinds = ", ".join(f"{k} {n}" for k, n in sorted(m["kinds"].items(), key=lambda kv: -kv[1]))
        print(f"{b}, history {h}: requests by kind: {kinds}")
if 31 in histories:
    print()
    for b in builds:
        base = rows[(31, b)]
        for h in (730, 365):
            if h not in histories: continue
            m = rows[(h, b)]
            time_ratio = m["wall_s"] / base["wall_s"]
            trip_ratio = m["round_trips"] / base["round_trips"]
            verdict = ""
            if h == 730:
                verdict = " (goal at most 1.3: " + ("met" if time_ratio <= 1.3 and trip_ratio <= 1.3 else "MISSED") + ")"
            print(f"{b}: {h}/31 one more day {time_ratio:.2f}, round trips {trip_ratio:.2f}, "
                  f"requests {m['requests'] / base['requests']:.2f}{verdict}")
PY
