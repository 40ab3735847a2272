#!/usr/bin/env bash
# Makes the README's screenshot, docs/screenshot.png: the main window showing
# one contact, on an X server of its own, with made-up data in a scratch home
# under build/. Builds the program first and installs what is missing, as
# run.sh does. Run it again after the window changes, and look at the
# picture before committing it: it is taken, not checked.
set -euo pipefail
source "$(dirname -- "${BASH_SOURCE[0]}")/../tests/support/xvfb.sh"

# Phase 1: build, then this same script again under Xvfb.
if [[ ${KINFOLIO_SHOT_ON_XVFB:-} != 1 ]]; then
    source "$(dirname -- "${BASH_SOURCE[0]}")/common.sh"
    install_packages "${build_packages[@]}" xvfb xauth imagemagick xdotool
    build
    scratch=$(fresh_scratch screenshot "$build/screenshot")
    rerun_on_xvfb KINFOLIO_SHOT_ON_XVFB "$scratch" "$build/bin/kinfolio" "$scratch" "$top/docs/screenshot.png"
fi

# Phase 2: on the X server.
exe=$1
scratch=$2
out=$3
use_scratch_home "$scratch"
data=$XDG_DATA_HOME/Kinfolio/Data
mkdir -p "$data"
list() {
    printf '"%s"\r\n' "$@"
}
list Family Friends Work >"$data/RelationsList"
list "Ellen Marsh" "Grandma June" "Tom Becker" "Uncle Ray" >"$data/NamesListFamily"
contact=$data/FamilyEllen\ Marsh
list "Sister" >"${contact}Relation"
list "14 March 1972" >"${contact}Birthday"
list Emily Jack Sophie >"${contact}DependantsList"
printf '"27 Willow Lane\r\nOakfield, OH 44512"\r\n' >"${contact}Address"
printf '"I-76 east to exit 19, then left onto Route 5.\r\nSecond right after the white church; the blue house at the end of the lane."\r\n' \
    >"${contact}DrivingDirections"
printf '"(330) 555-0142","(330) 555-0187","(330) 555-0110","","ellen.marsh@example.com"\r\n' >"${contact}Numbers"
printf '"Cell after 6 pm; the work number is the library front desk."\r\n' >"${contact}NumbNotes"

"$exe" >"$scratch/kinfolio.log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT
windows=$(timeout 20 xdotool search --sync --onlyvisible --name '^Kinfolio 1\.0$') || windows=
window=${windows%%$'\n'*}
if [[ -z $window ]]; then
    echo "screenshot: the program showed no window; it said:" >&2
    cat "$scratch/kinfolio.log" >&2
    exit 1
fi

# The first category with the keyboard, then on to the names list and its first name.
xdotool windowfocus --sync "$window"
xdotool key --delay 100 Down Tab Tab Tab Down
sleep 1
import -window "$window" "$scratch/shot.png"
# A palette of 64 colours keeps the picture small and the text sharp.
mkdir -p "$(dirname -- "$out")"
convert "$scratch/shot.png" -strip -dither None -colors 64 "PNG8:$out"
echo "screenshot: $out ($(stat -c %s "$out") bytes)"
