#!/usr/bin/env bash
# Builds everything and runs the whole test suite: unit and integration tests on Linux, the
# unit tests of the Windows target under Wine, the fuzz targets for a bounded time and the
# thread-sanitizer build of the concurrency tests. Ends with one "N passed, N failed" line.
set -uo pipefail
cd "$(dirname "$0")/.."
FUZZ_SECONDS="${FUZZ_SECONDS:-60}"
passed=0
failed=0
failures=()

count_ctest() {  # parses ctest's closing line
  local log=$1 name=$2 line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  if [ -z "$line" ]; then
    failed=$((failed + 1)); failures+=("$name: no test result"); return
  fi
  bad=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/')
  total=$(echo "$line" | sed -E 's/.*out of ([0-9]+).*/\1/')
  passed=$((passed + total - bad)); failed=$((failed + bad))
  [ "$bad" -eq 0 ] || failures+=("$name: $bad failed")
}

step() {  # step NAME COMMAND...: one pass or fail
  local name=$1; shift
  echo "== $name"
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); failures+=("$name"); fi
}

scripts/build.sh >/tmp/plumbox-build.log 2>&1 || { cat /tmp/plumbox-build.log; echo "build failed"; echo "0 passed, 1 failed"; exit 1; }
grep -E 'plumbox-stub.*bytes' /tmp/plumbox-build.log || true

export WINEDEBUG=-all
for preset in linux windows; do
  echo "== ctest: $preset"
  log=$(mktemp)
  # One test at a time: the display tests share one X server and one Wine session.
  ctest --preset "$preset" 2>&1 | tee "$log" | grep -vE '^\s*[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed' || true
  count_ctest "$log" "ctest $preset"
  rm -f "$log"
done

# Fuzz targets: clang build, each target for a bounded time over its seed corpus.
if cmake -S . -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
     -DPLB_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null && cmake --build build/fuzz -j 2 >/dev/null; then
  for target in build/fuzz/fuzz/*_fuzz; do
    name=$(basename "$target")
    scratch=$(mktemp -d)
    step "fuzz $name (${FUZZ_SECONDS}s)" "$target" -max_total_time="$FUZZ_SECONDS" -max_len=65536 \
      -print_final_stats=0 "$scratch" "fuzz/corpus/$name" >"$scratch.log" 2>&1 \
      || tail -40 "$scratch.log"
    rm -rf "$scratch" "$scratch.log"
  done
else
  failed=$((failed + 1)); failures+=("fuzz build")
fi

# Concurrency tests under ThreadSanitizer.
if cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLB_SANITIZE=thread \
     -DPLB_BUILD_TOOL=OFF >/dev/null && cmake --build build/tsan -j 2 --target plb_tests >/dev/null; then
  step "thread sanitizer" env TSAN_OPTIONS=halt_on_error=1 build/tsan/tests/plb_tests \
    --gtest_filter='*Concurren*:*Thread*' --gtest_brief=1
else
  failed=$((failed + 1)); failures+=("tsan build")
fi

echo
for f in "${failures[@]}"; do echo "FAILED: $f"; done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
