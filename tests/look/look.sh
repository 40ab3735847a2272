#!/usr/bin/env bash
# Starts the real program on its own X server, photographs the main window
# and checks what a user would see there, then leaves it with Ctrl+X.
#
#   look.sh <kinfolio executable> <scratch directory>
#
# Everything the program writes goes under the scratch directory, which is
# emptied first; the screenshot is kept there as look.png.
set -euo pipefail
source "$(dirname -- "${BASH_SOURCE[0]}")/../support/xvfb.sh"

if [[ $# -ne 2 ]]; then
    echo "usage: $0 <kinfolio executable> <scratch directory>" >&2
    exit 2
fi
exe=$1
scratch=$2

# Phase 1: a fresh scratch directory, then this same script again under Xvfb.
if [[ ${KINFOLIO_LOOK_ON_XVFB:-} != 1 ]]; then
    require_tools look xvfb-run xdotool import convert
    if [[ ! -x $exe ]]; then
        echo "look: FAIL: no program at $exe" >&2
        exit 1
    fi
    scratch=$(fresh_scratch look "$scratch")
    exe=$(cd -- "$(dirname -- "$exe")" && pwd)/$(basename -- "$exe")
    rerun_on_xvfb KINFOLIO_LOOK_ON_XVFB "$scratch" "$exe" "$scratch"
fi

# Phase 2: on the X server.
trap 'echo "look: FAIL: command failed at line $LINENO" >&2' ERR
failures=0
fail() {
    echo "look: FAIL: $*" >&2
    failures=$((failures + 1))
}
pass() {
    echo "look: ok: $*"
}

# Pixels at the screen's 96 DPI, from twips.
px() {
    echo $((($1 * 96 + 720) / 1440))
}

use_scratch_home "$scratch"
mkdir -p "$XDG_DATA_HOME/Kinfolio/Data"

# A later start: the data directory exists and holds categories.
data=$XDG_DATA_HOME/Kinfolio/Data
printf '"Work"\r\n"family"\r\n"Friends"\r\n' >"$data/RelationsList"
cp "$data/RelationsList" "$scratch/RelationsList.before"

"$exe" >"$scratch/kinfolio.log" 2>&1 &
pid=$!
stop_program() {
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
}
trap stop_program EXIT

title='^Kinfolio 1\.0$'
windows=$(timeout 20 xdotool search --sync --onlyvisible --name "$title") || windows=
window=${windows%%$'\n'*}
if [[ -z $window ]]; then
    echo "look: FAIL: no window \"Kinfolio 1.0\" appeared within 20 s; the program said:" >&2
    cat "$scratch/kinfolio.log" >&2
    exit 1
fi
pass "window \"Kinfolio 1.0\" is mapped (id $window)"

png=$scratch/look.png

# "r g b" of one pixel.
pixel() {
    convert "$png" -format "%[fx:int(255*p{$1,$2}.r+0.5)] %[fx:int(255*p{$1,$2}.g+0.5)] %[fx:int(255*p{$1,$2}.b+0.5)]" info:
}

# Whether "r g b" lies within tolerance of the expected r g b.
near() {
    local got want i tolerance=$5
    read -r -a got <<<"$1"
    want=("$2" "$3" "$4")
    for i in 0 1 2; do
        local d=$((got[i] - want[i]))
        if ((d < -tolerance || d > tolerance)); then
            return 1
        fi
    done
}

# How many pixels of a rectangle lie within tolerance of a colour.
count_near() {
    local x=$1 y=$2 w=$3 h=$4 r=$5 g=$6 b=$7 tolerance=$8
    convert "$png" -crop "${w}x${h}+${x}+${y}" +repage -depth 8 txt:- |
        sed -n 's/^[0-9]*,[0-9]*: *(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' |
        awk -v r="$r" -v g="$g" -v b="$b" -v t="$tolerance" '
            function off(a, e) { return a > e ? a - e : e - a }
            off($1, r) <= t && off($2, g) <= t && off($3, b) <= t { n++ }
            END { print n + 0 }'
}

# The menu bar sits above the client area; the form's colour starts below it
# in the strip left of the frames.
menu_bar_height() {
    local x height y
    x=$(px 60)
    height=$(convert "$png" -format '%h' info:)
    for ((y = 0; y < height; y++)); do
        if near "$(pixel "$x" "$y")" 0 192 192 24; then
            echo "$y"
            return
        fi
    done
    echo -1
}

# The window is mapped before it is painted: photograph it until the form's
# colour shows below the menu bar.
painted=0
for _ in $(seq 1 40); do
    if import -window "$window" "$png" 2>/dev/null; then
        bar=$(menu_bar_height)
        if ((bar > 0)); then
            painted=1
            break
        fi
    fi
    sleep 0.25
done
if ((painted == 0)); then
    echo "look: FAIL: the window never showed the form colour RGB(0,192,192); screenshot in $png" >&2
    exit 1
fi
sleep 0.5
import -window "$window" "$png"
bar=$(menu_bar_height)
width=$(convert "$png" -format '%w' info:)
height=$(convert "$png" -format '%h' info:)
echo "look: screenshot $png: ${width}x${height} px, menu bar $bar px"

# Client area 9870 x 6735 twips.
if ((width == $(px 9870))); then
    pass "window width $width px"
else
    fail "window width $width px, expected $(px 9870)"
fi
if ((height - bar == $(px 6735))); then
    pass "client height $((height - bar)) px"
else
    fail "client height $((height - bar)) px (window $height - menu bar $bar), expected $(px 6735)"
fi

# A point given in twips of the client area, as image pixels.
at() {
    echo "$(px "$1") $(($(px "$2") + bar))"
}

check_colour() {
    local what=$1 tx=$2 ty=$3 r=$4 g=$5 b=$6
    local x y got
    read -r x y < <(at "$tx" "$ty")
    got=$(pixel "$x" "$y")
    if near "$got" "$r" "$g" "$b" 24; then
        pass "$what: RGB(${got// /,}) at ($x,$y)"
    else
        fail "$what: RGB(${got// /,}) at ($x,$y), expected RGB($r,$g,$b) +-24"
    fi
}

check_colour "form background" 60 6675 0 192 192
check_colour "fraCategories background" $((120 + 2000)) $((120 + 1300)) 0 192 192
check_colour "txtRelation background" $((3120 + 120 + 967)) $((1080 + 600 + 165)) 255 255 255
# Button faces, left of their centred captions.
check_colour "cmdEditColors face (main button)" $((7920 + 120 + 150)) $((1680 + 480 + 307)) 128 128 255
check_colour "cmdAddRelationship face (minor button)" $((120 + 240 + 150)) $((120 + 840 + 127)) 192 192 255

# The caption "Categories", drawn in dark blue between the frame's top and its
# first label.
read -r cx cy < <(at 120 120)
caption_width=$(px 1500)
caption_height=$(px 240)
blue=$(count_near "$cx" "$cy" "$caption_width" "$caption_height" 0 0 192 48)
if ((blue >= 10)); then
    pass "\"Categories\" caption: $blue dark blue pixels"
else
    fail "\"Categories\" caption: $blue pixels near RGB(0,0,192) in ${caption_width}x${caption_height}+$cx+$cy, expected at least 10"
fi

# Ctrl+X ends the program, whichever control has the focus.
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers ctrl+x
ended=0
for _ in $(seq 1 50); do
    if ! kill -0 "$pid" 2>/dev/null; then
        ended=1
        break
    fi
    sleep 0.1
done
if ((ended == 1)); then
    status=0
    wait "$pid" || status=$?
    if ((status == 0)); then
        pass "Ctrl+X ended the program"
    else
        fail "Ctrl+X ended the program with status $status"
    fi
    if xdotool search --name "$title" >/dev/null 2>&1; then
        fail "a window \"Kinfolio 1.0\" is left after the program ended"
    fi
else
    fail "the program still runs 5 s after Ctrl+X"
fi

if cmp -s "$data/RelationsList" "$scratch/RelationsList.before"; then
    pass "RelationsList untouched"
else
    fail "RelationsList changed by starting and leaving the program"
fi

# A stored colour scheme and a contact with a picture, shown in the picture window.
printf ' 255 \r\n' >"$data/FormBackColor"       # red
printf ' 65280 \r\n' >"$data/MainButtonsColor"  # green
printf '"Family"\r\n' >"$data/RelationsList"
printf '"Ann"\r\n' >"$data/NamesListFamily"
convert -size 120x80 'xc:rgb(0,0,255)' "$scratch/ann.jpg"
printf '%s\r\n' "$scratch/ann.jpg" >"$data/FamilyAnnPic"

"$exe" >>"$scratch/kinfolio.log" 2>&1 &
pid=$!
windows=$(timeout 20 xdotool search --sync --onlyvisible --name "$title") || windows=
window=${windows%%$'\n'*}
if [[ -z $window ]]; then
    fail "no window \"Kinfolio 1.0\" on the second start"
else
    # Pick the category with the keyboard, then the name and the check box with the mouse.
    xdotool windowfocus --sync "$window"
    xdotool key Down
    sleep 0.3
    read -r nx ny < <(at $((120 + 240 + 200)) $((120 + 1440 + 100)))
    xdotool mousemove "$nx" "$ny" click 1
    sleep 0.3
    read -r kx ky < <(at $((7920 + 120)) $((1320 + 127)))
    xdotool mousemove "$kx" "$ky" click 1
    pictures=$(timeout 10 xdotool search --sync --onlyvisible --name '^Picture$') || pictures=
    picture=${pictures%%$'\n'*}
    if [[ -z $picture ]]; then
        fail "Show/Hide Picture did not show the window \"Picture\""
    else
        # Keep it clear of the main window for the photographs.
        xdotool windowmove --sync "$picture" 700 0
        sleep 0.5
        png=$scratch/look-scheme.png
        import -window "$window" "$png"
        check_colour "stored form background" 60 6675 255 0 0
        check_colour "stored main button colour" $((7920 + 120 + 150)) $((1680 + 480 + 307)) 0 255 0
        check_colour "minor button keeps its colour" $((120 + 240 + 150)) $((120 + 840 + 127)) 192 192 255
        png=$scratch/look-picture.png
        import -window "$picture" "$png"
        pw=$(convert "$png" -format '%w' info:)
        ph=$(convert "$png" -format '%h' info:)
        # Window = picture box + 350 x 1800 twips outside; with no window manager
        # the frame is the 50 x 570 twips the design leaves for it.
        if ((pw == 120 + $(px 300) && ph == 80 + $(px 1230))); then
            pass "picture window ${pw}x${ph} px fits the 120x80 picture"
        else
            fail "picture window ${pw}x${ph} px, expected $((120 + $(px 300)))x$((80 + $(px 1230)))"
        fi
        got=$(pixel $(($(px 120) + 60)) $(($(px 120) + 40)))
        near "$got" 0 0 255 24 && pass "picture shown" || fail "picture centre RGB(${got// /,}), expected blue"
        got=$(pixel 3 3)
        near "$got" 255 0 0 24 && pass "picture window in the stored form colour" ||
            fail "picture window background RGB(${got// /,}), expected red"
    fi
    stop_program
fi

if ((failures > 0)); then
    echo "look: $failures check(s) failed; screenshot in $png; program output in $scratch/kinfolio.log" >&2
    exit 1
fi
echo "look: all checks passed"
