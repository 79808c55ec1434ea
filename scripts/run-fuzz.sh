#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every fuzz target for a bounded time on
# a copy of its committed seed corpus, so the committed corpus never grows.
# Fails when a target finds a crash, a leak, undefined behaviour, a timeout or
# a broken property; the input that did it is kept in build-fuzz/artifacts/.
#   FUZZ_SECONDS   time per target (default 60)
#   FUZZ_MAX_LEN   longest input tried (default 4096)
#   FUZZ_WORK_DIR  keep the grown corpora (<target>/corpus) and logs here
#                  (default: a temporary folder that is removed afterwards)
#   FUZZ_TARGETS   names to run (default: all that fuzz/CMakeLists.txt lists)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"
max_len="${FUZZ_MAX_LEN:-4096}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2

work="${FUZZ_WORK_DIR:+$(realpath -m "$FUZZ_WORK_DIR")}"
if [ -z "$work" ]; then
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
fi
root="$PWD"
artifacts="$root/build-fuzz/artifacts"
mkdir -p "$artifacts"

read -r -a targets <<<"${FUZZ_TARGETS:-$(tr '\n' ' ' <build-fuzz/fuzz-targets.txt)}"
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
summary=()
for target in "${targets[@]}"; do
  corpus="$work/$target/corpus"
  mkdir -p "$corpus"
  cp -n fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
  log="$work/$target/run.log"
  echo "== $target: ${seconds}s on $(find "$corpus" -type f | wc -l) inputs"
  # One fuzzing process (the machine is shared). With -jobs libFuzzer writes
  # the worker's log to fuzz-0.log in the current folder, hence the cd.
  if (cd "$corpus/.." && "$root/build-fuzz/fuzz/$target" "$corpus" -dict="$root/fuzz/xml.dict" -max_len="$max_len" \
      -max_total_time="$seconds" -timeout=10 -print_final_stats=1 -jobs=1 -workers=1 \
      -artifact_prefix="$artifacts/$target-") >"$log" 2>&1; then
    result="ok"
  else
    result="FAILED"
    status=1
    grep -E "ERROR|SUMMARY|fuzz_|runtime error|Test unit written" "$log" | head -20 || true
  fi
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
  summary+=("$target: $result, ${runs:-?} executions, $(find "$corpus" -type f | wc -l) inputs in the corpus")
done
echo "== fuzzing summary"
printf '%s\n' "${summary[@]}"
exit $status
