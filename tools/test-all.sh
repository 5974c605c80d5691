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
jobs=$(nproc 2>/dev/null || echo 2)
declare -A result
failed=0
start=$(date +%s)

for p in $presets; do
  echo "=== $p: configure and build"
  if cmake --preset "$p" >"build-$p.configure.log" 2>&1 || { cat "build-$p.configure.log"; false; }; then
    rm -f "build-$p.configure.log"
    if cmake --build --preset "$p" -j "$jobs"; then
      result[$p]=built
    else
      result[$p]="BUILD FAILED"; failed=1; continue
    fi
  else
    result[$p]="CONFIGURE FAILED"; failed=1; continue
  fi
done

for p in $presets; do
  [ "${result[$p]}" = built ] || continue
  echo "=== $p: tests"
  log="build/$p/ctest.log"
  if ctest --preset "$p" 2>&1 | tee "$log"; then
    result[$p]="passed ($(grep -Eo '[0-9]+ tests passed|100% tests passed, 0 tests failed out of [0-9]+' "$log" | tail -1))"
  else
    result[$p]="TESTS FAILED ($(grep -Eo 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1))"
    failed=1
  fi
done

echo
echo "=== summary ($(( $(date +%s) - start )) s)"
for p in $presets; do
  printf '  %-7s %s\n' "$p" "${result[$p]}"
done
echo "  captures and test reports: build/<preset>/test-results/"
exit $failed
