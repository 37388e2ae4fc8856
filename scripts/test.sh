#!/usr/bin/env bash
# Sets up the machine, builds everything with AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs the whole test suite. The last lines are CTest's summary.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${NORV_TEST_BUILD_DIR:-$ROOT/build-test}"
"$ROOT/scripts/setup.sh"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNORV_SANITIZE=ON -DNORV_BUILD_TESTS=ON
cmake --build "$BUILD" --parallel "$(nproc)"
cd "$BUILD"
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure --parallel "$(nproc)" "$@"
