#!/usr/bin/env bash
# The fringe tool's study as a user runs it: one job or two give the same
# table, a study stopped by SIGTERM (the process) or SIGINT (Ctrl-C, to the
# whole process group) keeps its finished rows, leaves no process or file
# behind, and --resume completes it to the same table.
#   study_processes_test.sh FRINGE
set -euo pipefail
fringe=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work/tmp
mkdir -p "$TMPDIR"
cd "$work"
fail() { echo "FAILED: $*" >&2; exit 1; }
# The table without its ms column (the last but one); no quoted commas here.
no_ms() { awk -F, -v OFS=, '{ $(NF-1) = ""; print }' "$1"; }
no_ms_json() { sed -E 's/"ms": [-0-9.e+]+//g' "$1"; }
rows_in() { echo $(( $(grep -c '' "$1" 2>/dev/null || echo 0) - 2 )); }

"$fringe" init w >/dev/null
args=(study --dir w --vary noise=0,0.5,1 --vary contrast=0.5,1 --repeats 2 --seed 4)
"$fringe" "${args[@]}" --jobs 1 --csv one.csv --json one.json >/dev/null 2>&1
"$fringe" "${args[@]}" --jobs 2 --csv two.csv --json two.json >/dev/null 2>&1
[ "$(grep -c '' one.csv)" -eq 13 ] || fail "12 rows and a header expected"
cmp <(no_ms one.csv) <(no_ms two.csv) || fail "--jobs 1 and --jobs 2 differ"
cmp <(no_ms_json one.json) <(no_ms_json two.json) || fail "the JSON files differ"
[ -z "$(ls -A "$TMPDIR")" ] || fail "files left in \$TMPDIR: $(ls "$TMPDIR")"

# stop SIGNAL WHOM NAME: starts the study in a process group of its own,
# waits for two finished rows, sends the signal to the parent ("parent") or
# to the whole group ("group"), then checks what it left.
stop() {
  local signal=$1 whom=$2 name=$3
  setsid "$fringe" "${args[@]}" --jobs 2 --csv "$name.csv" 2>"$name.err" &
  local pid=$!
  for _ in $(seq 600); do
    [ "$(rows_in "$name.csv.part")" -ge 2 ] && break
    sleep 0.05
  done
  if [ "$whom" = group ]; then kill -"$signal" -- -"$pid"; else kill -"$signal" "$pid"; fi
  local status=0
  wait "$pid" || status=$?
  local expected=$(( 128 + $(kill -l "$signal") ))
  [ "$status" -eq "$expected" ] || fail "$name: exit status $status, expected $expected: $(cat "$name.err")"
  grep -q "runs kept in .*$name.csv.part; run the same command with --resume" "$name.err" ||
    fail "$name: no word on the kept runs: $(cat "$name.err")"
  [ ! -e "$name.csv" ] || fail "$name: a table written for an unfinished study"
  local kept
  kept=$(rows_in "$name.csv.part")
  [ "$kept" -ge 2 ] && [ "$kept" -lt 12 ] || fail "$name: $kept rows kept"
  [ -z "$(ls -A "$TMPDIR")" ] || fail "$name: files left in \$TMPDIR: $(ls "$TMPDIR")"
  if pgrep -g "$pid" >/dev/null; then fail "$name: processes of the study still run"; fi
  "$fringe" "${args[@]}" --jobs 2 --csv "$name.csv" 2>/dev/null && fail "$name: ran over the journal"
  "$fringe" "${args[@]}" --jobs 2 --csv "$name.csv" --resume >"$name.out" 2>/dev/null
  grep -q "study: 12 runs (0 failed, $(( 12 - kept )) run now)" "$name.out" ||
    fail "$name: resume ran other than the missing runs: $(cat "$name.out")"
  cmp <(no_ms "$name.csv") <(no_ms one.csv) || fail "$name: the resumed table differs"
  [ ! -e "$name.csv.part" ] || fail "$name: journal left after the study finished"
}
stop TERM parent term
stop INT group ctrl_c

# Bad input: one message, exit status 1, nothing written.
status=0
"$fringe" study --dir w --vary colour=1 --csv bad.csv 2>bad.err || status=$?
[ "$status" -eq 1 ] || fail "bad input: exit status $status"
grep -q 'unknown parameter "colour"; the parameters are contrast, noise' bad.err || fail "$(cat bad.err)"
[ ! -e bad.csv ] && [ ! -e bad.csv.part ] || fail "bad input wrote a file"
echo "study processes: ok"
