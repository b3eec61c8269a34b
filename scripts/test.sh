#!/usr/bin/env bash
# Installs what is missing, then configures, builds and runs the whole test suite
# (warnings as errors).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/packages.sh
cmake --preset ci
cmake --build --preset ci
ctest --preset ci
