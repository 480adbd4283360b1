#!/bin/sh
# The test command. In order:
# - the layering: no engine folder includes a folder above it (tools/check-layers.sh);
# - the fuzz step: every input that ever failed, then the same fixed inputs for each target
#   on every machine;
# - once the optimised Linux build is built, every shader entry of the effect sources
#   through glslang (tools/check-shaders.sh);
# - Corvane for Linux, optimised: each test binary run whole from an empty folder, then
#   whole again in a fixed shuffled order (a test that leaves program-wide state behind
#   breaks the ones after it only in a shared process);
# - Corvane for Linux with AddressSanitizer and UndefinedBehaviorSanitizer: each binary in
#   four shards side by side, each shard one process running its share of the tests;
# - Corvane for Windows (x86, the product, and x64) against the real headers and
#   libraries, the portable tests of the x64 build under Wine, and a check of what the
#   product shows and plays under Wine and on Linux;
# - the product's x86 build: neither saver imports D3DX (which Windows lacks without the
#   DirectX end-user runtime); where the kernel runs 32-bit programs, its portable tests
#   under 32-bit Wine and the product check of it (elsewhere one line says they are left);
# - a short headless run of the saver, as the README runs it;
# - the checkout must then be as it was: a new or changed file that git does not ignore
#   fails the run.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
JOBS=$(nproc 2>/dev/null || echo 4)
SHARDS=4
SHUFFLE_SEED=20261210

sh tools/check-layers.sh
sh tools/run-fuzz.sh --check

# Runs test binary $2 of preset $1 from an empty folder of its own under build/$1/runs/,
# with further gtest arguments after them.
run_whole() {
  preset=$1 binary=$2 name=$3
  shift 3
  folder=$ROOT/build/$preset/runs/$name
  rm -rf "$folder"
  mkdir -p "$folder"
  (cd "$folder" && "$ROOT/build/$preset/$binary" --gtest_brief=1 "$@")
}

cmake --preset release
cmake --build --preset release -j "$JOBS"
sh tools/check-shaders.sh
for binary in corvane_tests corvane_linux_tests; do
  run_whole release "$binary" "$binary"
  run_whole release "$binary" "$binary-shuffled" --gtest_shuffle --gtest_random_seed="$SHUFFLE_SEED"
done

cmake --preset asan
cmake --build --preset asan -j "$JOBS"
for binary in corvane_tests corvane_linux_tests; do
  pids=""
  shard=0
  while [ "$shard" -lt "$SHARDS" ]; do
    (export GTEST_TOTAL_SHARDS="$SHARDS" GTEST_SHARD_INDEX="$shard"
     run_whole asan "$binary" "$binary-$shard") > "$ROOT/build/asan/$binary-$shard.log" 2>&1 &
    pids="$pids $!"
    shard=$((shard + 1))
  done
  shard=0
  failed=""
  for pid in $pids; do
    wait "$pid" || failed="$failed $shard"
    shard=$((shard + 1))
  done
  for log in "$ROOT"/build/asan/"$binary"-*.log; do tail -n 3 "$log"; done
  if [ -n "$failed" ]; then
    for shard in $failed; do
      echo "== $binary under the sanitizers, shard $shard of $SHARDS"
      tail -n 80 "$ROOT/build/asan/$binary-$shard.log"
    done
    echo "$binary failed under the sanitizers in shards:$failed"
    exit 1
  fi
done

# The Windows builds pack their media archive with the release build's rarpack.
for preset in windows-x86 windows-x64; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$JOBS"
done
sh tools/run-wine-tests.sh
sh tools/check-product.sh
for saver in i686:windows-x86 x86_64:windows-x64; do
  imports=$("${saver%%:*}-w64-mingw32-objdump" -p "build/${saver#*:}/corvane.scr" | grep "DLL Name:")
  if echo "$imports" | grep -qi "d3dx9"; then
    echo "build/${saver#*:}/corvane.scr imports D3DX, which a Windows without the DirectX runtime lacks"
    exit 1
  fi
done
if sh tools/can-run-i386.sh; then
  WINDOWS_BUILD=windows-x86 sh tools/run-wine-tests.sh
  sh tools/check-product.sh x86
else
  echo "this machine's kernel does not run 32-bit programs: the x86 build's tests and product check are left out"
fi

# The README's run command, short: the saver ends by the key the platform presses, which
# is exit code 1.
CORVANE_EXIT_AFTER_MS=3000 ./build/release/corvane /s || [ $? -eq 1 ]

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  changed=$(git status --porcelain)
  if [ -n "$changed" ]; then
    echo "the tests or the saver left files in the checkout that git does not ignore:"
    echo "$changed"
    exit 1
  fi
fi
