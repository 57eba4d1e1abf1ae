#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test:
#   1. the normal build: all suites (core, command line, desktop app offscreen);
#   2. the core and command-line suites again under AddressSanitizer and
#      UndefinedBehaviorSanitizer;
#   3. the cancel-race stress and the codec pipelines under ThreadSanitizer;
#   4. every libFuzzer target for a short while (scripts/fuzz.sh).
# Before building, every tracked C++ file must be laid out as clang-format 14
# lays it out (.clang-format): run `clang-format-14 -i FILE` on what it names.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${TAVRO_JOBS:-2}"

scripts/setup.sh

export QT_QPA_PLATFORM=offscreen

echo "== format (clang-format 14) =="
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format-14 --dry-run -Werror

echo "== build (release) =="
scripts/build.sh
echo "== tests (release) =="
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300

echo "== build (address,undefined sanitizers) =="
TAVRO_BUILD_DIR=build-asan scripts/build.sh -DTAVRO_SANITIZE=address,undefined -DTAVRO_BUILD_APP=OFF
echo "== tests (address,undefined sanitizers) =="
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 600

echo "== cancel races under ThreadSanitizer =="
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRO_SANITIZE=thread \
  -DTAVRO_BUILD_APP=OFF -DTAVRO_BUILD_CLI=OFF >/dev/null
cmake --build build-tsan --target test_document test_codec -j "$jobs"
TSAN_OPTIONS=halt_on_error=1 build-tsan/bin/test_document --gtest_filter='CancelRaces.*'
# The pipelines: cancels at chosen frames, streamed frames and their failures,
# two runs at once, damaged streams, and the pinned bytes on 2..16 threads.
TSAN_OPTIONS=halt_on_error=1 build-tsan/bin/test_codec \
  --gtest_filter='CompressRun.*:DecompressRun.*:FrontDoor.*:DamagedInput.*:OutputDigest.SampleClip'

echo "== fuzz targets (briefly) =="
scripts/fuzz.sh "${TAVRO_FUZZ_SECONDS:-20}"

echo "== all tests passed =="
