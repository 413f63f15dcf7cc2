#!/bin/sh
# Runs every test: installs what is missing, checks the format, builds with
# warnings as errors, runs the suite, runs it once more under AddressSanitizer
# and UndefinedBehaviorSanitizer, and runs the fuzz targets for a bounded time.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/install-deps.sh
jobs=$(nproc)

# Every C++ file must match .clang-format.
find platform mysql dump zip ftp placement app tests bench fuzz \( -name '*.cpp' -o -name '*.h' \) \
  -print0 | xargs -0 clang-format --dry-run -Werror

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DYEDEK_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DYEDEK_SANITIZE=ON -DYEDEK_BUILD_BENCH=OFF -DYEDEK_WERROR=ON >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" -LE no-sanitize)

if [ -x scripts/fuzz.sh ]; then
  scripts/fuzz.sh
fi
echo "All tests passed."
