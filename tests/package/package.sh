#!/usr/bin/env bash
# Builds the Debian package with CPack and installs it with dpkg into a
# scratch root. On an X server of its own, starts the program there through
# its menu entry and looks at it as a user would: the window at its size and
# in its colours, the installed help page behind Ctrl+R, Ctrl+X ending it.
# Then removes the package and checks that it took every file it brought and
# none of the user's.
#
#   package.sh <build directory> <version> <scratch directory>
#
# dpkg checks the package's dependencies against a copy of this machine's
# package database, so an install that dpkg -i would refuse here fails.
set -euo pipefail
source "$(dirname -- "${BASH_SOURCE[0]}")/../support/xvfb.sh"

if [[ $# -ne 3 ]]; then
    echo "usage: $0 <build directory> <version> <scratch directory>" >&2
    exit 2
fi
build=$1
version=$2
scratch=$3
failures=0
fail() {
    echo "package: FAIL: $*" >&2
    failures=$((failures + 1))
}
pass() {
    echo "package: ok: $*"
}
# Fails at once with what the tool said, kept in file $2.
die() {
    echo "package: FAIL: $1:" >&2
    cat -- "$2" >&2
    exit 1
}

# Runs dpkg on the scratch root, without its warnings about the copied
# database holding no file lists (it needs none: no other package is there).
scratch_dpkg() {
    dpkg --instdir="$root" --admindir="$admin" "$@" 2> >(grep -v 'files list file for package .* missing' >&2)
}

# Phase 1: build the package and install it, then this same script again under Xvfb.
if [[ ${KINFOLIO_PACKAGE_ON_XVFB:-} != 1 ]]; then
    require_tools package cpack dpkg dpkg-deb dpkg-shlibdeps xvfb-run xdotool xprop import convert
    scratch=$(fresh_scratch package "$scratch")
    deb=$scratch/kinfolio_${version}_$(dpkg --print-architecture).deb
    (cd -- "$build" && cpack -G DEB -B "$scratch/cpack") >"$scratch/cpack.log" 2>&1 || die "cpack failed" "$scratch/cpack.log"
    mv -- "$scratch/cpack/$(basename -- "$deb")" "$deb" || die "cpack made no $(basename -- "$deb")" "$scratch/cpack.log"
    pass "built $(basename -- "$deb")"

    # The libraries come from dpkg-shlibdeps, which CPack leaves out silently
    # where it is missing; the font is named by hand.
    depends=$(dpkg-deb -f "$deb" Depends)
    for needed in 'libqt6widgets6 (>= ' 'libqt6printsupport6 (>= ' 'libc6 (>= ' 'fonts-comic-neue'; do
        [[ $depends == *"$needed"* ]] || fail "Depends has no \"$needed\": $depends"
    done
    for field in Section Maintainer Description; do
        [[ -n $(dpkg-deb -f "$deb" "$field") ]] || fail "the package has no $field"
    done
    pass "Depends: $depends"

    root=$scratch/root
    admin=$scratch/admin
    mkdir -p "$root" "$admin/info" "$admin/updates" "$admin/triggers"
    cp /var/lib/dpkg/status "$admin/status"
    scratch_dpkg -i "$deb" >"$scratch/dpkg-install.log" || die "dpkg -i refused the package" "$scratch/dpkg-install.log"
    scratch_dpkg -L kinfolio >"$scratch/files"
    for file in /usr/bin/kinfolio /usr/share/kinfolio/Readme.htm \
        /usr/share/applications/io.github.kinfolio.Kinfolio.desktop \
        /usr/share/metainfo/io.github.kinfolio.Kinfolio.metainfo.xml \
        /usr/share/icons/hicolor/scalable/apps/kinfolio.svg \
        /usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/kinfolio.png; do
        grep -qx -- "$file" "$scratch/files" && [[ -f $root$file ]] || fail "$file is not installed"
    done
    pass "dpkg -i installed $(grep -c . "$scratch/files") files and directories under $root"
    ((failures == 0)) || exit 1
    rerun_on_xvfb KINFOLIO_PACKAGE_ON_XVFB "$scratch" "$build" "$version" "$scratch"
fi

# Phase 2: on the X server, the menu entry's command in a home of its own.
root=$scratch/root
admin=$scratch/admin
use_scratch_home "$scratch"
data=$XDG_DATA_HOME/Kinfolio/Data
mkdir -p "$data"
printf '"Family"\r\n' >"$data/RelationsList"
printf '"Ann"\r\n' >"$data/NamesListFamily"
(cd -- "$data" && sha256sum -- *) >"$scratch/data.sums"

entry=$root/usr/share/applications/io.github.kinfolio.Kinfolio.desktop
exec_line=$(sed -n 's/^Exec=//p' "$entry")
wm_class=$(sed -n 's/^StartupWMClass=//p' "$entry")
PATH=$root/usr/bin:$PATH
if [[ $(command -v -- "${exec_line%% *}") != "$root/usr/bin/kinfolio" ]]; then
    fail "the menu entry's Exec=$exec_line does not name the installed program"
fi
# shellcheck disable=SC2086 # the Exec line is a command line
$exec_line >"$scratch/kinfolio.log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT

# The first window whose title matches, waiting up to $1 seconds.
first_window() {
    local found
    found=$(timeout "$1" xdotool search --sync --onlyvisible --name "$2") || found=
    echo "${found%%$'\n'*}"
}
window=$(first_window 20 '^Kinfolio 1\.0$')
[[ -n $window ]] || die "the installed program showed no window; it said" "$scratch/kinfolio.log"
pass "Exec=$exec_line started the installed program"

# WM_CLASS is "instance", "class"; a desktop matches StartupWMClass to the class.
class=$(xprop -id "$window" WM_CLASS | sed -n 's/.*= ".*", "\(.*\)"$/\1/p')
[[ $class == "$wm_class" ]] && pass "the window's class $class is the menu entry's StartupWMClass" ||
    fail "the window's class is \"$class\", the menu entry's StartupWMClass \"$wm_class\""

# Photographs window $1 into $2 until it shows at least $4 pixels of colour
# $3 (a window is mapped before it is painted); prints how many it shows.
photograph() {
    local n=0
    for _ in $(seq 1 40); do
        if import -window "$1" "$2" 2>/dev/null; then
            n=$(convert "$2" -depth 8 txt:- | grep -c -i "$3" || true)
            ((n < $4)) || break
        fi
        sleep 0.25
    done
    echo "$n"
}

# The client area, 9870 x 6735 twips, is 658 x 449 pixels at the server's
# 96 DPI, in the form's colour RGB(0,192,192) from just below the menu bar.
png=$scratch/look.png
teal=$(photograph "$window" "$png" '#00C0C0' 1000)
width=$(convert "$png" -format '%w' info:)
height=$(convert "$png" -format '%h' info:)
bar=$(convert "$png" -crop "1x$height+4+0" -depth 8 txt:- | awk -F '[,:]' '!bar && tolower($0) ~ /#00c0c0/ { bar = $2; print bar }')
if ((width == 658 && height - ${bar:-0} == 449)); then
    pass "client area ${width}x$((height - bar)) px below a menu bar of $bar px; screenshot in $png"
else
    fail "window ${width}x$height px, form colour from row ${bar:-none}: not a 658x449 client area; screenshot in $png"
fi

# The help window shows the installed page: its headings are white on teal
# RGB(0,160,160); a page that cannot be found shows none.
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers ctrl+r
readme=$(first_window 10 '^How does Kinfolio work\?$')
if [[ -z $readme ]]; then
    fail "Ctrl+R opened no window \"How does Kinfolio work?\""
else
    headings=$(photograph "$readme" "$scratch/readme.png" '#00A0A0' 500)
    if ((headings >= 500)) && ! grep -q 'No document for' "$scratch/kinfolio.log"; then
        pass "the help window shows the installed help page ($headings heading pixels)"
    else
        fail "the help window does not show the installed help page; screenshot in $scratch/readme.png"
    fi
fi

# Ctrl+X ends the program, leaving no window behind.
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers ctrl+x
for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
status=0
if kill -0 "$pid" 2>/dev/null; then
    fail "the program still runs 5 s after Ctrl+X"
elif wait "$pid" || status=$?; ((status != 0)); then
    fail "Ctrl+X ended the program with status $status"
elif xdotool search --name '^Kinfolio 1\.0$' >/dev/null 2>&1; then
    fail "a window \"Kinfolio 1.0\" is left after the program ended"
else
    pass "Ctrl+X ended the program"
fi

# The user's data, untouched by starting and leaving the program, must outlive the package.
scratch_dpkg -r kinfolio >"$scratch/dpkg-remove.log" || die "dpkg -r failed" "$scratch/dpkg-remove.log"
left=$(cd -- "$root" && find . -mindepth 1)
[[ -z $left ]] && pass "dpkg -r removed every file and directory it installed" || fail "dpkg -r left: $left"
if (cd -- "$data" && sha256sum --quiet -c "$scratch/data.sums"); then
    pass "the user's data is untouched: $(cd -- "$data" && echo *)"
else
    fail "the program or removing the package changed the user's data"
fi

if ((failures > 0)); then
    echo "package: $failures check(s) failed; files in $scratch" >&2
    exit 1
fi
echo "package: all checks passed"
