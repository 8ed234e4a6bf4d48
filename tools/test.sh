#!/usr/bin/env bash
# Installs what the program and its tests need, builds everything with warnings
# as errors, runs every test, runs the GSM component's tests again under
# ThreadSanitizer, gives each spreadsheet fuzz target a short run, tests the
# GSM component's Windows build under Wine, and builds and checks the Debian
# package.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${ZEMVORA_BUILD_DIR:-$root/build-test}"
jobs=$(nproc)

bash "$root/tools/install-deps.sh"

echo "== build and test"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZEMVORA_WERROR=ON
cmake --build "$build" -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 300

echo "== GSM component under ThreadSanitizer"
cmake -S "$root" -B "$build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZEMVORA_WERROR=ON \
  -DZEMVORA_GSM_ONLY=ON -DZEMVORA_SANITIZE=thread
cmake --build "$build-tsan" -j "$jobs"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir "$build-tsan" --output-on-failure -j "$jobs" --timeout 300 -L gsm

if [[ -x "$root/tools/fuzz.sh" ]]; then
  echo "== fuzz targets"
  bash "$root/tools/fuzz.sh" "$build-fuzz"
fi

echo "== GSM component for Windows, under Wine"
ZEMVORA_MODEM_SIM="$build/tools/modem-sim/modem-sim" bash "$root/tools/test-windows.sh" "$build-windows"

echo "== Debian package"
# A release build of the executable alone, packed and checked as a user
# would get it.
bash "$root/tools/package.sh" "$build-package"
deb=$(ls "$build-package"/zemvora-sms_*.deb)
dpkg-deb --info "$deb"
entry=$(mktemp -d)
dpkg-deb -x "$deb" "$entry"
desktop-file-validate "$entry"/usr/share/applications/zemvora-sms.desktop
rm -rf "$entry"
