# Cross-building for 64-bit Windows with Debian's MinGW-w64. tools/build-qt-windows.sh builds Qt and the
# libraries with it; the program loads it through Qt's own toolchain file:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=<qt>/lib/cmake/Qt6/qt.toolchain.cmake \
#     -DQT_CHAINLOAD_TOOLCHAIN_FILE=cmake/mingw-w64.cmake ...
# (tools/test-windows.sh does it). The compilers of the POSIX thread model: the win32 model of GCC 12 has no
# std::thread or std::mutex. The C++ runtime is the shared libstdc++-6.dll: Qt's DLLs use it, and one
# program must have one runtime, or an exception thrown in one and caught in the other is lost.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZEMVORA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZEMVORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEMVORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEMVORA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZEMVORA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
