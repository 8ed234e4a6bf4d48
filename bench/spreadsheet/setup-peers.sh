#!/usr/bin/env bash
# Installs the programs the spreadsheet benchmark compares the readers with: openpyxl (also in
# tools/install-deps.sh), LibreOffice Calc without its windows (soffice --headless) and Gnumeric's ssconvert.
# The tests need none of them. Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(python3-openpyxl libreoffice-calc-nogui gnumeric)

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
