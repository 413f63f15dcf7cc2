#!/bin/sh
# Builds the MySQL packet fuzzer with clang (libFuzzer, ASan, UBSan) in
# build-fuzz and runs it for about 30 seconds; fails on a crash.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-fuzz"
CC=clang CXX=clang++ cmake -S "$top/fuzz" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2
corpus="$build/corpus"
mkdir -p "$corpus"
seconds=${FUZZ_SECONDS:-30}
start=$(date +%s)
"$build/mysql_packet_fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
  -print_final_stats=1 "$corpus" 2>"$build/fuzz.log" || { tail -50 "$build/fuzz.log"; exit 1; }
end=$(date +%s)
runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/fuzz.log" | grep -o '[0-9]*$' || echo "?")
echo "mysql_packet_fuzzer: $((end - start)) s, $runs runs, no crash"
