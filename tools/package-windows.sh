#!/usr/bin/env bash
# Builds the program for Windows (tools/build-windows.sh) and packs it as users get it:
#   <out>/zemvora-sms/                        the program's folder: the exe, Qt's DLLs and plugins, qt.conf,
#                                             Qt's Turkish texts and MinGW's runtime DLLs, stripped
#   <out>/zemvora-sms-<version>-setup.exe     the setup program: per user, no administrator rights, a Start
#                                             menu entry and an uninstaller that leaves the phone book
#   <out>/zemvora-sms-<version>-windows.zip   the same folder with an empty phone book beside the program,
#                                             for use without setup (the phone book stays in that folder)
#
#   bash tools/package-windows.sh [out-dir] [build-dir]
#        (default: build-windows-package and, for the build, <out-dir>/build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$root/build-windows-package}" && cd "${1:-$root/build-windows-package}" && pwd)
build="${2:-$out/build}"

bash "$root/tools/apt-install.sh" nsis zip sqlite3 qt6-translations-l10n binutils-mingw-w64-x86-64
libs=$(bash "$root/tools/build-windows.sh" "$build" zemvora-sms)
qt="$libs/qt6-mingw"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

folder="$out/zemvora-sms"
rm -rf "$folder"
mkdir -p "$folder"/{platforms,sqldrivers,styles,translations}
cp "$build/app/zemvora-sms.exe" "$folder/"
cp "$qt/plugins/platforms/qwindows.dll" "$folder/platforms/"
cp "$qt/plugins/sqldrivers/qsqlite.dll" "$folder/sqldrivers/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$folder/styles/"
# Qt's own texts (message box buttons, the file dialog) in Turkish: the same Qt version as Debian's.
cp /usr/share/qt6/translations/qtbase_tr.qm "$folder/translations/"
# Qt looks for its plugins beside the program and for its texts in translations/.
printf '[Paths]\nPrefix = .\nPlugins = .\nTranslations = translations\n' >"$folder/qt.conf"

# The DLLs the program and its plugins import, and the DLLs those import, from Qt and MinGW; what is found
# in neither comes with Windows.
search=("$qt/bin" "$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")"
  "$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")")
pending=("$folder"/zemvora-sms.exe "$folder"/*/*.dll)
declare -A seen=()
while ((${#pending[@]})); do
  file="${pending[0]}"
  pending=("${pending[@]:1}")
  for dll in $(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
    [[ -n "${seen[${dll,,}]:-}" ]] && continue
    seen[${dll,,}]=1
    for dir in "${search[@]}"; do
      if [[ -f "$dir/$dll" ]]; then
        cp "$dir/$dll" "$folder/"
        pending+=("$folder/$dll")
        break
      fi
    done
  done
done
find "$folder" -name '*.exe' -o -name '*.dll' | xargs x86_64-w64-mingw32-strip --strip-unneeded

# The uninstaller removes what the setup installs, and nothing else.
files="$out/uninstall-files.nsh"
(
  cd "$folder"
  find . -type f | sort | sed 's|^\./||; s|/|\\|g; s|.*|  Delete "$INSTDIR\\&"|'
  find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g; s|.*|  RMDir "$INSTDIR\\&"|'
) >"$files"
setup="$out/zemvora-sms-$version-setup.exe"
rm -f "$out"/zemvora-sms-*-setup.exe "$out"/zemvora-sms-*-windows.zip
makensis -V2 -DVERSION="$version" -DPROGRAM="$folder" -DFILES="$files" -DOUTFILE="$setup" \
  "$root/packaging/windows/zemvora-sms.nsi"

# The zip: the same folder with an empty phone book, which makes it a portable copy.
portable=$(mktemp -d)
trap 'rm -rf "$portable"' EXIT
cp -r "$folder" "$portable/Zemvora Sms"
sqlite3 "$portable/Zemvora Sms/db.mdb" <"$root/tools/phonebook-schema.sql"
(cd "$portable" && zip -q -r -X "$out/zemvora-sms-$version-windows.zip" "Zemvora Sms")

du -sh "$folder" "$setup" "$out/zemvora-sms-$version-windows.zip"
