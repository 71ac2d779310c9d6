#!/usr/bin/env bash
# Installs KWin, Plasma's Wayland compositor (some 750 packages), for the
# tests that run lmgrab on KDE: ./test runs them where KWin is installed and
# skips them elsewhere. Quiet when nothing is missing.
#   scripts/install-kwin.sh && ./test
source "$(dirname "$0")/setup.sh"
# KWin serves screenshots only when it composites with OpenGL: Mesa's
# software renderer stands in for a GPU.
LG_PACKAGES=(kwin-wayland libgl1-mesa-dri libegl-mesa0)
lg_install_packages
