#!/usr/bin/env bash
# The desktop program lotwise.exe under Wine on a virtual X screen (Xvfb), through real
# COM: QuickBooks' request processor is qbxmlrp_stub.dll forwarding to `qbsim serve`, as
# in fullrun.sh. The program's test mode (--drive, win32/windowdriver.h) plays the user
# with window messages: "..." and the Open dialog, the date pickers, Process, the About
# box, File > Exit. This script follows its log, takes the screenshots, and checks what
# the windows showed and what the run left in the books:
#
#   first run      a file never valued: the start date picker shows, the run completes,
#                  the books and report equal those of a Linux run of lotwise-cli
#   second open    the same file, now valued: the start date as text, the current up-to
#                  date, and an up-to date not after it refused with the window's text;
#                  then File > Rewind... to an earlier day, confirmed, and Process again:
#                  the books equal those of a Linux run straight to that up-to date
#   close mid-run  a close asked for while Process runs waits for the run, then ends
#                  the program
#
#   windowrun.sh REPO_DIR WINDOWS_BUILD_DIR LINUX_BUILD_DIR
#
# The Wine prefix is WINDOWS_BUILD_DIR/wineprefix-gui (made when missing). The first run's
# company file (opened again by the second) is kept where a user keeps it, in the
# Documents folder of the prefix's user (C:\users\USER\Documents\Zoë Données), and the
# program keeps its data and reports in its default folders there, as the screenshots
# show; the other runs' files go to WINDOWS_BUILD_DIR/windowrun. The screenshots (main
# window after the run, progress window, About box) go to WINDOWS_BUILD_DIR/screenshots.
# Prints "N passed, N failed"; exit code 0 only when nothing failed.
set -u

if [ $# -ne 3 ]; then
    echo "usage: windowrun.sh REPO_DIR WINDOWS_BUILD_DIR LINUX_BUILD_DIR" >&2
    exit 2
fi
repo=$(cd "$1" && pwd) || exit 2
winbuild=$(cd "$2" && pwd) || exit 2
linuxbuild=$(cd "$3" && pwd) || exit 2
# shellcheck source=tests/windows/winelib.sh
source "$(dirname "$0")/winelib.sh"

work=$winbuild/windowrun
shots=$winbuild/screenshots
qbsim=$linuxbuild/qbsim/qbsim
linux_cli=$linuxbuild/cli/lotwise-cli
exe=$winbuild/win32/lotwise.exe
dll=$(find "$winbuild" -name qbxmlrp_stub.dll -not -path '*/wineprefix*' 2>/dev/null | head -n 1)

xvfb_pid= program_pid=
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
    stop_server
    [ -n "${WINEPREFIX:-}" ] && "$(wineserver_of)" -k 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}

# ---- tools
for tool in "$qbsim" "$linux_cli" "$exe" "$dll"; do
    if [ -z "$tool" ] || [ ! -f "$tool" ]; then
        fail "${tool:-qbxmlrp_stub.dll} not built"
        finish
    fi
done
for tool in Xvfb import convert compare xwininfo; do
    if ! command -v "$tool" >/dev/null; then
        fail "$tool not installed (xvfb, imagemagick, x11-utils)"
        finish
    fi
done
if ! find_wine; then
    fail "wine64 not installed"
    finish
fi
rm -rf "$work"
mkdir -p "$work" "$shots"
# No picture of an earlier run may stand in for one this run did not take.
rm -f "$shots"/lotwise-win32-*.png

# ---- the screen: Xvfb picks a free display and names it on the descriptor given
exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 5>&-
for _ in $(seq 50); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
if [ ! -s "$work/display" ]; then
    fail "Xvfb did not start"
    cat "$work/xvfb.log"
    finish
fi
export DISPLAY=":$(head -n 1 "$work/display")"

# ---- the prefix: made once; Wine draws the windows' frames itself (there is no window
# manager), and the stand-in's COM server is registered
export WINEPREFIX=$winbuild/wineprefix-gui WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
# A server left from another screen would put the windows there.
"$(wineserver_of)" -k 2>/dev/null
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "${wine[@]}" wineboot -i >/dev/null 2>&1
    "${wine[@]}" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
fi
if "${wine[@]}" regsvr32 /s "$(winpath "$dll")" >/dev/null 2>&1; then
    pass "qbxmlrp_stub.dll registered in $WINEPREFIX"
else
    fail "regsvr32 could not register $dll"
    finish
fi

# ---- the user's folders: Wine links the prefix user's Documents to the home folder;
# here it is a folder of the prefix's own, emptied of an earlier run's files
profile_win=$("${wine[@]}" cmd /c 'echo %USERPROFILE%' 2>/dev/null | tr -d '\r')
profile_rest=${profile_win#[Cc]:}
profile=$WINEPREFIX/drive_c${profile_rest//\\//}
documents=$profile/Documents
if [ -z "$profile_rest" ] || [ ! -d "$profile" ]; then
    fail "no profile folder of the prefix's user (USERPROFILE \"$profile_win\")"
    finish
fi
[ -L "$documents" ] && rm "$documents"
mkdir -p "$documents"
rm -rf "$documents/Zoë Données" "$documents/Veltrane" "$profile/AppData/Roaming/Veltrane"

# ---- companies: one never valued for the first run, one for the close, one for Linux
pristine="$work/Acme Hardware.pristine.qbw"
if ! make_sample_company "$pristine"; then
    fail "sample company"
    cat "$work/create.out"
    finish
fi
company() {  # company RUN: the run's company file, the first run's in the user's Documents
    if [ "$1" = first ]; then
        echo "$documents/Zoë Données/Acme Hardware.qbw"
    else
        echo "$work/$1/Zoë Données/Acme Hardware.qbw"
    fi
}
reports() {  # reports RUN: the documents folder the run's reports are made under
    if [ "$1" = first ]; then echo "$documents"; else echo "$work/$1/Zoë Données/Rapports"; fi
}
winname() {  # winname PATH: the Windows name of a file, on drive C: within the prefix
    case $1 in
        "$WINEPREFIX/drive_c/"*)
            local rest=${1#"$WINEPREFIX/drive_c"}
            printf 'C:%s' "${rest//\//\\}"
            ;;
        *) winpath "$1" ;;
    esac
}
for run in first close linux linux15; do
    mkdir -p "$(dirname "$(company "$run")")"
    cp "$pristine" "$(company "$run")"
done

# ---- the program and its log
log=
start_program() {  # start_program NAME RUN ARGS...: lotwise.exe --drive NAME.log on RUN's company
    local run=$2 folders=()
    log=$work/$1.log
    shift 2
    # The first run's file is valued with the program's default folders, the others' with
    # folders of their own.
    if [ "$run" != first ]; then
        folders=(--data-dir "$(winpath "$work/$run/Zoë Données/AppData")"
            --report-dir "$(winpath "$(reports "$run")")")
    fi
    QBSIM_SERVE_PORT=$port "${wine[@]}" "$exe" --drive "$(winpath "$log")" \
        --company "$(winname "$(company "$run")")" "${folders[@]}" "$@" >"${log%.log}.out" 2>&1 &
    program_pid=$!
}
wait_for() {  # wait_for LINE SECONDS: true once the log has the line (a regular expression)
    local deadline=$(($(date +%s) + $2))
    while [ "$(date +%s)" -lt "$deadline" ]; do
        grep -qE -- "$1" "$log" 2>/dev/null && return 0
        kill -0 "$program_pid" 2>/dev/null || break
        sleep 0.2
    done
    grep -qE -- "$1" "$log" 2>/dev/null
}
go_on() { : >"$log.continue"; }
wait_count() {  # wait_count LINE N SECONDS: true once the log has the line N times
    local deadline=$(($(date +%s) + $3))
    while [ "$(grep -cE -- "$1" "$log" 2>/dev/null)" -lt "$2" ]; do
        [ "$(date +%s)" -lt "$deadline" ] && kill -0 "$program_pid" 2>/dev/null || return 1
        sleep 0.2
    done
}
end_program() {  # end_program SECONDS: the program's exit code (124 when it had to be killed)
    local deadline=$(($(date +%s) + $1)) status
    while kill -0 "$program_pid" 2>/dev/null; do
        if [ "$(date +%s)" -ge "$deadline" ]; then
            kill "$program_pid" 2>/dev/null
            wait "$program_pid" 2>/dev/null
            program_pid=
            return 124
        fi
        sleep 0.2
    done
    wait "$program_pid"
    status=$?
    program_pid=
    return $status
}
expect() {  # expect NAME TEXT...: for each text, a line of the log starts with it
    local name=$1 line
    shift
    for line in "$@"; do
        if ! line=$line awk 'index($0, ENVIRON["line"]) == 1 { found = 1 } END { exit !found }' "$log"; then
            fail "$name: the log lacks \"$line\""
            grep -E '^(control|timeout|window|exit)' "$log" | tail -n 20
            return
        fi
    done
    pass "$name"
}
crop() {  # crop SCREEN NAME RECT-NAME: the part of the screen the log's rectangle names, not all one colour
    local rect x y w h
    rect=$(grep "^rect $3: " "$log" | tail -n 1 | cut -d' ' -f3-)
    [ -n "$rect" ] && read -r x y w h <<<"$rect" &&
        convert "$1" -crop "${w}x${h}+${x}+${y}" +repage "$shots/$2.png" 2>>"$work/import.err" &&
        [ "$(convert "$shots/$2.png" -format '%[fx:standard_deviation > 0.05]' info:)" = 1 ] &&
        echo "${w}x${h}"
}
screenshot() {  # screenshot NAME WINDOW: the screen, the window cut out, and its inside when logged
    local size
    import -window root "$shots/$1-screen.png" 2>>"$work/import.err"
    if size=$(crop "$shots/$1-screen.png" "$1" "$2"); then
        pass "screenshot $shots/$1.png ($size)"
    else
        fail "screenshot $1: no picture of the $2 window"
    fi
    if grep -q "^rect $2-inside: " "$log"; then
        crop "$shots/$1-screen.png" "$1-inside" "$2-inside" >/dev/null || fail "screenshot $1: no picture of its inside"
    fi
}
status_line() { grep "^control 1005 " "$log" | tail -n 1 | sed 's/^[^:]*: //'; }

never_valued="has never been performed on this file."
completed="Process completed\\n\\nA report of the calculation is created at "

# ---- first run: a file never valued, through the whole window
echo "---- first run"
# Each request waits a quarter of a second, so that the progress window stays up for its
# picture (without it the month runs in well under a second).
start_server "$(company first)" "latency-ms=250" || finish
start_program first first --start 2025-01-01 --upto 2025-01-31
if wait_for '^window shown$' 120; then
    pass "first run: the main window opens after the splash"
    expect "first run: the menus" $'menu &File: &Open\tCtrl+O|&Rewind...|-|&Exit' \
        $'menu &Help: User &Manual\tF1|&Tutorial|-|&About...'
    expect "first run: the window before a file is opened" \
        "control 1001 shown enabled: ..." "control 1002 shown disabled: Process" \
        "control 1003 shown disabled: " "control 1008 hidden enabled: "
else
    fail "first run: the main window did not show"
fi
if wait_for '^opened$' 300; then
    expect "first run: the Open dialog with the company filter, the file opened" \
        "open dialog: QuickBooks Company Files (*.qbw)" \
        "control 1000 shown enabled: $(winname "$(company first)")" \
        "control 1004 shown enabled: Acme Hardware" "control 1008 shown enabled: " \
        "control 1002 shown enabled: Process"
    if grep -q "^control 1005 shown enabled: .*$never_valued" "$log"; then
        pass "first run: the status asks for a start date"
    else
        fail "first run: the status after Open: $(status_line)"
    fi
fi
# The progress window is found on the screen by its title, before and after its picture
# is taken, and its picture must differ from the same part of the screen after the run.
progress_title="Communicating with QuickBooks..."
progress_viewable() { xwininfo -name "$progress_title" 2>/dev/null | grep -q 'Map State: IsViewable'; }
if wait_for '^progress shown$' 300; then
    sleep 4.5  # two steps of the bar
    if progress_viewable; then
        screenshot lotwise-win32-progress-window progress
        if progress_viewable; then
            pass "progress window: \"$progress_title\" on the screen while its picture was taken"
        else
            fail "progress window: gone while its picture was taken (the run was too quick)"
        fi
    else
        fail "progress window: no window \"$progress_title\" on the screen 4.5 s after it showed"
    fi
fi
if wait_for '^waiting$' 1800; then
    screenshot lotwise-win32-main-window main
    rect=$(grep "^rect progress: " "$log" | tail -n 1 | cut -d' ' -f3-)
    if [ -f "$shots/lotwise-win32-progress-window.png" ] && [ -n "$rect" ] &&
        read -r x y w h <<<"$rect" &&
        convert "$shots/lotwise-win32-main-window-screen.png" -crop "${w}x${h}+${x}+${y}" +repage \
            "$shots/after-run-progress-area.png" 2>>"$work/import.err" &&
        [ "$(compare -metric AE "$shots/lotwise-win32-progress-window.png" \
            "$shots/after-run-progress-area.png" null: 2>&1)" != 0 ]; then
        pass "progress window: its picture is not what the screen shows there after the run"
    else
        fail "progress window: its picture equals the screen after the run, or is missing"
    fi
    rm -f "$shots/after-run-progress-area.png"
    expect "first run: the dates picked and the up-to date valued" \
        "picked 1008: 01/01/2025" "picked 1003: 01/31/2025" "control 1007 shown enabled: 01/31/2025"
    if [[ "$(status_line)" == "$completed"*"costrun20250101_20250131.csv"* ]]; then
        pass "first run: Process completed, the report named in the status"
    else
        fail "first run: the status after Process: $(status_line)"
    fi
    go_on
fi
if wait_for '^about shown$' 60; then
    sleep 0.3
    screenshot lotwise-win32-about about
    expect "first run: the About box" "about 1021: Lotwise v1.10" "about 1022: For use with QuickBooks®" "about 1: OK"
    go_on
fi
end_program 120
status=$?
expect "first run: About closed, File > Exit ends the program" "about closed" "window closed" "exit 0"
[ "$status" -eq 0 ] || fail "first run: lotwise.exe exit $status"
stop_server
# The books as the first run left them, before the second open rewinds them.
"$qbsim" valuation "$(company first)" --date 2025-01-31 >"$work/first.valuation.csv" 2>&1

# ---- second open: the file is valued now; an up-to date before the current one is
# refused until a rewind to a day before it
echo "---- second open"
start_server "$(company first)" || finish
start_program second first --start 2025-03-01 --upto 2025-01-15 --rewind 2025-01-10
if wait_for '^waiting$' 600; then
    expect "second open: start date as text, the current up-to date, the start picker hidden" \
        "control 1006 shown enabled: 01/01/2025" "control 1008 hidden enabled: " \
        "control 1007 shown enabled: 01/31/2025" "picked 1003: 01/15/2025"
    if grep -q "^picked 1008" "$log"; then
        fail "second open: the hidden start date was picked"
    fi
    if [ "$(status_line)" = "Request failed.  The new Up To Date has to be after the current Up to Date.  Please change it to a later date." ]; then
        pass "second open: Process refused with the window's text"
    else
        fail "second open: the status after Process: $(status_line)"
    fi
    go_on
fi
if wait_for '^rewound$' 600; then
    expect "second open: File > Rewind... with its dialog and question" \
        "rewind dialog: Value again from this date on." "picked 1025: 01/10/2025" "rewind question: Rewind to 01/10/2025?" \
        "control 1007 shown enabled: 01/09/2025" \
        "control 1005 shown enabled: Rewind completed. " 
fi
if wait_count '^waiting$' 2 600; then
    if [[ "$(status_line)" == "$completed"*"costrun20250110_20250115.csv"* ]] &&
        grep -qx "control 1007 shown enabled: 01/15/2025" "$log"; then
        pass "second open: Process after the rewind completes up to 01/15/2025"
    else
        fail "second open: Process after the rewind: $(status_line)"
    fi
    go_on
fi
wait_for '^about shown$' 60 && go_on
end_program 120
status=$?
[ "$status" -eq 0 ] && grep -qx "exit 0" "$log" || fail "second open: lotwise.exe exit $status"
stop_server

# ---- close mid-run: the close waits for the run, whose books must be whole
echo "---- close mid-run"
start_server "$(company close)" "latency-ms=10" || finish
start_program close close --start 2025-01-01 --upto 2025-01-31 --close-during-run
end_program 1800
status=$?
expect "close mid-run: the close asked during the run ends the program after it" \
    "progress shown" "close asked during the run" "window closed" "exit 0"
[ "$status" -eq 0 ] || fail "close mid-run: lotwise.exe exit $status"
stop_server

# ---- the books of the window runs against Linux runs of lotwise-cli
echo "---- books"
linux_run() {  # linux_run RUN UPTO
    timeout 1800 "$linux_cli" --company "$(company "$1")" --start 2025-01-01 --upto "$2" \
        --data-dir "$work/$1/Zoë Données/AppData" --report-dir "$work/$1/Zoë Données/Rapports" \
        >"$work/$1.out" 2>&1 || fail "Linux run $1: exit $?"
}
linux_run linux 2025-01-31
linux_run linux15 2025-01-15
"$qbsim" valuation "$(company linux)" --date 2025-01-31 >"$work/linux.valuation.csv" 2>&1
report_name=costrun20250101_20250131.csv
linux_report=$(find "$work/linux" -name "$report_name" | head -n 1)
"$qbsim" valuation "$(company first)" --date 2025-01-15 >"$work/rewound.valuation.csv" 2>&1
"$qbsim" valuation "$(company linux15)" --date 2025-01-15 >"$work/linux15.valuation.csv" 2>&1
if [ -s "$work/linux15.valuation.csv" ] && cmp -s "$work/rewound.valuation.csv" "$work/linux15.valuation.csv"; then
    pass "rewound: valuation on 2025-01-15 equal to a Linux run straight to it"
else
    fail "rewound: valuation on 2025-01-15 differs from a Linux run straight to it"
    diff "$work/rewound.valuation.csv" "$work/linux15.valuation.csv" | head -n 10
fi
"$qbsim" valuation "$(company close)" --date 2025-01-31 >"$work/close.valuation.csv" 2>&1
for run in first close; do
    if [ -s "$work/linux.valuation.csv" ] && cmp -s "$work/$run.valuation.csv" "$work/linux.valuation.csv"; then
        pass "$run: valuation on 2025-01-31 equal to the Linux run's ($(wc -l <"$work/linux.valuation.csv") items)"
    else
        fail "$run: valuation on 2025-01-31 differs from the Linux run's"
        diff "$work/$run.valuation.csv" "$work/linux.valuation.csv" | head -n 10
    fi
    report=$(find "$(reports "$run")" -name "$report_name" 2>/dev/null | head -n 1)
    if [ -n "$report" ] && [ -n "$linux_report" ] && diff -q <(tr -d '\r' <"$report") "$linux_report" >/dev/null; then
        pass "$run: the report (${report#"$(reports "$run")/"}) says what the Linux run's says"
    else
        fail "$run: no $report_name like the Linux run's under $(reports "$run")"
    fi
done

finish
