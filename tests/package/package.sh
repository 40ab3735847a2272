#!/usr/bin/env bash
# package.sh <build directory> <version> <scratch directory>: builds the Debian package and installs
# it with dpkg into a scratch root, against a copy of this machine's package database; its menu entry
# and metadata pass their validators, offline. On an X server of its own, starts it from its menu
# entry: its window, the installed help page behind Ctrl+R, Ctrl+X ending it. Then removes it: every
# file it brought goes, none of the user's.
set -euo pipefail
source "$(dirname -- "${BASH_SOURCE[0]}")/../support/xvfb.sh"
build=$1 version=$2 scratch=$3 failures=0
fail() { echo "package: FAIL: $*" >&2; failures=$((failures + 1)); }
die() { echo "package: FAIL: $1:" >&2; cat -- "$2" >&2; exit 1; }
# dpkg on the scratch root, without its warnings that the copied database's packages have no file lists.
scratch_dpkg() { dpkg --instdir="$root" --admindir="$admin" "$@" 2> >(grep -v 'files list file for package .* missing' >&2); }
[[ ${KINFOLIO_PACKAGE_ON_XVFB:-} == 1 ]] || scratch=$(fresh_scratch package "$scratch")
root=$scratch/root admin=$scratch/admin

# Phase 1: build the package and install it, then this same script again under Xvfb.
if [[ ${KINFOLIO_PACKAGE_ON_XVFB:-} != 1 ]]; then
    for tool in cpack dpkg dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli xvfb-run xdotool xprop import convert; do
        command -v "$tool" >/dev/null || { echo "package: FAIL: $tool is not installed" >&2; exit 1; }
    done
    deb=kinfolio_${version}_$(dpkg --print-architecture).deb
    (cd -- "$build" && cpack -G DEB -B "$scratch/cpack") >"$scratch/cpack.log" 2>&1 && [[ -f $scratch/cpack/$deb ]] ||
        die "cpack made no $deb" "$scratch/cpack.log"
    deb=$scratch/cpack/$deb
    # The libraries come from dpkg-shlibdeps, which CPack leaves out silently where it is missing.
    depends=$(dpkg-deb -f "$deb" Depends)
    for needed in 'libqt6widgets6 (>= ' 'libqt6printsupport6 (>= ' 'libc6 (>= ' 'fonts-comic-neue'; do
        [[ $depends == *"$needed"* ]] || fail "Depends has no \"$needed\": $depends"
    done
    (($(dpkg-deb -f "$deb" Section Maintainer Description | grep -c '^[A-Z][a-z]*: .') == 3)) ||
        fail "the package lacks a Section, Maintainer or Description"
    mkdir -p "$root" "$admin/info" "$admin/updates" "$admin/triggers"
    cp /var/lib/dpkg/status "$admin/status"
    scratch_dpkg -i "$deb" >"$scratch/dpkg.log" || die "dpkg -i refused the package" "$scratch/dpkg.log"
    scratch_dpkg -L kinfolio >"$scratch/files"
    # The menu entry and the metadata are found by the validators below.
    for file in /usr/bin/kinfolio /usr/share/kinfolio/Readme.htm \
        /usr/share/icons/hicolor/{scalable/apps/kinfolio.svg,{16x16,32x32,48x48,64x64,128x128,256x256}/apps/kinfolio.png}; do
        grep -qx -- "$file" "$scratch/files" && [[ -f $root$file ]] || fail "$file is not installed"
    done
    said=$(desktop-file-validate "$root"/usr/share/applications/*.desktop 2>&1) || true
    [[ -z $said ]] || fail "desktop-file-validate: $said"
    appstreamcli validate --no-net --strict "$root"/usr/share/metainfo/*.xml >"$scratch/metainfo.log" ||
        fail "appstreamcli validate: $(cat -- "$scratch/metainfo.log")"
    ((failures == 0)) || exit 1
    rerun_on_xvfb KINFOLIO_PACKAGE_ON_XVFB "$scratch" "$build" "$version" "$scratch"
fi

# Phase 2: on the X server, the menu entry's command in a home of its own.
use_scratch_home "$scratch"
data=$XDG_DATA_HOME/Kinfolio/Data
mkdir -p "$data"
printf '"Family"\r\n' >"$data/RelationsList"
printf '"Ann"\r\n' >"$data/NamesListFamily"
(cd -- "$data" && sha256sum -- *) >"$scratch/data.sums"
entry=$root/usr/share/applications/io.github.kinfolio.Kinfolio.desktop
exec_line=$(sed -n 's/^Exec=//p' "$entry")
PATH=$root/usr/bin:$PATH
[[ $(command -v -- "${exec_line%% *}") == "$root/usr/bin/kinfolio" ]] || fail "Exec=$exec_line is not the installed program"
# shellcheck disable=SC2086 # the Exec line is a command line
$exec_line >"$scratch/kinfolio.log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT
# The first window whose title matches $2, waiting up to $1 seconds.
first_window() { timeout "$1" xdotool search --sync --onlyvisible --name "$2" | head -n 1 || true; }
window=$(first_window 20 '^Kinfolio 1\.0$')
[[ -n $window ]] || die "the installed program showed no window; it said" "$scratch/kinfolio.log"
# WM_CLASS is "instance", "class"; a desktop matches StartupWMClass to the class.
class=$(xprop -id "$window" WM_CLASS | sed -n 's/.*= ".*", "\(.*\)"$/\1/p')
[[ $class == "$(sed -n 's/^StartupWMClass=//p' "$entry")" ]] || fail "the window's class \"$class\" is not StartupWMClass"

xdotool windowfocus --sync "$window" key --clearmodifiers ctrl+r
readme=$(first_window 10 '^How does Kinfolio work\?$')
[[ -n $readme ]] || die "Ctrl+R opened no window \"How does Kinfolio work?\"" /dev/null
# The help page's headings are white on teal RGB(0,160,160), a page not found shows none; the window
# is photographed until they show, as it is mapped before it is painted.
png=$scratch/readme.png
for try in {40..0}; do
    n=$( (import -window "$readme" "$png" && convert "$png" -depth 8 txt:- | grep -c -i '#00A0A0') 2>/dev/null || true)
    ((${n:-0} < 500 && try > 0)) || break
    sleep 0.25
done
((${n:-0} >= 500)) && ! grep -q 'No document for' "$scratch/kinfolio.log" || fail "the help window shows no help page; see $png"

xdotool windowfocus --sync "$window" key --clearmodifiers ctrl+x
timeout 5 tail --pid="$pid" -s 0.1 -f /dev/null && wait "$pid" || fail "Ctrl+X did not end the program well within 5 s"

scratch_dpkg -r kinfolio >"$scratch/dpkg.log" || die "dpkg -r failed" "$scratch/dpkg.log"
[[ -z $(find "$root" -mindepth 1) ]] || fail "dpkg -r left: $(find "$root" -mindepth 1)"
(cd -- "$data" && sha256sum --quiet -c "$scratch/data.sums") || fail "the program or dpkg -r changed the user's data"
((failures == 0)) || { echo "package: $failures check(s) failed; files in $scratch" >&2; exit 1; }
echo "package: all checks passed"
