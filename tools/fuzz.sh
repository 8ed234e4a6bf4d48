#!/usr/bin/env bash
# Builds the spreadsheet readers' libFuzzer targets with clang and AddressSanitizer and gives each a short
# run, seeded with a copy of the corpus files of its format. Fails on the first crash, leak or timeout.
# Usage: tools/fuzz.sh <build-dir> [seconds per target, default 30]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${1:?usage: tools/fuzz.sh <build-dir> [seconds]}"
seconds="${2:-30}"
corpus="$root/tests/data/spreadsheets"

flags="-fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer -g -O1"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="$flags" -DZEMVORA_FUZZ=ON -DZEMVORA_WERROR=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzz_csv fuzz_xlsx fuzz_ods fuzz_xls

artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
declare -A patterns=([csv]="*.csv" [xlsx]="*.xlsx" [ods]="*.ods" [xls]="*.xls *.XLS")
# The zip readers' mutator stores the parts it repacks, so their inputs grow past the compressed seeds.
declare -A lengths=([csv]=65536 [xlsx]=1048576 [ods]=1048576 [xls]=1048576)
for reader in csv xlsx ods xls; do
  seeds="$build/fuzz-seeds/$reader"
  rm -rf "$seeds"
  mkdir -p "$seeds"
  for pattern in ${patterns[$reader]}; do
    find "$corpus" -type f -name "$pattern" -exec cp {} "$seeds/" \;
  done
  echo "== fuzz_$reader: $(ls "$seeds" | wc -l) seeds, ${seconds}s"
  ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0" \
    "$build/tests/fuzz/fuzz_$reader" -max_total_time="$seconds" -max_len="${lengths[$reader]}" -timeout=60 -rss_limit_mb=2560 \
    -artifact_prefix="$artifacts/$reader-" -print_final_stats=1 "$seeds" 2>"$build/fuzz-$reader.log" ||
    { tail -n 60 "$build/fuzz-$reader.log"; echo "fuzz_$reader found a fault; input saved under $artifacts"; exit 1; }
  grep -E "stat::number_of_executed_units|Done" "$build/fuzz-$reader.log" | tail -n 2
done
