#!/bin/sh
# Runs a test in a D-Bus session of its own with GNOME Keyring's Secret
# Service, its keyring (in the test's home) unlocked; the daemon ends with the
# session.
exec dbus-run-session -- sh -c 'printf kinfolio | gnome-keyring-daemon --unlock --components=secrets >/dev/null && exec "$@"' sh "$@"
