#!/usr/bin/env bash
# Installs the Debian packages the program, its tests and its benchmarks need,
# and any further ones named as arguments (tools/package.sh names its own).
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqt6sql6-sqlite libsqlite3-dev sqlite3
  qt6-translations-l10n fonts-liberation2
  libzip-dev libexpat1-dev
  libgtest-dev
  clang libclang-rt-14-dev clang-format clang-tidy
  gammu python3-openpyxl
  xvfb xauth
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
