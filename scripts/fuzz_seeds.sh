#!/usr/bin/env bash
# Regenerates the seed inputs of the decompression, document, comparison and y4m
# fuzz targets in tests/fuzz/corpus/ from the built-in sample clip. The seeds
# are committed; run this only when the stream format changes.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${TAVRO_FUZZ_BUILD_DIR:-build-fuzz}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++-14 \
  -DTAVRO_FUZZ=ON -DTAVRO_BUILD_APP=OFF -DTAVRO_BUILD_CLI=OFF -DTAVRO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" --target make_fuzz_seeds -j "${TAVRO_JOBS:-2}"
for t in fuzz_decompress fuzz_document_open fuzz_compare_streams fuzz_y4m_header; do
  rm -rf "tests/fuzz/corpus/$t"
done
"$build_dir/bin/make_fuzz_seeds" tests/fuzz/corpus
ls -l tests/fuzz/corpus/*/
