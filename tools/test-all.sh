#!/usr/bin/env bash
# The one test command: installs what is missing, configures and builds the three presets,
# runs every test through ctest and prints a summary. Exits non-zero on any failure.
#   tools/test-all.sh            everything
#   KY_PRESETS="native" tools/test-all.sh   a subset of the presets
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if [ "${KY_SKIP_SETUP:-0}" != 1 ]; then
  tools/setup-deps.sh || { echo "setup failed"; exit 1; }
fi

presets=${KY_PRESETS:-"native win64 win32"}
failed=0

# Every C and C++ file in the house style (.clang-format); a file that is not fails the run.
echo "=== format check"
format_start=$(date +%s)
mapfile -t sources < <(git ls-files --cached --others --exclude-standard -- '*.c' '*.cpp' '*.h' |
  while read -r f; do [ -f "$f" ] && printf '%s\n' "$f"; done)
if clang-format --dry-run -Werror "${sources[@]}"; then
  format_result="passed (${#sources[@]} files)"
else
  format_result="FAILED (run: clang-format -i on the files above)"; failed=1
fi
format_result="$format_result, $(( $(date +%s) - format_start )) s"
jobs=$(nproc 2>/dev/null || echo 2)
declare -A result
start=$(date +%s)

declare -A seconds run_seconds wine_tests
for p in $presets; do
  echo "=== $p: configure and build"
  part_start=$(date +%s)
  if cmake --preset "$p" >"build-$p.configure.log" 2>&1 || { cat "build-$p.configure.log"; false; }; then
    rm -f "build-$p.configure.log"
    if cmake --build --preset "$p" -j "$jobs"; then
      result[$p]=built
    else
      result[$p]="BUILD FAILED"; failed=1
    fi
  else
    result[$p]="CONFIGURE FAILED"; failed=1
  fi
  seconds[$p]="build $(( $(date +%s) - part_start )) s"
done

for p in $presets; do
  [ "${result[$p]}" = built ] || continue
  echo "=== $p: tests"
  log="build/$p/ctest.log"
  part_start=$(date +%s)
  if ctest --preset "$p" 2>&1 | tee "$log"; then
    result[$p]="passed ($(grep -Eo '[0-9]+ tests passed|100% tests passed, 0 tests failed out of [0-9]+' "$log" | tail -1))"
  else
    result[$p]="TESTS FAILED ($(grep -Eo 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1))"
    failed=1
  fi
  run_seconds[$p]=$(( $(date +%s) - part_start ))
  seconds[$p]="${seconds[$p]}, tests ${run_seconds[$p]} s"
  # How many of the run's tests were Windows programs under Wine (ctest's label summary).
  wine_tests[$p]=$(sed -n 's/^wine *=.*(\([0-9]*\) tests\{0,1\}).*/\1/p' "$log" | tail -1)
done

# The gate's tests against single-point edits of the gate, natively, in a scratch copy of its own.
mutation_result="not run (no native preset)"
case " $presets " in
*" native "*)
    mutation_start=$(date +%s)
    if tools/mutation-check.sh "$root/build/mutation"; then
        mutation_result="passed"
    else
        mutation_result="FAILED"; failed=1
    fi
    mutation_result="$mutation_result, $(( $(date +%s) - mutation_start )) s" ;;
esac

echo
echo "=== summary ($(( $(date +%s) - start )) s)"
printf '  %-7s %s\n' "format" "$format_result"
for p in $presets; do
  printf '  %-7s %s; %s\n' "$p" "${result[$p]}" "${seconds[$p]}"
done
# How 32-bit programs ran here, and the time of the 32-bit run (the win32 preset's tests, the
# objdump checks and the Windows programs under 32-bit Wine) beside the 64-bit run's.
if [ -r build/win32/wine32-status ]; then
  line=$(cat build/win32/wine32-status)
  if [ -n "${run_seconds[win32]:-}" ]; then
    case "$line" in
    skipped*) line="$line; the win32 run (objdump checks only) ${run_seconds[win32]} s" ;;
    *) line="$line; 32-bit run ${run_seconds[win32]} s (${wine_tests[win32]:-0} tests under Wine)" ;;
    esac
    if [ -n "${run_seconds[win64]:-}" ]; then
      line="$line, 64-bit run ${run_seconds[win64]} s (${wine_tests[win64]:-0} tests under Wine)"
    fi
  fi
  printf '  %-7s %s\n' "32-bit" "$line"
fi
printf '  %-7s %s\n' "mutants" "$mutation_result"
echo "  captures and test reports: build/<preset>/test-results/"
exit $failed
