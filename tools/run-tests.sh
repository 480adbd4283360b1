#!/bin/sh
# Builds Corvane twice (optimised, and with AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs every test in both builds.
set -e
cd "$(dirname "$0")/.."
for preset in release asan; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
