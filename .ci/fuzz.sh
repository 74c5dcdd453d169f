#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs them side by side, each for
# FUZZ_SECONDS (60 by default) or FUZZ_RUNS inputs, starting from the kept
# corpus (fuzz/corpus/<tool>/), the generated seeds and every saved finding. Any crash, sanitizer report, failed data check, leak, allocation
# over 256 MiB or input slower than 10 s is a finding: it is minimised, saved
# under tests/fuzz_findings/<tool>/ (where the test suite replays it from then
# on) and the script fails.
#
#   bash .ci/fuzz.sh                      # from the repository's root
#   FUZZ_SECONDS=600 bash .ci/fuzz.sh     # a longer session
#   FUZZ_RUNS=10000000 FUZZ_TOOLS=kestrin FUZZ_KEEP=1 bash .ci/fuzz.sh
#                                         # a campaign of one target whose new
#                                         # inputs are merged, minimised, into
#                                         # fuzz/corpus/kestrin/
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
runs="${FUZZ_RUNS:-}"
build="${FUZZ_BUILD:-build-fuzz}"
read -r -a tools <<<"${FUZZ_TOOLS:-kestrin lortane preview prepare}"

echo "== fuzz build (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)"
# clang only recommends its runtimes; without them the link fails obscurely.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' |
  clang++ -x c++ -fsanitize=fuzzer,address,undefined -o "$probe/probe" - || {
  echo "clang++ cannot link libFuzzer with the sanitizers: install libclang-rt-14-dev" >&2
  exit 1
}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DKL_FUZZ=ON -DKL_INSTALL=OFF -DKL_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" -j2 --target kestrin_fuzzer lortane_fuzzer preview_fuzzer prepare_fuzzer fuzz_corpus

programs="$build/tests/fuzz"
work="$build/fuzz-run"
rm -rf "$work"

run_target() {
  local tool=$1
  local saved=()
  [ -d "tests/fuzz_findings/$tool" ] && saved=("tests/fuzz_findings/$tool")
  mkdir -p "$work/$tool/corpus" "$work/$tool/artifacts" "fuzz/corpus/$tool"
  # New inputs go to the first folder; the seeds and findings are only read.
  local limit=(-max_total_time="$seconds")
  [ -n "$runs" ] && limit=(-runs="$runs")
  "$programs/${tool}_fuzzer" "${limit[@]}" -malloc_limit_mb=256 \
    -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 -dict="fuzz/$tool.dict" \
    -artifact_prefix="$work/$tool/artifacts/" \
    "$work/$tool/corpus" "fuzz/corpus/$tool" "$programs/corpus/$tool" "${saved[@]}" \
    >"$work/$tool/log" 2>&1
}

# Merges what a run found into the kept corpus, keeping only inputs that add
# coverage.
keep_corpus() {
  local tool=$1
  mkdir -p "$work/$tool/merged"
  "$programs/${tool}_fuzzer" -merge=1 -malloc_limit_mb=256 -timeout=10 "$work/$tool/merged" \
    "fuzz/corpus/$tool" "$work/$tool/corpus" "$programs/corpus/$tool" >"$work/$tool/merge.log" 2>&1
  rm -rf "fuzz/corpus/$tool"
  mv "$work/$tool/merged" "fuzz/corpus/$tool"
  echo "$tool: kept corpus of $(ls "fuzz/corpus/$tool" | wc -l) inputs in fuzz/corpus/$tool"
}

echo "== fuzzing ${tools[*]} for ${runs:-${seconds} s} each"
declare -A pid status
for tool in "${tools[@]}"; do
  run_target "$tool" &
  pid[$tool]=$!
done
for tool in "${tools[@]}"; do
  status[$tool]=0
  wait "${pid[$tool]}" || status[$tool]=$?
done

failed=0
for tool in "${tools[@]}"; do
  log="$work/$tool/log"
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  last=$(grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE)' "$log" | tail -n 1 | grep -oE 'cov: [0-9]+ ft: [0-9]+' || true)
  echo "$tool: ${executed:-?} executions, ${speed:-?} per second, ${last:-no coverage line}"

  findings=("$work/$tool/artifacts"/*)
  if [ "${status[$tool]}" -eq 0 ] && [ ! -e "${findings[0]}" ]; then
    [ -n "${FUZZ_KEEP:-}" ] && keep_corpus "$tool"
    continue
  fi
  failed=1
  echo "== $tool: finding (exit status ${status[$tool]}); the end of its log:"
  tail -n 40 "$log"
  mkdir -p "tests/fuzz_findings/$tool"
  for artifact in "${findings[@]}"; do
    [ -e "$artifact" ] || continue
    kept="tests/fuzz_findings/$tool/$(basename "$artifact")"
    # A finding that no longer reproduces alone is kept as it was found.
    if ! "$programs/${tool}_fuzzer" -minimize_crash=1 -max_total_time=60 -timeout=10 \
      -malloc_limit_mb=256 -exact_artifact_path="$kept" "$artifact" >"$work/$tool/minimise.log" 2>&1 ||
      [ ! -s "$kept" ]; then
      cp "$artifact" "$kept"
    fi
    echo "kept $kept ($(wc -c <"$kept") bytes); replay: $programs/${tool}_fuzzer $kept"
  done
done
exit "$failed"
