#!/usr/bin/env bash
# Runs every libFuzzer target of tests/fuzz for SECONDS seconds each, one
# after the other, under AddressSanitizer + UndefinedBehaviorSanitizer.
# Builds them with clang++-16 in build-fuzz/, cuts seeds from generated cards
# into build-fuzz/corpus/, keeps crashing inputs in build-fuzz/artifacts/ and
# each run's output in build-fuzz/logs/. Prints executions per target; exits
# non-zero when any target crashed, leaked, hung or broke an invariant.
#
#   scripts/fuzz.sh SECONDS [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh SECONDS [TARGET...]" >&2
  exit 2
fi
shift
all_targets=(boot_sector_fuzz mft_record_fuzz atom_walk_fuzz fragment_analysis_fuzz scan_result_fuzz
             header_rebuild_fuzz verify_fuzz)
targets=("${@:-${all_targets[@]}}")

if ! command -v clang++-16 >/dev/null; then
  echo "fuzz: clang++-16 not found, fuzzing skipped (scripts/install-deps.sh installs clang-16)"
  exit 0
fi

out=build-fuzz
# Another build may share the machine: one compile job, one fuzzing process.
jobs=${FUZZ_JOBS:-1}

echo "== fuzz build (clang++-16, ASan + UBSan + libFuzzer) in $out =="
# A build folder scripts/test.sh configured (with its tests) is taken as it is.
if [ ! -f "$out/CMakeCache.txt" ]; then
  cmake -S . -B "$out" -DCMAKE_CXX_COMPILER=clang++-16 -DTAVORINE_FUZZ=ON \
    -DTAVORINE_BUILD_GUI=OFF -DTAVORINE_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
build_targets=(fuzz_targets)
# The normal build's generator and CLI make the seeds when they are there.
cardgen=build/tavorine-cardgen
cli=build/tavorine-mov-cli
if [ ! -x "$cardgen" ] || [ ! -x "$cli" ]; then
  cardgen=$out/tavorine-cardgen
  cli=$out/tavorine-mov-cli
  build_targets+=(tavorine-cardgen tavorine-mov-cli)
fi
cmake --build "$out" -j"$jobs" --target "${build_targets[@]}"

echo "== seeds from generated cards =="
python3 tests/fuzz/make_seeds.py "$cardgen" "$cli" "$out/cards" "$out/corpus"

max_len() {
  case "$1" in
    boot_sector_fuzz) echo 32768 ;;
    mft_record_fuzz) echo 8192 ;;
    atom_walk_fuzz) echo 65536 ;;
    fragment_analysis_fuzz) echo 131072 ;;
    scan_result_fuzz) echo 16384 ;;
    header_rebuild_fuzz) echo 131072 ;;
    verify_fuzz) echo 262144 ;;
    *) echo 4096 ;;
  esac
}

mkdir -p "$out/logs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:symbolize=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
summary=()
for t in "${targets[@]}"; do
  exe=$out/fuzz/$t
  [ -x "$exe" ] || { echo "fuzz: no target $t" >&2; exit 2; }
  corpus=$out/corpus/$t
  artifacts=$out/artifacts/$t
  log=$out/logs/$t.log
  mkdir -p "$corpus" "$artifacts"
  dict=()
  [ -f "tests/fuzz/$t.dict" ] && dict=(-dict="tests/fuzz/$t.dict")
  # The decoder also reads what the media parsers' fuzzing found (read only:
  # new inputs go to the target's own corpus).
  more=()
  if [ "$t" = verify_fuzz ]; then
    for other in atom_walk_fuzz header_rebuild_fuzz; do
      [ -d "$out/corpus/$other" ] && more+=("$out/corpus/$other")
    done
  fi
  echo "== $t: ${seconds} s =="
  rc=0
  "$exe" -max_total_time="$seconds" -max_len="$(max_len "$t")" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "${dict[@]}" "$corpus" "${more[@]}" >"$log" 2>&1 || rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  done_line=$(grep -E '^Done [0-9]+ runs in [0-9]+ second' "$log" | tail -1 || true)
  if [ "$rc" -ne 0 ]; then
    failed+=("$t")
    echo "fuzz: $t failed (exit $rc); input kept in $artifacts/, output in $log"
    grep -m1 -A14 -E 'ERROR: |runtime error|invariant broken' "$log" || tail -20 "$log"
  fi
  summary+=("$(printf '%-24s %10s %12s  %s' "$t" "${rate:-?}" "${runs:-?}" \
    "$([ "$rc" -eq 0 ] && echo "ok${done_line:+ ($done_line)}" || echo "FAILED")")")
done

echo "== fuzz summary: ${seconds} s per target =="
printf '%-24s %10s %12s  %s\n' target exec/s executions result
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: crashes in ${failed[*]}"
  exit 1
fi
