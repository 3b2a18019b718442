#!/usr/bin/env bash
# Builds the fuzz targets with clang 14 (libFuzzer, ASan, UBSan) and runs each for a while.
#   fuzz/run.sh [SECONDS]     default 60 seconds per target
#   FUZZ_LANES=N              how many targets run at once (default: the number of cores);
#                             FUZZ_LANES=1 runs them one after the other
#   FUZZ_TARGETS="merge ..."  run only these targets (names as in TARGETS below)
#
# The targets run FUZZ_LANES at a time, each in a scratch folder of its own,
# with its corpus in build-fuzz/corpus-<target> and anything it finds in
# build-fuzz/artifacts/<target>/. The script fails when a target does not build or finds a fault;
# a finding worth keeping goes to fuzz/regressions/<target>/ and into fuzz/FINDINGS.md.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
SECONDS_PER_TARGET=${1:-60}
BUILD=build-fuzz
lanes=${FUZZ_LANES:-$(nproc)}
if ! [[ "$lanes" =~ ^[1-9][0-9]*$ ]]; then
  echo "FUZZ_LANES must be a whole number of at least 1, not '$lanes'" >&2
  exit 2
fi
FLAGS="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
CC=clang-14 CXX=clang++-14 cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELTRANE_BUILD_TESTS=OFF -DVELTRANE_BUILD_CLI=OFF -DVELTRANE_BUILD_FUZZ=ON \
  -DCMAKE_C_FLAGS="$FLAGS" -DCMAKE_CXX_FLAGS="$FLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null

# target name, then its seed folder (relative to the repository)
TARGETS=(
  "picture_header fuzz/seeds/picture"
  "docx_open tests/data/corpus"
  "rtf_reader fuzz/seeds/rtf_reader"
  "form_file fuzz/seeds/form_file"
  "format_mask fuzz/seeds/format_mask"
  "str_to fuzz/seeds/str_to"
  "merge fuzz/seeds/merge"
)
# FUZZ_TARGETS picks some of them; a name that is no target is a mistake, not an empty run.
if [ -n "${FUZZ_TARGETS:-}" ]; then
  picked=()
  for wanted in $FUZZ_TARGETS; do
    found=""
    for entry in "${TARGETS[@]}"; do [ "${entry%% *}" = "$wanted" ] && found=$entry; done
    if [ -z "$found" ]; then
      echo "FUZZ_TARGETS: no fuzz target '$wanted'" >&2
      exit 2
    fi
    picked+=("$found")
  done
  TARGETS=("${picked[@]}")
fi
# One target failing to build (work in progress elsewhere) must not keep the others from running.
names=()
for entry in "${TARGETS[@]}"; do names+=("${entry%% *}_fuzzer"); done
cmake --build "$BUILD" -j "$(nproc)" --target "${names[@]}" -- -k 0 || true

run_target() {
  local target=$1 seeds=$2
  local binary="$ROOT/$BUILD/fuzz/${target}_fuzzer"
  local corpus="$ROOT/$BUILD/corpus-$target"
  local artifacts="$ROOT/$BUILD/artifacts/$target/"
  local scratch="$ROOT/$BUILD/scratch-$target"
  local log="$ROOT/$BUILD/$target.log"
  if [ ! -x "$binary" ]; then
    echo "== $target: not built" >"$log"
    return 1
  fi
  mkdir -p "$corpus" "$artifacts" "$scratch"
  # A dictionary of the target's tokens, when it has one, steers the mutations.
  local dictArg=()
  [ -f "$ROOT/fuzz/dicts/$target.dict" ] && dictArg=(-dict="$ROOT/fuzz/dicts/$target.dict")
  # Inputs that once tripped a target are run again first, beside the seeds.
  local seedArg=()
  [ -d "$ROOT/$seeds" ] && seedArg=("$ROOT/$seeds")
  [ -d "$ROOT/fuzz/regressions/$target" ] && seedArg+=("$ROOT/fuzz/regressions/$target")
  local status=0
  (cd "$scratch" && "$binary" -max_total_time="$SECONDS_PER_TARGET" -rss_limit_mb=2048 \
     -timeout=10 -artifact_prefix="$artifacts" -print_final_stats=1 "${dictArg[@]}" "$corpus" \
     "${seedArg[@]}") \
    >"$log" 2>&1 || status=$?
  return $status
}

failed=()
pids=()
for entry in "${TARGETS[@]}"; do
  read -r target seeds <<<"$entry"
  echo "== $target for ${SECONDS_PER_TARGET}s"
  run_target "$target" "$seeds" &
  pids+=("$!:$target")
  while [ "$(jobs -rp | wc -l)" -ge "$lanes" ]; do sleep 1; done
done
for item in "${pids[@]}"; do
  pid=${item%%:*}
  target=${item#*:}
  if wait "$pid"; then
    echo "-- $target: $(grep -E '^(Done|stat::number_of_executed_units)' "$BUILD/$target.log" | tr '\n' ' ')"
  else
    failed+=("$target")
    echo "-- $target: FAILED, see $BUILD/$target.log"
    tail -n 30 "$BUILD/$target.log"
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets failed: ${failed[*]}" >&2
  exit 1
fi
echo "all fuzz targets ran clean"
