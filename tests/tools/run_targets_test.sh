#!/usr/bin/env bash
# ./run builds the target "programs" (build preset run): the programs it
# starts and what they need at run time, never a test, benchmark or fuzzer
# (a fresh clone once compiled all of them for 16 minutes before the window
# came up).
#   run_targets_test.sh NINJA BUILD_DIR
set -euo pipefail
ninja=$1
build=$2
outputs=$("$ninja" -C "$build" -t commands programs | grep -o -- "-o [^ ]*" | cut -c4-)
status=0
for program in gui/main_window/fringe-workbench cli/fringe scan/libscan.so; do
  if ! grep -q "^$program" <<<"$outputs"; then
    echo "programs does not build $program"
    status=1
  fi
done
if grep -E "^(tests|bench|fuzzers)/" <<<"$outputs"; then
  echo "programs builds the tests, benchmarks or fuzzers above"
  status=1
fi
exit $status
