#!/usr/bin/env bash
# Cross-builds the program for 64-bit Windows with MinGW-w64, against the Qt and libraries of
# tools/build-qt-windows.sh, with warnings as errors, and prints the folder of Qt and the libraries.
#
#   bash tools/build-windows.sh <build-dir> [target...]      (default target: zemvora-sms)
#
# The program is <build-dir>/app/zemvora-sms.exe; it needs Qt's and MinGW's DLLs to run
# (tools/package-windows.sh lays them out beside it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:?usage: tools/build-windows.sh <build-dir> [target...]}" && cd "$1" && pwd)
shift
targets=("${@:-zemvora-sms}")

libs=$(bash "$root/tools/build-qt-windows.sh")
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# A build folder keeps the toolchain of its first configuration: another Qt (a new recipe) needs a new one.
if [[ -f "$build/zemvora-windows-libs" && "$(cat "$build/zemvora-windows-libs")" != "$libs" ]]; then
  rm -rf "$build"
  mkdir -p "$build"
fi
echo "$libs" >"$build/zemvora-windows-libs"
# pkg-config looks only among the libraries built for Windows; --static adds what static libzip needs.
export PKG_CONFIG_LIBDIR="$libs/mingw-deps/lib/pkgconfig" PKG_CONFIG_PATH=
# -O2 rather than CMake's -O3, at which MinGW's GCC 12 gives false -Wrestrict warnings in std::string.
# The tests are listed when ctest runs them, through Wine.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DZEMVORA_WERROR=ON -DZEMVORA_BENCHMARKS=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$libs/qt6-mingw/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DQT_ADDITIONAL_PACKAGES_PREFIX_PATH="$libs/mingw-deps" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DPKG_CONFIG_ARGN=--static -DCMAKE_CROSSCOMPILING_EMULATOR=wine "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" >&2
echo "$libs"
