#!/usr/bin/env bash
# Builds the Debian package of the program into build-package/ (or the folder
# given), checks it with lintian, desktop-file-validate and appstreamcli, and
# prints its name. Install it with: apt install ./build-package/zemvora-sms_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${1:-$root/build-package}"

bash "$root/tools/install-deps.sh" dpkg-dev file lintian desktop-file-utils appstream

# A release build of the executable alone: the tests and benchmarks are not
# part of the package.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build "$build" --target zemvora-sms
rm -f "$build"/zemvora-sms_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/zemvora-sms_*.deb)

contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
dpkg-deb -x "$deb" "$contents"
desktop-file-validate "$contents"/usr/share/applications/zemvora-sms.desktop
appstreamcli validate --no-net "$contents"/usr/share/metainfo/org.zemvora.sms.metainfo.xml >/dev/null
lintian --fail-on error "$deb"
echo "$deb"
