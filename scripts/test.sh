#!/usr/bin/env bash
# Installs what the tests need, builds Kinfolio and runs every test.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
# dpkg-dev and file let CPack read the Debian package's dependencies off the
# program; appstream and desktop-file-utils validate the desktop metadata. The
# sync tests run against the CardDAV servers Radicale and Xandikos, over TLS
# on a certificate openssl makes, and keep passwords with GNOME Keyring in a
# D-Bus session of their own. python3-vobject (khard's vCard library) reads the
# program's cards back.
install_packages "${build_packages[@]}" xvfb xauth imagemagick xdotool x11-utils \
  cups printer-driver-cups-pdf poppler-utils dpkg-dev file appstream desktop-file-utils e2fsprogs mount \
  radicale xandikos openssl gnome-keyring dbus python3-vobject

# The print tests print through a real CUPS queue that writes PDF files; they
# choose it for their own process, so the machine's default printer is left as
# it is, and nothing of the user's is changed or removed. Without the queue
# those tests skip, or fail where CI=true. lpstat answers in the C locale.
setup_print_queue() {
  local queue=KinfolioPDF
  if [[ $(LC_ALL=C lpstat -r 2>/dev/null) != "scheduler is running" ]]; then
    # cupsd goes into the background in a session of its own, so it keeps
    # running after this script and whatever started it.
    "${sudo[@]}" cupsd || return 0
    for _ in $(seq 1 50); do
      [[ $(LC_ALL=C lpstat -r 2>/dev/null) == "scheduler is running" ]] && break
      sleep 0.2
    done
  fi
  lpstat -v "$queue" >/dev/null 2>&1 ||
    "${sudo[@]}" lpadmin -p "$queue" -E -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd 2>/dev/null || return 0
  # A queue stopped by an earlier failed job would hold the tests' jobs.
  "${sudo[@]}" cupsenable "$queue" && "${sudo[@]}" cupsaccept "$queue" || return 0
}

build -DBUILD_TESTING=ON
# Just before the tests, so a scheduler started here is up when they print.
setup_print_queue
# Twice as many tests as cores: the kill, power-cut and sync tests spend most
# of their time waiting for the program they run or for a server.
ctest --test-dir "$build" --output-on-failure -j"$(( $(nproc) * 2 ))"
