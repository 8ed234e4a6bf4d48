#!/usr/bin/env bash
# Builds the GSM component for 64-bit Windows with MinGW-w64 and tests it under
# Wine: its in-memory tests, then one SMS sent by the console program send-sms
# through a Wine COM port to the modem simulator, checking the bytes the
# simulator received. Installs the Debian packages it needs.
#
#   bash tools/test-windows.sh [build-dir]      (default: build-windows)
#
# ZEMVORA_MODEM_SIM may name a modem-sim program built already (tools/test.sh
# passes its own); otherwise one is built in <build-dir>/linux.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:-$root/build-windows}" && cd "${1:-$root/build-windows}" && pwd)
jobs=$(nproc)

# Wine 8 in its 64-bit build only: the programs are 64-bit, and Debian's wine32
# would need the i386 architecture added to dpkg first.
packages=(cmake ninja-build g++ libgtest-dev g++-mingw-w64-x86-64-posix wine wine64)
bash "$root/tools/apt-install.sh" "${packages[@]}"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
toolchain="$root/cmake/mingw-w64.cmake"

echo "== googletest for Windows"
gtest="$build/googletest"
if [[ ! -f "$gtest/install/lib/cmake/GTest/GTestConfig.cmake" ]]; then
  cmake -S /usr/src/googletest -B "$gtest/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$gtest/install" "${launcher[@]}" >/dev/null
  cmake --build "$gtest/build" -j "$jobs"
  cmake --install "$gtest/build" >/dev/null
fi

echo "== GSM component, its tests and send-sms for Windows"
cmake -S "$root" -B "$build/windows" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Debug \
  -DZEMVORA_WERROR=ON -DZEMVORA_GSM_ONLY=ON -DGTest_DIR="$gtest/install/lib/cmake/GTest" "${launcher[@]}" >/dev/null
cmake --build "$build/windows" -j "$jobs" --target gsm_tests send-sms

sim="${ZEMVORA_MODEM_SIM:-}"
if [[ -z "$sim" ]]; then
  echo "== modem simulator (Linux)"
  cmake -S "$root" -B "$build/linux" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZEMVORA_GSM_ONLY=ON \
    "${launcher[@]}" >/dev/null
  cmake --build "$build/linux" -j "$jobs" --target modem-sim
  sim="$build/linux/tools/modem-sim/modem-sim"
fi

# A prefix of its own, made afresh; no display, no offer to install Mono or
# Gecko, and no menu entries in the user's home (the DLLs that would ask for
# them, and the menu builder, are switched off).
work=$(mktemp -d "$build/run.XXXXXX")
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
wine_log="$work/wine.log"
sim_pid=""
finish() {
  local status=$?
  if ((status != 0)) && [[ -s "$wine_log" ]]; then
    echo "-- Wine's own output:" >&2
    cat "$wine_log" >&2
  fi
  [[ -n "$sim_pid" ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT

echo "== Wine prefix"
wineboot --init >>"$wine_log" 2>&1
wineserver -w

echo "== one SMS through a Wine COM port"
"$sim" --log "$work/received.bin" >"$work/sim.out" 2>&1 </dev/null &
sim_pid=$!
for _ in $(seq 50); do
  [[ -s "$work/sim.out" ]] && break
  sleep 0.1
done
pty=$(head -n 1 "$work/sim.out")
[[ "$pty" == /dev/pts/* ]] || { echo "the simulator gave no pseudo-terminal: $pty" >&2; exit 1; }
# Wine maps COM5 to the pty, and COM7 to a device that is not there, when it
# starts next.
wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$pty" /f >>"$wine_log" 2>&1
wine reg add 'HKLM\Software\Wine\Ports' /v COM7 /d "$work/absent" /f >>"$wine_log" 2>&1
wineserver -k
wineserver -w

number="+905551234567"
text="Zemvora Sms: Wine COM port test"
if ! wine "$build/windows/tools/send-sms/send-sms.exe" COM5 "$number" "$text" >"$work/send.out" 2>&1; then
  cat "$work/send.out" >&2
  exit 1
fi
cat "$work/send.out"
grep -q '^ports:.* COM5' "$work/send.out" || { echo "GetExistingPorts did not list COM5" >&2; exit 1; }
# Connect's caller-number setup, then SendSms: ESC, AT, text mode, the number, the text and Ctrl-Z.
printf 'AT+CLIP=1;+CRC=1\r\033AT\rAT+CMGF=1\rAT+CMGS="%s"\r%s\032' "$number" "$text" >"$work/expected.bin"
if ! cmp -s "$work/expected.bin" "$work/received.bin"; then
  echo "the simulator received other bytes than expected" >&2
  echo "-- expected:" >&2
  od -c "$work/expected.bin" >&2
  echo "-- received:" >&2
  od -c "$work/received.bin" >&2
  exit 1
fi
echo "the simulator received exactly the expected $(wc -c <"$work/received.bin") bytes"

if wine "$build/windows/tools/send-sms/send-sms.exe" COM7 "$number" "$text" >"$work/absent.out" 2>&1 ||
  ! grep -q '^Cannot connect to COM7\.' "$work/absent.out"; then
  cat "$work/absent.out" >&2
  echo "send-sms on COM7, whose device is not there, did not end in \"Cannot connect to COM7.\"" >&2
  exit 1
fi
echo "COM7, listed but with no device behind it: $(grep "^Cannot" "$work/absent.out")"

echo "== GSM tests under Wine"
(cd "$build/windows/tests/gsm" && wine gsm_tests.exe --gtest_brief=1)
