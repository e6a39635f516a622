#!/usr/bin/env bash
# Builds the parameter-string fuzz target with clang and runs it for a bounded
# time (FUZZ_SECONDS, default 60) on a scratch copy of the seed corpus, so the
# committed corpus is never written. Exits non-zero on any finding: a crash, a
# sanitizer report, a leak, a timeout or running out of memory.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
build=build-fuzz
work="$build/corpus-work"
artifacts="$build/artifacts"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_param_string

rm -rf "$work" "$artifacts"
mkdir -p "$work" "$artifacts"
cp fuzz/corpus/* "$work"/

echo "fuzz: running fuzz_param_string for ${seconds} s"
status=0
ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  "$build/fuzz/fuzz_param_string" \
    -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
    -dict=fuzz/param_string.dict -artifact_prefix="$artifacts/" -print_final_stats=1 \
    "$work" 2>"$build/fuzz.log" || status=$?
tail -n 25 "$build/fuzz.log"

if [ "$status" -ne 0 ] || [ -n "$(ls -A "$artifacts")" ]; then
  echo "fuzz: FAILED (exit $status); reproducer(s) in $artifacts:" >&2
  ls -l "$artifacts" >&2 || true
  exit 1
fi
echo "fuzz: no findings"
