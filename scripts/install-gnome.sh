#!/usr/bin/env bash
# Installs GNOME Shell with its portal and the shortcut provider of GNOME
# Settings, for the tests that run lmgrab on a headless GNOME: ./test runs
# them where GNOME Shell is installed and skips them elsewhere. Quiet when
# nothing is missing.
#   scripts/install-gnome.sh && ./test
source "$(dirname "$0")/setup.sh"
LG_PACKAGES=(gnome-shell xdg-desktop-portal-gnome gnome-control-center python3-pil)
lg_install_packages
