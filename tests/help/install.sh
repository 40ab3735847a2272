#!/usr/bin/env bash
# Installs the built program into a scratch prefix, starts the installed copy
# on its own X server, opens the help with Ctrl+R and checks that the help
# window shows the installed help page.
#
#   install.sh <build directory> <scratch directory>
#
# The scratch directory is emptied first; the screenshot is kept there as
# readme.png.
set -euo pipefail
source "$(dirname -- "${BASH_SOURCE[0]}")/../support/xvfb.sh"

if [[ $# -ne 2 ]]; then
    echo "usage: $0 <build directory> <scratch directory>" >&2
    exit 2
fi
build=$1
scratch=$2

# Phase 1: install, then this same script again under Xvfb.
if [[ ${KINFOLIO_INSTALL_ON_XVFB:-} != 1 ]]; then
    require_tools install cmake xvfb-run xdotool import convert
    scratch=$(fresh_scratch install "$scratch")
    prefix=$scratch/prefix
    cmake --install "$build" --prefix "$prefix" >"$scratch/install.log"
    missing=0
    for file in bin/kinfolio share/kinfolio/Readme.htm share/applications/io.github.kinfolio.Kinfolio.desktop \
        share/icons/hicolor/32x32/apps/kinfolio.png share/icons/hicolor/scalable/apps/kinfolio.svg; do
        if [[ ! -f $prefix/$file ]]; then
            echo "install: FAIL: $file was not installed" >&2
            missing=1
        fi
    done
    ((missing == 0)) || exit 1
    echo "install: ok: program, help page, menu entry and icons installed under $prefix"
    rerun_on_xvfb KINFOLIO_INSTALL_ON_XVFB "$scratch" "$build" "$scratch"
fi

# Phase 2: on the X server, the installed copy in a home of its own.
use_scratch_home "$scratch"

log=$scratch/kinfolio.log
"$scratch/prefix/bin/kinfolio" >"$log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT

first_window() {
    local found
    found=$(timeout "$1" xdotool search --sync --onlyvisible --name "$2") || found=
    echo "${found%%$'\n'*}"
}

main=$(first_window 20 '^Kinfolio 1\.0$')
if [[ -z $main ]]; then
    echo "install: FAIL: the installed program showed no window; it said:" >&2
    cat "$log" >&2
    exit 1
fi
echo "install: ok: the installed program started"

xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers ctrl+r
readme=$(first_window 10 '^How does Kinfolio work\?$')
if [[ -z $readme ]]; then
    echo "install: FAIL: Ctrl+R opened no window \"How does Kinfolio work?\"" >&2
    exit 1
fi

# The page's section headings are white on teal RGB(0,160,160); a page that
# could not be found shows none. The window is mapped before it is painted.
png=$scratch/readme.png
teal=0
for _ in $(seq 1 40); do
    if import -window "$readme" "$png" 2>/dev/null; then
        teal=$(convert "$png" -depth 8 txt:- | grep -c -i '#00A0A0' || true)
        ((teal < 500)) || break
    fi
    sleep 0.25
done
if grep -q 'No document for' "$log"; then
    echo "install: FAIL: the installed program did not find its help page:" >&2
    cat "$log" >&2
    exit 1
fi
if ((teal < 500)); then
    echo "install: FAIL: the help window does not show the help page ($teal heading pixels); screenshot in $png" >&2
    exit 1
fi
echo "install: ok: the help window shows the installed help page ($teal heading pixels); screenshot in $png"
