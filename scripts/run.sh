#!/usr/bin/env bash
# Installs what is missing, builds Kinfolio and starts it.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_packages "${build_packages[@]}"
build
exec "$build/bin/kinfolio"
