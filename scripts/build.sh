#!/usr/bin/env bash
# Configures and builds Tavro into build/ (binaries in build/bin/).
# Extra arguments go to the CMake configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${TAVRO_JOBS:-2}"
build_dir="${TAVRO_BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$build_dir" -j "$jobs"
