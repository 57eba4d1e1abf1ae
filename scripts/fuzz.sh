#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, address and undefined-behaviour
# sanitizers) and runs each for the given number of seconds (default 60).
#   scripts/fuzz.sh [seconds] [target...]
# New inputs go to a working corpus in $TAVRO_FUZZ_BUILD_DIR/corpus/<target>,
# never to the committed seeds in tests/fuzz/corpus/. A crash stops the script
# with the input kept as $TAVRO_FUZZ_BUILD_DIR/crashes/<target>-crash-...; fix
# it and keep the input in tests/fuzz/regressions/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
build_dir="${TAVRO_FUZZ_BUILD_DIR:-build-fuzz}"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_lzari_decode fuzz_zero_run_decode fuzz_decompress fuzz_document_open
           fuzz_compare_streams fuzz_y4m_header)
fi

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++-14 \
  -DTAVRO_FUZZ=ON -DTAVRO_BUILD_APP=OFF -DTAVRO_BUILD_CLI=OFF -DTAVRO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" --target "${targets[@]}" -j "${TAVRO_JOBS:-2}"

mkdir -p "$build_dir/crashes"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
# One target per core at a time.
parallel="${TAVRO_JOBS:-2}"
run_target() {
  local t="$1" work="$build_dir/corpus/$1"
  mkdir -p "$work"
  "$build_dir/bin/$t" "$work" "tests/fuzz/corpus/$t" -max_total_time="$seconds" \
    -rss_limit_mb=2048 -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$build_dir/crashes/$t-" >"$build_dir/$t.log" 2>&1
}
echo "== fuzzing ${targets[*]}: ${seconds} s each =="
pids=()
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do
    sleep 1
  done
  run_target "$t" &
  pids+=($!)
done
failed=0
for i in "${!targets[@]}"; do
  t="${targets[$i]}"
  if wait "${pids[$i]}"; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build_dir/$t.log")
    echo "$t: ${runs:-?} executions in ${seconds} s"
  else
    tail -n 60 "$build_dir/$t.log"
    echo "fuzz: $t failed; input kept in $build_dir/crashes/" >&2
    failed=1
  fi
done
[ "$failed" -eq 0 ] || exit 1
echo "== fuzzing found nothing =="
