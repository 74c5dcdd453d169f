#!/usr/bin/env bash
# Configures this project as a user who only wants to install would, with
# GoogleTest hidden: with the tests on, the configuration goes on without the
# GoogleTest suites and says so; with BUILD_TESTING off it needs nothing and
# says nothing about GoogleTest.
#
# googletest_optional_test.sh <source root> <cmake> <ctest> <C compiler> <C++ compiler>
set -euo pipefail
root=$1 cmake=$2 ctest=$3 cc=$4 cxx=$5

source "$(dirname "$0")/../support/work_folder.sh"
configure() {  # configure <name> [<cmake argument>...]
  local name=$1
  shift
  "$cmake" -S "$root" -B "$work/$name" -G "Unix Makefiles" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
    "-DCMAKE_C_COMPILER=$cc" "-DCMAKE_CXX_COMPILER=$cxx" "$@" >"$work/$name.log" 2>&1 || {
    cat "$work/$name.log"
    fail "the project does not configure without GoogleTest ($name)"
  }
}

configure with-tests
tr '\n' ' ' <"$work/with-tests.log" | grep -q "GoogleTest was not found: the unit and black-box tests are left out" ||
  fail "the configuration does not say that the GoogleTest suites are left out"
"$cmake" --build "$work/with-tests" --target help >"$work/targets.txt"
grep -q "kestrin_unit_tests" "$work/targets.txt" && fail "a GoogleTest suite is built without GoogleTest"
(cd "$work/with-tests" && "$ctest" -N) >"$work/tests.txt"
grep -q "integration.function_errors" "$work/tests.txt" ||
  fail "the integration tests are left out too"

configure without-tests -DBUILD_TESTING=OFF
if grep -q "GoogleTest" "$work/without-tests.log"; then
  fail "with BUILD_TESTING off the configuration still speaks of GoogleTest"
fi
echo "GoogleTest: optional with the tests on, not needed with them off"
