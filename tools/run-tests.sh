#!/bin/sh
# Runs each fuzz target for a few seconds, then builds Corvane twice (optimised, and with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs every test in both builds.
set -e
cd "$(dirname "$0")/.."
sh tools/run-fuzz.sh 5
for preset in release asan; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
