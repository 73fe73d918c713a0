#!/bin/sh
# The layer check on a tree built to cross the layers in every way it knows:
# it must fail and name each crossing, no more and no fewer.
#   check_layers_test.sh CHECKER TESTS_DIR
set -u
checker=$1
dir=$2
if "$checker" "$dir/crossing_tree" >/dev/null 2>&1; then
  echo "the crossing tree passed the check" >&2
  exit 1
fi
"$checker" "$dir/crossing_tree" 2>&1 | sort | diff "$dir/crossing_tree.expected" -
