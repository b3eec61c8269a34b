#!/usr/bin/env bash
# Installs what is missing, then configures, builds and runs the whole test suite (warnings as
# errors), the Windows builds' tests under wine64 included. `bash scripts/test.sh sanitize` runs
# the Linux suite under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-ci}
bash scripts/packages.sh
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
if [ "$preset" = ci ]; then bash scripts/windows.sh; fi
