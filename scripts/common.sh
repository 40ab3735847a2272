# Shared by run.sh and test.sh: install missing Debian packages, then build.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KINFOLIO_BUILD_DIR:-$top/build}

# Commands that need root run through sudo for other users.
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

# Installs the named Debian packages that are not installed yet.
install_packages() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# What building and running the program needs; librsvg2-bin draws the icon's
# sizes from its SVG, qtkeychain-qt6-dev takes passwords to the Secret Service.
build_packages=(cmake make g++ qt6-base-dev qt6-image-formats-plugins fonts-comic-neue librsvg2-bin qtkeychain-qt6-dev)

# KINFOLIO_WERROR=ON (CI sets it) makes every compiler warning an error, and
# KINFOLIO_UNITY_BUILD=ON compiles the sources in batches: quicker from
# scratch, slower after a change to one file. Line tables are all a backtrace
# needs; the full debug information would make the optimised build a third
# slower to compile.
build() {
  cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE="${KINFOLIO_BUILD_TYPE:-RelWithDebInfo}" \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DKINFOLIO_WERROR="${KINFOLIO_WERROR:-OFF}" \
    -DCMAKE_UNITY_BUILD="${KINFOLIO_UNITY_BUILD:-OFF}" "$@" >/dev/null
  cmake --build "$build" -j"$(nproc)"
}
