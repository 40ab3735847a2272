#!/usr/bin/env bash
# Installs what the tests need, builds Kinfolio and runs every test.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_packages "${build_packages[@]}" xvfb xauth imagemagick xdotool x11-utils
build -DBUILD_TESTING=ON
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
