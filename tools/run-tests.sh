#!/bin/sh
# Runs each fuzz target for a few seconds, builds Corvane for Linux twice (optimised, and
# with AddressSanitizer and UndefinedBehaviorSanitizer) and runs every test in both, then
# builds it for Windows (x86, the product, and x64) against the real headers and libraries
# and runs the portable tests of the x64 build under Wine.
set -e
cd "$(dirname "$0")/.."
JOBS=$(nproc 2>/dev/null || echo 4)
sh tools/run-fuzz.sh --check
for preset in release asan; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$JOBS"
  ctest --preset "$preset"
done
# The Windows builds pack their media archive with the release build's rarpack.
for preset in windows-x86 windows-x64; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$JOBS"
done
sh tools/run-wine-tests.sh
