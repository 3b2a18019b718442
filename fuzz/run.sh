#!/usr/bin/env bash
# Builds the fuzz targets with clang 14 (libFuzzer, ASan, UBSan) and runs each for a while.
#   fuzz/run.sh [SECONDS]     default 60 seconds per target
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-60}
BUILD=build-fuzz
FLAGS="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
CC=clang-14 CXX=clang++-14 cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELTRANE_BUILD_TESTS=OFF -DVELTRANE_BUILD_CLI=OFF -DVELTRANE_BUILD_FUZZ=ON \
  -DCMAKE_C_FLAGS="$FLAGS" -DCMAKE_CXX_FLAGS="$FLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target picture_header_fuzzer docx_open_fuzzer
for target in picture_header docx_open; do
  corpus="$BUILD/corpus-$target"
  mkdir -p "$corpus"
  seeds=fuzz/seeds/${target%_header}
  [ "$target" = docx_open ] && seeds=../shared/corpus
  echo "== $target for ${SECONDS_PER_TARGET}s"
  "$BUILD/fuzz/${target}_fuzzer" -max_total_time="$SECONDS_PER_TARGET" -rss_limit_mb=2048 \
    "$corpus" $( [ -d "$seeds" ] && echo "$seeds" )
done
