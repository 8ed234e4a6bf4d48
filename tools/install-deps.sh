#!/usr/bin/env bash
# Installs the Debian packages the program, its tests and its benchmarks need,
# and any further ones named as arguments (tools/package.sh names its own).
# Safe to run again: nothing is fetched when all are there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqt6sql6-sqlite libsqlite3-dev sqlite3
  qt6-translations-l10n fonts-liberation2
  libzip-dev libexpat1-dev
  libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format clang-tidy
  gammu python3-gammu python3-openpyxl
  xvfb xauth
  "$@"
)

bash "$(dirname "$0")/apt-install.sh" "${packages[@]}"
