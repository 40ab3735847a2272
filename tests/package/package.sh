#!/usr/bin/env bash
# Builds the Debian package with CPack, installs it with dpkg into a scratch
# root, starts the program there through its menu entry on its own X server,
# then removes the package and checks that it took every file it brought and
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

# Runs dpkg on the scratch root, without its warnings about the copied
# database holding no file lists (it needs none: no other package is there).
scratch_dpkg() {
    dpkg --instdir="$root" --admindir="$admin" "$@" 2> >(grep -v 'files list file for package .* missing' >&2)
}

# Phase 1: build the package and install it, then this same script again under Xvfb.
if [[ ${KINFOLIO_PACKAGE_ON_XVFB:-} != 1 ]]; then
    require_tools package cpack dpkg dpkg-deb dpkg-shlibdeps xvfb-run xdotool xprop
    scratch=$(fresh_scratch package "$scratch")
    deb=$scratch/kinfolio_${version}_$(dpkg --print-architecture).deb
    if ! (cd -- "$build" && cpack -G DEB -B "$scratch/cpack") >"$scratch/cpack.log" 2>&1; then
        echo "package: FAIL: cpack failed:" >&2
        cat "$scratch/cpack.log" >&2
        exit 1
    fi
    mv -- "$scratch/cpack/$(basename -- "$deb")" "$deb" || {
        echo "package: FAIL: cpack made no $(basename -- "$deb"):" >&2
        ls "$scratch/cpack" >&2
        exit 1
    }
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
    if ! scratch_dpkg -i "$deb" >"$scratch/dpkg-install.log"; then
        echo "package: FAIL: dpkg -i refused the package:" >&2
        cat "$scratch/dpkg-install.log" >&2
        exit 1
    fi
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

windows=$(timeout 20 xdotool search --sync --onlyvisible --name '^Kinfolio 1\.0$') || windows=
window=${windows%%$'\n'*}
if [[ -z $window ]]; then
    echo "package: FAIL: the installed program showed no window; it said:" >&2
    cat "$scratch/kinfolio.log" >&2
    exit 1
fi
pass "Exec=$exec_line started the installed program"

# WM_CLASS is "instance", "class"; a desktop matches StartupWMClass to the class.
class=$(xprop -id "$window" WM_CLASS | sed -n 's/.*= ".*", "\(.*\)"$/\1/p')
if [[ $class == "$wm_class" ]]; then
    pass "the window's class $class is the menu entry's StartupWMClass"
else
    fail "the window's class is \"$class\", the menu entry's StartupWMClass \"$wm_class\""
fi

# The window list and the title bar pick their size from the icons a window
# offers. xprop reads half a megabyte of a property unless told more; the
# 256-pixel icon lies beyond that.
icon_sizes() {
    xprop -len 4000000 -id "$1" _NET_WM_ICON | sed -n 's/.*Icon (\([0-9]*\) x [0-9]*).*/\1/p' | sort -n | xargs
}
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers ctrl+a
abouts=$(timeout 10 xdotool search --sync --onlyvisible --name '^About$') || abouts=
offering=("main window:$window")
if [[ -n $abouts ]]; then
    offering+=("About box:${abouts%%$'\n'*}")
else
    fail "Ctrl+A opened no About box"
fi
for shown in "${offering[@]}"; do
    sizes=$(icon_sizes "${shown#*:}")
    if [[ $sizes == "16 32 48 64 128 256" ]]; then
        pass "the ${shown%%:*} offers its icon at $sizes"
    else
        fail "the ${shown%%:*} offers its icon at \"$sizes\", not 16 32 48 64 128 256"
    fi
done
kill "$pid"
wait "$pid" 2>/dev/null || true

# The user's data, as the program left it, must outlive the package.
(cd -- "$data" && sha256sum -- *) >"$scratch/data.sums"
if ! scratch_dpkg -r kinfolio >"$scratch/dpkg-remove.log"; then
    fail "dpkg -r failed"
    cat "$scratch/dpkg-remove.log" >&2
fi
left=$(cd -- "$root" && find . -mindepth 1)
if [[ -z $left ]]; then
    pass "dpkg -r removed every file and directory it installed"
else
    fail "dpkg -r left: $left"
fi
if (cd -- "$data" && sha256sum --quiet -c "$scratch/data.sums"); then
    pass "the user's data is untouched: $(cd -- "$data" && echo *)"
else
    fail "removing the package changed the user's data"
fi

if ((failures > 0)); then
    echo "package: $failures check(s) failed; files in $scratch" >&2
    exit 1
fi
echo "package: all checks passed"
