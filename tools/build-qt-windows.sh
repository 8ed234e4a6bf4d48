#!/usr/bin/env bash
# Builds what the program needs to be cross-built for 64-bit Windows, from Debian's sources and with
# Debian's MinGW-w64, into a cache folder outside the clone, and prints that folder:
#   qt6-mingw/   Qt 6.4.2 (Core, Gui, Widgets, Sql with its own SQLite, Test), shared, relocatable
#   mingw-deps/  expat, libzip, googletest and SQLite, static (SQLite only for the tests' phone book files)
#
#   bash tools/build-qt-windows.sh          (prints e.g. ~/.cache/zemvora-sms/windows-0123456789abcdef)
#
# The folder's name carries a hash of this script, its patches (tools/windows/) and the toolchain file: a
# complete folder of that name is used as it is. It is built under another name and renamed when complete,
# so a stopped build leaves nothing that looks complete.
#
# When ../shared/windows (ZEMVORA_WINDOWS_SEED names another folder; empty for none) holds the two archives
# of a build made with this same recipe, with the checksums below, they are unpacked instead of building
# (a minute instead of about 40 minutes of processor time).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

qt_version=6.4.2
qt_source=qt6-base=6.4.2+dfsg-10
other_sources=(sqlite3=3.40.1-2+deb12u2 expat=2.5.0-1+deb12u2 libzip=1.7.3-1)
# Debian's own security fixes of its Qt (debian/patches), applied to the upstream source.
qt_debian_patches=(cve-2023-32762.diff cve-2023-32763.diff cve-2023-33285.diff cve-2023-24607.patch)
seed_qt_sha256=a602fdad57c11ab7e9f95992450508c15a3e103040add129fe33e6b9b0b17c09
seed_deps_sha256=04d8dc86b582d15ae03ab380e5125a9aba41b9c5d07f9de5d7e696a2b4b7a1ca

say() { echo "build-qt-windows: $*" >&2; }

# The host Qt provides moc, rcc and uic (qt6-base-dev-tools) and must be the same version.
bash "$root/tools/apt-install.sh" g++-mingw-w64-x86-64-posix libz-mingw-w64-dev cmake ninja-build ccache \
  qt6-base-dev qt6-base-dev-tools libgtest-dev dpkg-dev tcl xz-utils >&2

toolchain="$root/cmake/mingw-w64.cmake"
key=$(cat "$0" "$root"/tools/windows/*.patch "$toolchain" | sha256sum | cut -c1-16)
cache="${XDG_CACHE_HOME:-$HOME/.cache}/zemvora-sms"
final="$cache/windows-$key"
if [[ -d "$final" ]]; then
  echo "$final"
  exit 0
fi

mkdir -p "$cache"
staging=$(mktemp -d "$cache/.windows-$key.XXXXXX")
trap 'rm -rf "$staging"' EXIT
qt_prefix="$staging/qt6-mingw"
deps_prefix="$staging/mingw-deps"

# pkg-config files that name their folder relative to themselves, so the prefix can move.
relocate_pkgconfig() {
  local pc
  for pc in "$deps_prefix"/lib/pkgconfig/*.pc; do
    sed -i -E 's#^prefix=/.*#prefix=${pcfiledir}/../..#; s#^(libdir|includedir)=/.*/(lib|include)$#\1=${pcfiledir}/../../\2#' "$pc"
  done
}

unpack_seed() {
  local seed="$1"
  [[ -f "$seed/qt6-mingw-$qt_version.tar.xz" && -f "$seed/mingw-deps.tar.xz" ]] || return 1
  echo "$seed_qt_sha256  $seed/qt6-mingw-$qt_version.tar.xz" | sha256sum --quiet -c - 2>/dev/null || return 1
  echo "$seed_deps_sha256  $seed/mingw-deps.tar.xz" | sha256sum --quiet -c - 2>/dev/null || return 1
  say "unpacking the prebuilt Qt and libraries from $seed"
  tar -xJf "$seed/qt6-mingw-$qt_version.tar.xz" -C "$staging"
  tar -xJf "$seed/mingw-deps.tar.xz" -C "$staging"
}

# apt-get source needs a deb-src line for the suites the machine installs from.
ensure_source_lines() {
  if grep -Eqs '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/*; then
    return
  fi
  local sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  say "adding deb-src lines for Debian's sources"
  {
    if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
      sed -E 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources
    fi
    if [[ -f /etc/apt/sources.list ]]; then
      sed -n -E 's/^deb (.*)/deb-src \1/p' /etc/apt/sources.list
    fi
  } | "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/zemvora-sms-deb-src.list.tmp >/dev/null
  # A deb822 stanza needs the .sources name; one-line entries the .list name.
  if grep -q '^Types:' /etc/apt/sources.list.d/zemvora-sms-deb-src.list.tmp; then
    "${sudo_cmd[@]}" mv /etc/apt/sources.list.d/zemvora-sms-deb-src.list.tmp /etc/apt/sources.list.d/zemvora-sms-deb-src.sources
  else
    "${sudo_cmd[@]}" mv /etc/apt/sources.list.d/zemvora-sms-deb-src.list.tmp /etc/apt/sources.list.d/zemvora-sms-deb-src.list
  fi
  "${sudo_cmd[@]}" apt-get update -qq
}

# Runs a long step niced, its output in a log that is shown when it fails.
logged() {
  local log="$work/$1.log"
  shift
  if ! nice -n 19 "$@" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    say "failed; the whole log is $log"
    exit 1
  fi
}

build_from_source() {
  ensure_source_lines
  # A fixed folder, so that ccache finds a rebuild's objects (CCACHE_BASEDIR makes the paths relative).
  work="$cache/windows-work"
  rm -rf "$work"
  mkdir -p "$work/src"
  # Qt's precompiled headers are cached only with these sloppinesses.
  export CCACHE_DIR="${CCACHE_DIR:-$cache/ccache}" CCACHE_BASEDIR="$work" CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-6G}" \
    CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
  local launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  local common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release "${launcher[@]}")

  say "fetching Debian's sources"
  (cd "$work/src" && logged fetch apt-get source --download-only "$qt_source" "${other_sources[@]}")
  local dsc
  for dsc in "$work"/src/{sqlite3,expat,libzip}_*.dsc; do
    (cd "$work/src" && dpkg-source --no-check -x "$dsc" >/dev/null)
  done
  (cd "$work/src" && dpkg-source --no-check --skip-patches -x qt6-base_*.dsc qtbase >/dev/null)

  say "SQLite's single-file source for Qt's driver and the tests"
  local sqlite_src
  sqlite_src=$(echo "$work"/src/sqlite3-*/)
  mkdir -p "$work/sqlite"
  (cd "$work/sqlite" && logged sqlite-configure "$sqlite_src/configure" && logged sqlite-amalgamation make sqlite3.c sqlite3.h)

  say "expat, libzip, googletest and SQLite for MinGW"
  local expat_src
  expat_src=$(echo "$work"/src/expat-*/)
  patch -d "$expat_src" -p1 -s <"$root/tools/windows/expat-config-values.patch"
  logged expat-configure cmake -S "$expat_src/expat" -B "$work/expat" "${common[@]}" -DCMAKE_INSTALL_PREFIX="$deps_prefix" \
    -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF \
    -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=ON
  logged expat-build cmake --build "$work/expat" -j "$jobs" --target install
  logged libzip-configure cmake -S "$(echo "$work"/src/libzip-*/)" -B "$work/libzip" "${common[@]}" \
    -DCMAKE_INSTALL_PREFIX="$deps_prefix" -DBUILD_SHARED_LIBS=OFF -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF \
    -DENABLE_ZSTD=OFF -DENABLE_GNUTLS=OFF -DENABLE_OPENSSL=OFF -DENABLE_MBEDTLS=OFF -DENABLE_COMMONCRYPTO=OFF \
    -DENABLE_WINDOWS_CRYPTO=OFF -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF \
    -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a
  logged libzip-build cmake --build "$work/libzip" -j "$jobs" --target install
  logged gtest-configure cmake -S /usr/src/googletest -B "$work/googletest" "${common[@]}" \
    -DCMAKE_INSTALL_PREFIX="$deps_prefix" -DBUILD_GMOCK=OFF
  logged gtest-build cmake --build "$work/googletest" -j "$jobs" --target install
  (cd "$work/sqlite" &&
    logged sqlite-mingw x86_64-w64-mingw32-gcc-posix -O2 -DSQLITE_THREADSAFE=1 -c sqlite3.c -o sqlite3-mingw.o &&
    x86_64-w64-mingw32-ar rcs "$deps_prefix/lib/libsqlite3.a" sqlite3-mingw.o)
  install -m 644 "$work/sqlite/sqlite3.h" "$work/sqlite/sqlite3ext.h" "$deps_prefix/include/"
  cat >"$deps_prefix/lib/pkgconfig/sqlite3.pc" <<PC
prefix=$deps_prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: SQLite
Description: SQL database engine
Version: $(sed -n 's/^#define SQLITE_VERSION *"\(.*\)"/\1/p' "$work/sqlite/sqlite3.h")
Libs: -L\${libdir} -lsqlite3
Cflags: -I\${includedir}
PC

  say "Qt $qt_version for MinGW (about 40 minutes of processor time)"
  local qt_src="$work/src/qtbase" patch_name
  for patch_name in "${qt_debian_patches[@]}"; do
    patch -d "$qt_src" -p1 -s <"$qt_src/debian/patches/$patch_name"
  done
  patch -d "$qt_src" -p1 -s <"$root/tools/windows/qtbase-feature-guards.patch"
  # Debian's source leaves out Qt's copy of SQLite; the driver is built on the one made above.
  mkdir -p "$qt_src/src/3rdparty/sqlite"
  cp "$work/sqlite/sqlite3.c" "$work/sqlite/sqlite3.h" "$work/sqlite/sqlite3ext.h" "$qt_src/src/3rdparty/sqlite/"
  logged qt-configure cmake -S "$qt_src" -B "$work/qt" "${common[@]}" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$qt_prefix" -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DQT_BUILD_EXAMPLES_BY_DEFAULT=OFF -DQT_BUILD_TESTS_BY_DEFAULT=OFF -DFEATURE_pkg_config=OFF \
    -DFEATURE_dbus=OFF -DFEATURE_network=OFF -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF \
    -DFEATURE_printsupport=OFF -DFEATURE_testlib=ON \
    -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_jpeg=OFF -DFEATURE_freetype=OFF \
    -DFEATURE_sql=ON -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=OFF \
    -DFEATURE_sql_odbc=OFF -DFEATURE_sql_psql=OFF -DFEATURE_sql_mysql=OFF \
    -DFEATURE_sql_ibase=OFF -DFEATURE_sql_oci=OFF -DFEATURE_sql_db2=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF \
    -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_textmarkdownreader=OFF
  logged qt-build cmake --build "$work/qt" -j "$jobs"
  logged qt-install cmake --install "$work/qt"
  rm -rf "$work"
}

seed="${ZEMVORA_WINDOWS_SEED-$root/../shared/windows}"
if [[ -z "$seed" ]] || ! unpack_seed "$seed"; then
  build_from_source
fi
relocate_pkgconfig
# Another run may have finished the same folder meanwhile; then this one is dropped.
mv -T "$staging" "$final" 2>/dev/null || rm -rf "$staging"
trap - EXIT
say "ready: $final"
echo "$final"
