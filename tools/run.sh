#!/usr/bin/env bash
# Installs what the program needs, builds it, makes sure an empty phone book
# lies beside the executable, and starts the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${ZEMVORA_BUILD_DIR:-$root/build}"

bash "$root/tools/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target zemvora-sms modem-sim
exec "$build/app/zemvora-sms" "$@"
