#!/usr/bin/env bash
# Installs what the program and its tests need, builds everything with warnings
# as errors and runs every test; runs the whole suite again under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the GSM, messaging and
# application tests under ThreadSanitizer; gives each spreadsheet fuzz target a
# short run; builds the whole program for Windows and tests it under Wine, its
# setup program and window included; builds and checks the Debian package.
# Each step reports how long it took.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${ZEMVORA_BUILD_DIR:-$root/build-test}"
jobs=$(nproc)

step_name=""
step_start=$SECONDS
# Ends the running step with its duration and starts the next one.
step() {
  if [[ -n "$step_name" ]]; then
    echo "== $step_name: $((SECONDS - step_start)) s"
  fi
  step_name="$1"
  step_start=$SECONDS
  [[ -n "$step_name" ]] && echo "== $step_name"
  return 0
}

step "dependencies"
bash "$root/tools/install-deps.sh" ccache

# Every build compiles through ccache, whose cache lives outside the clone
# (and is shared by every clone): a second run compiles only what changed.
# CMake takes the launchers from the environment when it first configures a
# build folder.
export CCACHE_DIR="${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/zemvora-sms/ccache}"
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1 CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-6G}"
export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
ccache --zero-stats >/dev/null

step "build and test"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZEMVORA_WERROR=ON
cmake --build "$build" -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 300

step "every test under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S "$root" -B "$build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZEMVORA_WERROR=ON \
  -DZEMVORA_SANITIZE=address,undefined -DZEMVORA_BENCHMARKS=OFF
cmake --build "$build-asan" -j "$jobs"
QT_QPA_PLATFORM=offscreen ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1" \
  ctest --test-dir "$build-asan" --output-on-failure -j "$jobs" --timeout 300

step "GSM, messaging and application tests under ThreadSanitizer"
cmake -S "$root" -B "$build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZEMVORA_WERROR=ON \
  -DZEMVORA_SANITIZE=thread -DZEMVORA_BENCHMARKS=OFF
cmake --build "$build-tsan" -j "$jobs" --target gsm_tests messaging_tests app_tests
QT_QPA_PLATFORM=offscreen \
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tools/tsan-qt.supp" \
  ctest --test-dir "$build-tsan" --output-on-failure -j "$jobs" --timeout 300 -L 'gsm|messaging|app'

if [[ -x "$root/tools/fuzz.sh" ]]; then
  step "fuzz targets"
  bash "$root/tools/fuzz.sh" "$build-fuzz"
fi

step "the program for Windows: its tests, setup program and window under Wine"
ZEMVORA_MODEM_SIM="$build/tools/modem-sim/modem-sim" bash "$root/tools/test-windows.sh" "$build-windows"

step "Debian package"
# A release build of the executable alone, packed and checked as a user
# would get it.
bash "$root/tools/package.sh" "$build-package"
deb=$(ls "$build-package"/zemvora-sms_*.deb)
dpkg-deb --info "$deb"
entry=$(mktemp -d)
dpkg-deb -x "$deb" "$entry"
desktop-file-validate "$entry"/usr/share/applications/zemvora-sms.desktop
rm -rf "$entry"
step ""
ccache --show-stats | grep -E "^(Hits|Misses|Cache size)" || true
