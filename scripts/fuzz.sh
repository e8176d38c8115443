#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer + UndefinedBehaviorSanitizer and runs
# each for a bounded time on a copy of its seed corpus. Fails on the first finding (crash, leak,
# undefined behaviour, timeout, excessive memory) and leaves the reproducer in build-fuzz/findings/.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]     (default 45 s, every target)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-45}
shift || true
build=${DRAVO_FUZZ_BUILD:-build-fuzz}
jobs=${JOBS:-2}
all=(fuzz_npy fuzz_png fuzz_values fuzz_dialog fuzz_block_setup)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang-14 \
  -DCMAKE_CXX_COMPILER=clang++-14 -DDRAVO_FUZZ=ON -DDRAVO_SANITIZE=ON -DDRAVO_BUILD_TESTS=OFF \
  "${launcher[@]}" >/dev/null
nice ninja -C "$build" -j"$jobs" "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
findings="$build/findings"
mkdir -p "$findings"
status=0
for t in "${targets[@]}"; do
  name=${t#fuzz_}
  # The seeds stay as committed; what the run discovers goes to a scratch corpus.
  work="$build/corpus/$name"
  mkdir -p "$work"
  echo "== $t for ${seconds}s"
  if ! "$build/bin/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
      -print_final_stats=1 -artifact_prefix="$findings/$t-" "$work" "fuzz/corpus/$name" \
      >"$build/$t.log" 2>&1; then
    echo "FAIL: $t found something; see $build/$t.log and $findings/" >&2
    tail -n 40 "$build/$t.log" >&2
    status=1
  else
    grep -E '^stat::number_of_executed_units' "$build/$t.log" || true
  fi
done
exit $status
