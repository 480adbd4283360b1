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
# Every step and every test binary runs under a time limit of its own (tools/time-limit.sh),
# a few times what it takes on a loaded machine of three cores: one that hangs fails the run
# within minutes with the line "step <name> did not finish within <limit> s".
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
JOBS=$(nproc 2>/dev/null || echo 4)
SHARDS=4
SHUFFLE_SEED=20261210
. "$ROOT/tools/time-limit.sh"
# The limits in seconds: a build, a configuration, a test binary of the optimised build.
BUILD_LIMIT=1800
CONFIGURE_LIMIT=300
TESTS_LIMIT=600

within 300 "layers" sh tools/check-layers.sh
within 2400 "fuzz" sh tools/run-fuzz.sh --check

# Runs test binary $3 of preset $2 from an empty folder of its own under build/$2/runs/$4/,
# within $1 seconds, with further gtest arguments after them.
run_whole() {
  limit=$1 preset=$2 binary=$3 name=$4
  shift 4
  folder=$ROOT/build/$preset/runs/$name
  rm -rf "$folder"
  mkdir -p "$folder"
  (cd "$folder" && within "$limit" "$preset $name" "$ROOT/build/$preset/$binary" --gtest_brief=1 "$@")
}

# Configures and builds preset $1.
build() {
  within "$CONFIGURE_LIMIT" "$1 configuration" cmake --preset "$1"
  within "$BUILD_LIMIT" "$1 build" cmake --build --preset "$1" -j "$JOBS"
}

build release
within 300 "shader check" sh tools/check-shaders.sh
for binary in corvane_tests corvane_linux_tests; do
  run_whole "$TESTS_LIMIT" release "$binary" "$binary"
  run_whole "$TESTS_LIMIT" release "$binary" "$binary-shuffled" --gtest_shuffle --gtest_random_seed="$SHUFFLE_SEED"
done

build asan
for binary in corvane_tests corvane_linux_tests; do
  pids=""
  shard=0
  while [ "$shard" -lt "$SHARDS" ]; do
    (export GTEST_TOTAL_SHARDS="$SHARDS" GTEST_SHARD_INDEX="$shard"
     run_whole 1500 asan "$binary" "$binary-$shard") > "$ROOT/build/asan/$binary-$shard.log" 2>&1 &
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
  build "$preset"
done
within 1200 "wine tests windows-x64" sh tools/run-wine-tests.sh
within 900 "product check x64" sh tools/check-product.sh
for saver in i686:windows-x86 x86_64:windows-x64; do
  imports=$ROOT/build/${saver#*:}/imports.txt
  within 120 "imports of build/${saver#*:}/corvane.scr" "${saver%%:*}-w64-mingw32-objdump" -p \
    "build/${saver#*:}/corvane.scr" > "$imports"
  if grep "DLL Name:" "$imports" | grep -qi "d3dx9"; then
    echo "build/${saver#*:}/corvane.scr imports D3DX, which a Windows without the DirectX runtime lacks"
    exit 1
  fi
done
i386=0
within 60 "32-bit probe" sh tools/can-run-i386.sh || i386=$?
[ "$i386" -ne 124 ] || exit 1
if [ "$i386" -eq 0 ]; then
  within 1200 "wine tests windows-x86" env WINDOWS_BUILD=windows-x86 sh tools/run-wine-tests.sh
  within 900 "product check x86" sh tools/check-product.sh x86
else
  echo "this machine's kernel does not run 32-bit programs: the x86 build's tests and product check are left out"
fi

# The README's run command, short: the saver ends by the key the platform presses, which
# is exit code 1.
within 120 "headless run" env CORVANE_EXIT_AFTER_MS=3000 ./build/release/corvane /s || [ $? -eq 1 ]

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  changed=$(git status --porcelain)
  if [ -n "$changed" ]; then
    echo "the tests or the saver left files in the checkout that git does not ignore:"
    echo "$changed"
    exit 1
  fi
fi
