#!/usr/bin/env bash
# Configures, builds and runs the whole test suite (warnings as errors).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset ci
cmake --build --preset ci
ctest --preset ci
