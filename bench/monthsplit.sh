#!/usr/bin/env bash
# Whether valuing a year in monthly runs posts what one run over the year posts. Not part
# of CTest.
#
#   bench/monthsplit.sh [BUILD-DIR]     # default: build-bench beside this folder's parent
#
# Generates, in a temporary folder, one stand-in company (`qbsim generate`, ITEMS items,
# default 300, ASSEMBLIES assemblies, default 15, DAYS days from 2024-01-01, default 366:
# the whole of 2024, SEED, default 1) and values three copies of it with lotwise-cli:
#   a. in one run over every day;
#   b. in one run per calendar month (the last one up to the last day generated), all with
#      one data folder;
#   c. as b, with the purchase history removed from every store in the data folder
#      (lotwise-*.db) before each run, so that each run rebuilds whatever it keeps.
# Then it reads the books of each copy from the company file (the stand-in's SQLite file,
# read-only): every line of the value adjustments the runs posted (memo "FIFO valuation":
# date, account, class, customer, item, quantity difference, new quantity, value
# difference and new value) and every build's BuildValue (date, assembly, value), and says
# "identical" or prints the first differences of b and c against a. It prints the wall
# time of each variant. Exit status: 0 when all three agree, 1 when they differ, 2 when a
# run failed or on a usage error. KEEP=1 keeps the temporary folder.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build-bench}
cli=$build/cli/lotwise-cli
qbsim=$build/qbsim/qbsim
items=${ITEMS:-300}
assemblies=${ASSEMBLIES:-15}
days=${DAYS:-366}
seed=${SEED:-1}
start=2024-01-01
[ -x "$cli" ] && [ -x "$qbsim" ] || { echo "monthsplit: build lotwise-cli and qbsim in $build first" >&2; exit 2; }
[[ $days =~ ^[1-9][0-9]*$ ]] || { echo "monthsplit: DAYS takes a whole number from 1" >&2; exit 2; }
work=$(mktemp -d)
[ "${KEEP:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT
last=$(date -d "$start + $((days - 1)) days" +%F)
now() { date +%s.%N; }

t0=$(now)
"$qbsim" generate "$work/pristine.qbw" --items "$items" --assemblies "$assemblies" --days "$days" --seed "$seed"
echo "generated $items items over $days days ($start to $last) in $(echo "$(now) - $t0" | bc) s"

# value VARIANT UPTO [--start DATE]: one lotwise-cli run on the variant's copy.
value() {
    local dir=$work/$1 upto=$2
    shift 2
    "$cli" --company "$dir/company.qbw" "$@" --upto "$upto" --data-dir "$dir/data" --report-dir "$dir/reports" \
        >>"$dir/out.txt" 2>&1 ||
        { echo "monthsplit: lotwise-cli failed in variant $(basename "$dir") up to $upto" >&2
          tail -n 5 "$dir/out.txt" >&2; exit 2; }
}

# The last day of each month from the start on, up to the last day generated.
month_ends() {
    local m=$start
    while [[ $m < $last || $m == "$last" ]]; do
        local end
        end=$(date -d "$(date -d "$m" +%Y-%m-01) + 1 month - 1 day" +%F)
        [[ $end < $last ]] || end=$last
        echo "$end"
        m=$(date -d "$end + 1 day" +%F)
    done
}

declare -A wall
for variant in a b c; do
    mkdir -p "$work/$variant"
    cp "$work/pristine.qbw" "$work/$variant/company.qbw"
    removed=0 runs=0
    t0=$(now)
    if [ $variant = a ]; then
        value a "$last" --start "$start"
        runs=1
    else
        for end in $(month_ends); do
            if [ $variant = c ] && [ -d "$work/c/data" ]; then
                removed=$((removed + $(python3 - "$work/c/data" <<'PY'
import glob, sqlite3, sys
removed = 0
for store in glob.glob(f"{sys.argv[1]}/**/lotwise-*.db", recursive=True):
    db = sqlite3.connect(store)
    with db:
        removed += db.execute("DELETE FROM purchase_history").rowcount
    db.close()
print(removed)
PY
)))
            fi
            if [ $runs = 0 ]; then value $variant "$end" --start "$start"; else value $variant "$end"; fi
            runs=$((runs + 1))
        done
    fi
    wall[$variant]=$(echo "$(now) - $t0" | bc)
    note=""
    [ $variant != c ] || note=", $removed purchase histories removed before them"
    echo "variant $variant: $runs run(s) in ${wall[$variant]} s$note"
done

python3 - "$work" <<'PY'
import difflib, sqlite3, sys
from collections import Counter
work = sys.argv[1]

def books(variant):
    db = sqlite3.connect(f"file:{work}/{variant}/company.qbw?mode=ro", uri=True)
    name = "(SELECT full_name FROM list_object WHERE id = {})".format
    lines = db.execute(f"""
        SELECT t.txn_date, {name('t.account_id')}, {name('t.class_id')}, {name('t.entity_id')},
               {name('l.item_id')}, l.quantity_difference, l.new_quantity, l.value_difference, l.new_value,
               t.is_void
        FROM txn t JOIN txn_line l ON l.txn_row = t.id
        WHERE t.txn_type = 'InventoryAdjustment' AND t.memo = 'FIFO valuation'""").fetchall()
    builds = db.execute(f"""
        SELECT t.txn_date, {name('t.item_id')}, v.value
        FROM dataext_value v JOIN dataext_def d ON d.id = v.def_id
        JOIN txn t ON t.txn_id = v.object_key AND t.txn_type = 'BuildAssembly'
        WHERE d.name = 'BuildValue'""").fetchall()
    db.close()
    text = lambda v: "" if v is None else (f"{v:.6f}".rstrip("0").rstrip(".") if isinstance(v, float) else str(v))
    rows = ["adjustment " + " | ".join(text(v) for v in row) for row in lines]
    rows += ["build " + " | ".join(text(v) for v in row) for row in builds]
    return sorted(rows), len(lines), len(builds)

a, adjustments, builds = books("a")
# The monthly runs with the kept purchase history (b) and without it (c) must agree
# whatever a says: the kept history must give the books of a full reading.
kept, full = books("b")[0], books("c")[0]
print("b against c (kept purchase history against a full reading): " +
      ("identical" if kept == full else f"DIFFERENT ({len(list((Counter(kept) - Counter(full)).elements()))} rows)"))
print(f"a: {adjustments} value adjustment lines, {builds} build values")
if adjustments == 0:
    print("a posted nothing: nothing to compare")
    sys.exit(1)
differ = False
for variant in ("b", "c"):
    other, n, m = books(variant)
    if other == a:
        print(f"{variant} against a: identical ({n} adjustment lines, {m} build values)")
        continue
    differ = True
    only_a = list((Counter(a) - Counter(other)).elements())
    only_v = list((Counter(other) - Counter(a)).elements())
    first = min(row.split(" ", 1)[1][:10] for row in only_a + only_v)
    print(f"{variant} against a: DIFFERENT ({n} adjustment lines, {m} build values): {len(only_a)} rows of a "
          f"and {len(only_v)} of {variant} have no equal in the other, the first on {first}; first differences "
          "(date | account | class | customer | item | quantity difference | new quantity | "
          "value difference | new value | void, or date | assembly | value):")
    shown = 0
    for line in difflib.unified_diff(a, other, "a", variant, n=0, lineterm=""):
        if line.startswith(("---", "+++", "@@")): continue
        print("  " + line)
        shown += 1
        if shown == 20:
            print("  ...")
            break
sys.exit(1 if differ else 0)
PY
