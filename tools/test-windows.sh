#!/usr/bin/env bash
# Builds the whole program for 64-bit Windows with MinGW-w64, against the Qt and libraries of
# tools/build-qt-windows.sh and with warnings as errors, and tests it under Wine, in a Wine prefix of the
# run's own:
#   1. the GSM, messaging and phone book tests;
#   2. one SMS sent by the console program send-sms through a Wine COM port to the modem simulator, with the
#      bytes the simulator received checked, and a listed port with no device behind it;
#   3. the setup program of tools/package-windows.sh, installed silently, and the installed program's window
#      driven under Xvfb as a user would (tests/windows/window-test.sh).
# Installs the Debian packages it needs.
#
#   bash tools/test-windows.sh [build-dir]      (default: build-windows)
#
# ZEMVORA_MODEM_SIM may name a modem-sim program built already (tools/test.sh passes its own); otherwise one
# is built in <build-dir>/linux. The setup program, the zip and the window's screenshots stay in
# <build-dir>/package and <build-dir>/artefacts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:-$root/build-windows}" && cd "${1:-$root/build-windows}" && pwd)
jobs=$(nproc)

# Wine 8 in its 64-bit build only: the programs are 64-bit, and Debian's wine32 would need the i386
# architecture added to dpkg first. fonts-wine: Wine's own Tahoma and the other fonts Windows programs
# expect, without which message boxes fall back to a serif font.
bash "$root/tools/apt-install.sh" cmake ninja-build g++ ccache libgtest-dev sqlite3 python3-openpyxl \
  wine wine64 fonts-wine xvfb xauth xdotool imagemagick
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

echo "== the program, its tests and send-sms for Windows"
program="$build/windows"
suites=(gsm_tests messaging_tests phonebook_tests)
libs=$(bash "$root/tools/build-windows.sh" "$program" zemvora-sms send-sms "${suites[@]}")

sim="${ZEMVORA_MODEM_SIM:-}"
if [[ -z "$sim" ]]; then
  echo "== modem simulator (Linux)"
  cmake -S "$root" -B "$build/linux" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZEMVORA_GSM_ONLY=ON \
    "${launcher[@]}" >/dev/null
  cmake --build "$build/linux" -j "$jobs" --target modem-sim
  sim="$build/linux/tools/modem-sim/modem-sim"
fi

echo "== setup program and zip"
bash "$root/tools/package-windows.sh" "$build/package" "$program"

# The run's own prefix: no offer to install Mono or Gecko, and no menu entries in the user's home (the DLLs
# that would ask for them, and the menu builder, are switched off).
work=$(mktemp -d "$build/run.XXXXXX")
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
wine_log="$work/wine.log"
sim_pid=""
xvfb_pid=""
finish() {
  local status=$?
  if ((status != 0)) && [[ -s "$wine_log" ]]; then
    echo "-- Wine's own output:" >&2
    tail -n 40 "$wine_log" >&2
  fi
  if [[ -n "$sim_pid" ]]; then
    kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  fi
  wineserver -k 2>/dev/null || true
  if [[ -n "$xvfb_pid" ]]; then
    kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap finish EXIT

# A Linux folder as Wine names it: drive Z: is the root.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

echo "== Wine prefix"
wineboot --init >>"$wine_log" 2>&1
wineserver -w

# One X server for the run: Qt draws the tests' windows and the program's window there. Wine passes no
# QT_* variable from Linux to Windows programs but takes WINEQT_* as QT_*.
Xvfb -displayfd 5 -screen 0 1280x900x24 -nolisten tcp 5>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [[ -s "$work/display" ]] && break
  sleep 0.1
done
[[ -s "$work/display" ]] || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
pthreads=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")

echo "== GSM, messaging and phone book tests under Wine"
for suite in "${suites[@]}"; do
  (
    cd "$program/tests/${suite%_tests}"
    WINEPATH="$(windows_path "$libs/qt6-mingw/bin");$(windows_path "$runtime");$(windows_path "$pthreads")" \
      WINEQT_PLUGIN_PATH="$(windows_path "$libs/qt6-mingw/plugins")" WINEQT_QPA_PLATFORM=windows \
      timeout 600 wine "$suite.exe" --gtest_brief=1 2>>"$wine_log"
  )
done

echo "== one SMS through a Wine COM port, by send-sms"
source "$root/tests/windows/expected-bytes.sh"
"$sim" --log "$work/received.bin" >"$work/sim.out" 2>&1 </dev/null &
sim_pid=$!
for _ in $(seq 50); do
  [[ -s "$work/sim.out" ]] && break
  sleep 0.1
done
pty=$(head -n 1 "$work/sim.out")
[[ "$pty" == /dev/pts/* ]] || { echo "the simulator gave no pseudo-terminal: $pty" >&2; exit 1; }
# Wine maps COM5 to the pty, and COM7 to a device that is not there, when it starts next.
wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$pty" /f >>"$wine_log" 2>&1
wine reg add 'HKLM\Software\Wine\Ports' /v COM7 /d "$work/absent" /f >>"$wine_log" 2>&1
wineserver -k
wineserver -w

number="+905551234567"
text="Zemvora Sms: Wine COM port test"
send_sms() {
  WINEPATH="$(windows_path "$runtime");$(windows_path "$pthreads")" \
    wine "$program/tools/send-sms/send-sms.exe" "$@"
}
if ! send_sms COM5 "$number" "$text" >"$work/send.out" 2>&1; then
  cat "$work/send.out" >&2
  exit 1
fi
cat "$work/send.out"
grep -q '^ports:.* COM5' "$work/send.out" || { echo "GetExistingPorts did not list COM5" >&2; exit 1; }
component_bytes "$number" "$text" >"$work/expected.bin"
if ! cmp -s "$work/expected.bin" "$work/received.bin"; then
  echo "the simulator received other bytes than expected" >&2
  echo "-- expected:" >&2
  od -c "$work/expected.bin" >&2
  echo "-- received:" >&2
  od -c "$work/received.bin" >&2
  exit 1
fi
echo "the simulator received exactly the expected $(wc -c <"$work/received.bin") bytes"
kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
sim_pid=""

if send_sms COM7 "$number" "$text" >"$work/absent.out" 2>&1 ||
  ! grep -q '^Cannot connect to COM7\.' "$work/absent.out"; then
  cat "$work/absent.out" >&2
  echo "send-sms on COM7, whose device is not there, did not end in \"Cannot connect to COM7.\"" >&2
  exit 1
fi
echo "COM7, listed but with no device behind it: $(grep "^Cannot" "$work/absent.out")"

echo "== the installed program's window under Wine and Xvfb"
setup=$(ls "$build"/package/zemvora-sms-*-setup.exe)
mkdir -p "$build/artefacts"
bash "$root/tests/windows/window-test.sh" "$setup" "$sim" "$work/window" "$build/artefacts"
