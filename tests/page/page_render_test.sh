#!/usr/bin/env bash
# The run's page in a real browser: a sample page is written by the engine's page writer,
# rendered by headless Chromium through scripts/render-page, and the PNG is checked to be
# a whole picture of the window's size with something drawn on it; Chromium's own reading
# of the page (its DOM) must hold the texts and both charts. Skipped (exit 77) when
# Chromium is not installed.
# Arguments: the samplepage program, scripts/render-page, the folder to leave the page
# and its picture in (sample-page.html, sample-page.png), for a person to look at.
set -u
samplepage=$1 render=$2 out=$3
chromium=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$chromium" ]; then
    echo "SKIPPED: chromium is not installed (scripts/bootstrap installs it); the page was not rendered"
    exit 77
fi
failures=0 checks=0
fail() { echo "FAIL $1"; failures=$((failures + 1)); }
ok() { echo "ok   $1"; }

mkdir -p "$out"
out=$(cd "$out" && pwd)
page="$out/sample-page.html" png="$out/sample-page.png"
checks=$((checks + 1))
"$samplepage" "$page" && ok "page written" || { fail "page written"; exit 1; }

start=$(date +%s)
checks=$((checks + 1))
if "$render" "$page" "$png"; then ok "rendered in $(($(date +%s) - start)) s: $png"; else fail "rendered"; exit 1; fi

# PNG: the signature, then the IHDR chunk with the width and height as big-endian words.
checks=$((checks + 1))
header=$(od -An -tx1 -N24 "$png" | tr -d ' \n')
width=$((16#${header:32:8})) height=$((16#${header:40:8}))
if [ "${header:0:16}" = 89504e470d0a1a0a ] && [ "$width" -eq 1000 ] && [ "$height" -eq 1600 ]; then
    ok "a PNG of 1000 x 1600"
else
    fail "a PNG of 1000 x 1600: header $header"
fi
# A blank window compresses to a few kilobytes; text and two charts take far more.
checks=$((checks + 1))
size=$(wc -c <"$png")
if [ "$size" -gt 40000 ]; then ok "not blank ($size bytes)"; else fail "not blank: only $size bytes"; fi

# What Chromium made of the page: the texts a person reads and both charts.
checks=$((checks + 1))
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
timeout 120 "$chromium" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" --dump-dom "file://$page" >"$out/sample-page.dom" 2>/dev/null
missing=""
for text in "Lotwise FIFO valuation — Acme Hardware &amp; Garden" "Period: 01/01/2025 to 01/31/2025" \
    "QuickBooks now carries the FIFO value of 118 of 120 items on hand (01/31/2025)." "Bolt &lt;M8&gt; &amp; \"nut\" set" \
    'href="costrun20250101_20250131.csv"' 'aria-labelledby="days-chart-title days-chart-desc"' \
    'aria-labelledby="items-chart-title items-chart-desc"' "<rect"; do
    grep -qF -- "$text" "$out/sample-page.dom" || missing="$missing [$text]"
done
if [ -z "$missing" ]; then ok "the browser's DOM holds the texts and both charts"; else fail "the DOM lacks:$missing"; fi

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
