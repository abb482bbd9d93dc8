#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The documented option combinations configure, each in a scratch build folder: without the
# dialog, without the tests (which then look for no test library), and both. A configure that is
# given no build type picks RelWithDebInfo.
#
#   build_options.sh SOURCE-DIR SCRATCH-DIR GENERATOR CXX-COMPILER
set -uo pipefail

source_dir=$1
scratch=$2
generator=$3
compiler=$4

passed=0
failed=0
check() {
    if [ "$2" -eq 0 ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $1"
    fi
}

# configure NAME ARGS...: configures into scratch/NAME; sets dir, cache and tests (ctest -N).
configure() {
    local name=$1
    shift
    dir=$scratch/$name
    rm -rf "$dir"
    cmake -S "$source_dir" -B "$dir" -G "$generator" -DCMAKE_CXX_COMPILER="$compiler" "$@" \
        >"$scratch/$name.log" 2>&1
    local status=$?
    check "$name: configures" $status
    [ $status -eq 0 ] || tail -20 "$scratch/$name.log"
    cache=$(cat "$dir/CMakeCache.txt" 2>/dev/null)
    tests=$(ctest --test-dir "$dir" -N 2>/dev/null)
}

has_test() { grep -qE "Test +#[0-9]+: $1\$" <<<"$tests"; }
in_cache() { grep -qE "^$1:" <<<"$cache"; }
mkdir -p "$scratch"

configure dialog-off -DQUILLBOX_BUILD_DIALOG=OFF
has_test cli.end_to_end; check "dialog-off: the command line's tests are there" $?
! has_test qt.dialog; check "dialog-off: no dialog test" $?

configure testing-off -DBUILD_TESTING=OFF
grep -q '^CMAKE_BUILD_TYPE:STRING=RelWithDebInfo$' <<<"$cache"
check "testing-off: no build type given gives RelWithDebInfo" $?
for library in GTest benchmark Qt6Test; do
    ! in_cache "${library}_DIR"; check "testing-off: no search for $library" $?
done
grep -q 'Total Tests: 0' <<<"$tests"; check "testing-off: no tests" $?

configure both-off -DQUILLBOX_BUILD_DIALOG=OFF -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Debug
! in_cache Qt6_DIR; check "both-off: no search for Qt" $?
grep -q '^CMAKE_BUILD_TYPE:STRING=Debug$' <<<"$cache"; check "both-off: a given build type stays" $?

echo "build options: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
