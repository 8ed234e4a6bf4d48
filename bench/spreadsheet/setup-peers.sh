#!/usr/bin/env bash
# Installs the programs the spreadsheet benchmark compares the readers with: openpyxl (also in
# tools/install-deps.sh), LibreOffice Calc without its windows (soffice --headless) and Gnumeric's ssconvert.
# The tests need none of them. Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(python3-openpyxl libreoffice-calc-nogui gnumeric)

bash "$(dirname "$0")/../../tools/apt-install.sh" "${packages[@]}"
