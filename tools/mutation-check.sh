#!/usr/bin/env bash
# Mutation check of the signature gate: every edit listed in the *.mutations files beside the code
# (signature/src/verify.mutations, install_helper/check_signature.mutations) undoes one check the
# gate relies on. Each is applied alone to a scratch copy of the tree, the native build is rebuilt
# and the gate's native tests run; the edit must make them fail ("caught"). The run fails when an
# edit survives, when its text does not occur exactly once, when it does not build, or when the
# unedited control run fails: an edit that cannot be applied proves nothing.
#   tools/mutation-check.sh [WORK_DIR]        (default build/mutation)
#   KY_MUTATION_ONLY=NAME tools/mutation-check.sh    one edit only
set -u
cd "$(dirname "$0")/.." || exit 2
root=$(pwd)
work=${1:-$root/build/mutation}
src=$work/src
bld=$work/build
log=$work/log
start=$(date +%s)
targets=(kysig_verify_test ky_check_signature_native_test kysign kysig_verify_samples)
tests='^(kysig_verify_test|ky_check_signature_native_test|signtool\.cli)$'

mkdir -p "$work"
rm -rf "$src"
mkdir -p "$src" "$log"
# The tracked files and the new ones, as they are in the working tree.
git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' f; do
    [ -f "$f" ] && printf '%s\0' "$f"
done | tar -cf - --null -T - | tar -xf - -C "$src" || exit 2

build_and_test() {  # LOGNAME: 0 passed, 1 tests failed, 2 build failed
    cmake --build "$bld" --target "${targets[@]}" >"$log/$1.build" 2>&1 || return 2
    (cd "$bld" && ctest -R "$tests" >"$log/$1.test" 2>&1) && return 0
    return 1
}

echo "=== mutation check: configure and control run"
if ! cmake -S "$src" -B "$bld" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DKY_WARNINGS_AS_ERRORS=OFF >"$log/configure" 2>&1; then
    cat "$log/configure"
    echo "FAIL: the scratch copy does not configure"
    exit 1
fi
build_and_test control
rc=$?
if [ $rc -ne 0 ]; then
    cat "$log/control.build" "$log/control.test" 2>/dev/null | tail -40
    echo "FAIL: the unedited control run does not pass"
    exit 1
fi

total=0 caught=0 failures=0
# apply FILE FROM TO: replaces the one occurrence of FROM in FILE; fails unless there is exactly one.
apply() {
    local file=$1 from=$2 to=$3 content rest count
    content=$(cat "$file"; printf x)
    content=${content%x}
    rest=${content//"$from"/}
    count=$(( (${#content} - ${#rest}) / ${#from} ))
    [ "$count" -eq 1 ] || { echo "occurs $count times"; return 1; }
    printf '%s' "${content/"$from"/"$to"}" >"$file"
}

run_edit() {  # NAME FILE FROM TO
    local name=$1 file=$2 from=$3 to=$4 why
    [ -n "${KY_MUTATION_ONLY:-}" ] && [ "$KY_MUTATION_ONLY" != "$name" ] && return
    total=$((total + 1))
    cp "$root/$file" "$src/$file"
    if ! why=$(apply "$src/$file" "$from" "$to"); then
        printf '  %-40s NOT APPLIED (%s in %s)\n' "$name" "$why" "$file"
        failures=$((failures + 1))
    else
        build_and_test "$name"
        case $? in
            1) printf '  %-40s caught\n' "$name"; caught=$((caught + 1)) ;;
            0) printf '  %-40s SURVIVED (the tests pass with it)\n' "$name"; failures=$((failures + 1)) ;;
            *) printf '  %-40s DOES NOT BUILD (see %s)\n' "$name" "$log/$name.build"; failures=$((failures + 1)) ;;
        esac
    fi
    # Copied, not moved back: a new time stamp makes the next build see the file again.
    cp "$root/$file" "$src/$file"
}

echo "=== mutation check: one edit at a time"
while IFS= read -r list; do
    name='' file='' from='' to=''
    while IFS= read -r line || [ -n "$line" ]; do
        case $line in
            name:\ *) name=${line#name: } ;;
            file:\ *) file=${line#file: } ;;
            from:\ *) from=${line#from: } ;;
            to:\ *) to=${line#to: } ;;
            '') [ -n "$name" ] && run_edit "$name" "$file" "$from" "$to"; name='' ;;
        esac
    done <"$list"
    [ -n "$name" ] && run_edit "$name" "$file" "$from" "$to"
done < <(git ls-files --cached --others --exclude-standard -- '*.mutations')

# The last edit is undone: the scratch tree builds as the control did.
cmake --build "$bld" --target "${targets[@]}" >"$log/final.build" 2>&1
echo "=== mutation check: $caught of $total edits caught, $failures failing ($(( $(date +%s) - start )) s)"
[ "$total" -gt 0 ] && [ "$failures" -eq 0 ]
