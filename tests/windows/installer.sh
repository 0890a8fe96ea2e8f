#!/usr/bin/env bash
# The setup program under Wine, on 64-bit and on 32-bit Windows: lotwise-setup.exe /S
# installs the 32-bit Lotwise for the machine (its files, byte for byte those of the
# build, into "Program Files (x86)" on 64-bit Windows and "Program Files" on 32-bit
# Windows; the Start-menu entries; the entry in Apps & features, in the registry view of
# 32-bit programs, with its uninstall command), the installed lotwise-cli.exe runs, and
# the uninstall command, run silently, takes every part of it away again.
#
#   installer.sh WINDOWS_BUILD_DIR
#
# The Wine prefixes are WINDOWS_BUILD_DIR/wineprefix-setup (64-bit Windows) and
# WINDOWS_BUILD_DIR/wineprefix-setup32 (32-bit Windows), made when missing, made again
# when an earlier run left an installation behind. Prints "N passed, N failed"; exit
# code 0 only when nothing failed.
set -u

if [ $# -ne 1 ]; then
    echo "usage: installer.sh WINDOWS_BUILD_DIR" >&2
    exit 2
fi
winbuild=$(cd "$1" && pwd) || exit 2
# shellcheck source=tests/windows/winelib.sh
source "$(dirname "$0")/winelib.sh"

setup=$winbuild/lotwise-setup.exe
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$winbuild/CMakeCache.txt")
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}
if [ ! -f "$setup" ]; then
    fail "lotwise-setup.exe not built (makensis missing?)"
    finish
fi
if ! find_wine; then
    fail "wine64 not installed"
    finish
fi
if ! find_wine32; then
    fail "wine32 not installed"
    finish
fi
wine64=("${wine[@]}")
for program in win32/lotwise.exe cli/lotwise-cli.exe lotwise-setup.exe; do
    if [ "$(pe_machine "$winbuild/$program")" != i386 ]; then
        fail "$program is not a 32-bit program ($(pe_machine "$winbuild/$program"))"
    fi
done

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
wineserver=$(wineserver_of)
trap '"$wineserver" -k 2>/dev/null' EXIT

setup_on() {  # setup_on win64|win32: install, check and uninstall in that prefix
    local arch=$1 windows programs programs_win software folder startmenu key drive uninstall help left status missing
    local -a wine
    if [ "$arch" = win64 ]; then
        # 64-bit Windows: 32-bit programs go to "Program Files (x86)"; reg.exe, as 64-bit,
        # reads their registry view under Wow6432Node.
        windows="64-bit Windows" wine=("${wine64[@]}")
        export WINEPREFIX=$winbuild/wineprefix-setup
        programs_win='C:\Program Files (x86)' software='HKLM\Software\Wow6432Node'
    else
        windows="32-bit Windows" wine=("${wine32[@]}")
        export WINEPREFIX=$winbuild/wineprefix-setup32
        programs_win='C:\Program Files' software='HKLM\Software'
    fi
    drive=$WINEPREFIX/drive_c
    programs=$drive/${programs_win#C:\\}
    folder="$programs/Veltrane/Lotwise"
    startmenu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Lotwise"
    key="$software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lotwise"

    regvalue() {  # regvalue KEY NAME: the value's data as reg.exe prints it; false when missing
        "${wine[@]}" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
            sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | grep .
    }
    leftovers() {  # what an installation leaves in the prefix, one per line
        [ -e "$folder" ] && echo "the install folder $folder"
        [ -e "$programs/Veltrane" ] && echo "the publisher's folder"
        [ -e "$startmenu" ] && echo "the Start-menu folder"
        "${wine[@]}" reg query "$key" >/dev/null 2>&1 && echo "the uninstall key $key"
        "${wine[@]}" reg query "$software\\Veltrane" >/dev/null 2>&1 && echo "$software\\Veltrane"
        # Nothing of the 32-bit program goes where 64-bit programs live.
        if [ "$arch" = win64 ]; then
            [ -e "$drive/Program Files/Veltrane" ] && echo "a folder in the 64-bit Program Files"
            "${wine[@]}" reg query 'HKLM\Software\Veltrane' >/dev/null 2>&1 && echo "the 64-bit view's HKLM\\Software\\Veltrane"
            "${wine[@]}" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Lotwise' >/dev/null 2>&1 &&
                echo "an uninstall key in the 64-bit view"
        fi
    }

    echo "---- prefix: $windows"
    if [ -f "$WINEPREFIX/system.reg" ] && [ -n "$(leftovers)" ]; then
        rm -rf "$WINEPREFIX"
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        WINEARCH=$arch "${wine[@]}" wineboot -i >/dev/null 2>&1
    fi
    "$wineserver" -w

    echo "---- install"
    "${wine[@]}" "$setup" /S >"$winbuild/installer-$arch.out" 2>&1
    status=$?
    # The setup program may hand work to other processes of the prefix: wait for them all.
    "$wineserver" -w
    if [ "$status" -eq 0 ]; then
        pass "$windows: lotwise-setup.exe /S: exit 0"
    else
        fail "$windows: lotwise-setup.exe /S: exit $status"
        cat "$winbuild/installer-$arch.out"
    fi
    missing=()
    for pair in "lotwise.exe:win32/lotwise.exe" "lotwise-cli.exe:cli/lotwise-cli.exe" "manual.pdf:win32/manual.pdf" \
        "tutorial/tutorial.html:win32/tutorial/tutorial.html"; do
        cmp -s "$folder/${pair%%:*}" "$winbuild/${pair#*:}" || missing+=("${pair%%:*}")
    done
    for file in licence.txt uninstall.exe; do
        [ -s "$folder/$file" ] || missing+=("$file")
    done
    if [ ${#missing[@]} -eq 0 ]; then
        pass "$windows: files installed in $programs_win\\Veltrane\\Lotwise, the build's own"
    else
        fail "$windows: install folder: missing or not the build's: ${missing[*]}"
    fi
    if grep -aq "lotwise.exe" "$startmenu/Lotwise.lnk" 2>/dev/null &&
        grep -aq "manual.pdf" "$startmenu/Lotwise User Manual.lnk" 2>/dev/null &&
        grep -aq "tutorial.html" "$startmenu/Lotwise Tutorial.lnk" 2>/dev/null; then
        pass "$windows: Start-menu entries for every user: the program, the manual, the tutorial"
    else
        fail "$windows: Start-menu entries missing under $startmenu"
        ls -la "$startmenu" 2>&1 | head
    fi
    if [ "$(leftovers | wc -l)" -ne 5 ]; then
        fail "$windows: the checks for leftovers do not see all of the installation: $(leftovers | paste -sd ';')"
    fi
    uninstall=$(regvalue "$key" UninstallString)
    if [ "$(regvalue "$key" DisplayName)" = "Lotwise" ] && [ "$(regvalue "$key" DisplayVersion)" = "$version" ] &&
        [ "$(regvalue "$key" Publisher)" = "Veltrane" ] &&
        [ "$uninstall" = "\"$programs_win\\Veltrane\\Lotwise\\uninstall.exe\"" ] &&
        regvalue "$key" EstimatedSize >/dev/null && regvalue "$key" DisplayIcon >/dev/null; then
        pass "$windows: Apps & features entry: Lotwise $version by Veltrane, with its uninstall command"
    else
        fail "$windows: uninstall key $key: DisplayName $(regvalue "$key" DisplayName), DisplayVersion" \
            "$(regvalue "$key" DisplayVersion) (want $version), UninstallString $uninstall"
    fi

    echo "---- the installed command line"
    help=$("${wine[@]}" "$programs_win\\Veltrane\\Lotwise\\lotwise-cli.exe" --help 2>&1)
    status=$?
    if [ "$status" -eq 0 ] && [[ "$help" == "usage: lotwise-cli --company FILE"* ]]; then
        pass "$windows: installed lotwise-cli.exe --help: exit 0 with its usage"
    else
        fail "$windows: installed lotwise-cli.exe --help: exit $status: $help"
    fi

    echo "---- uninstall"
    # The command of the Apps & features entry, as Windows runs it, silently.
    "${wine[@]}" "$(printf '%s' "$uninstall" | tr -d '"')" /S >"$winbuild/uninstaller-$arch.out" 2>&1
    status=$?
    "$wineserver" -w
    [ "$status" -eq 0 ] || fail "$windows: uninstall.exe /S: exit $status"
    left=$(leftovers)
    if [ -z "$left" ]; then
        pass "$windows: uninstall.exe /S: nothing left (install folder, Start menu, registry)"
    else
        fail "$windows: uninstall.exe /S left: $(echo "$left" | paste -sd ';')"
    fi

    "$wineserver" -k 2>/dev/null
}

setup_on win64
setup_on win32

finish
