#!/usr/bin/env bash
# The study across the processes of an MPI job on this machine: mpirun -n 2
# gives the table a single process gives (except ms), resumes a study a
# single process left, reports bad input once, writing nothing, and ends a
# study with failed runs with exit status 3.
# Exits 77 (skipped) without mpirun.
#   study_mpi_test.sh FRINGE
set -euo pipefail
fringe=$1
command -v mpirun >/dev/null || { echo "no mpirun: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work/tmp
mkdir -p "$TMPDIR"
cd "$work"
fail() { echo "FAILED: $*" >&2; exit 1; }
no_ms() { awk -F, -v OFS=, '{ $(NF-1) = ""; print }' "$1"; }
no_ms_json() { sed -E 's/"ms": [-0-9.e+]+//g' "$1"; }
mpi() { mpirun --allow-run-as-root --oversubscribe -n 2 "$@"; }

"$fringe" init w >/dev/null
args=(study --dir w --vary noise=0,0.5,1 --vary contrast=0.5,1 --repeats 2 --seed 4)
"$fringe" "${args[@]}" --jobs 1 --csv one.csv --json one.json >/dev/null 2>&1
mpi "$fringe" "${args[@]}" --csv mpi.csv --json mpi.json >mpi.out 2>mpi.err ||
  fail "mpirun: $(cat mpi.out mpi.err)"
grep -q "study: 12 runs (0 failed, 12 run now) .*(2 processes)" mpi.out || fail "$(cat mpi.out)"
cmp <(no_ms one.csv) <(no_ms mpi.csv) || fail "mpirun -n 2 and one process differ"
cmp <(no_ms_json one.json) <(no_ms_json mpi.json) || fail "the JSON files differ"
[ -z "$(ls -A "$TMPDIR")" ] || fail "files left in \$TMPDIR: $(ls "$TMPDIR")"

# A study one process began, stopped after three rows and resumed by two.
rows_in() { echo $(( $(grep -c '' "$1" 2>/dev/null || echo 0) - 2 )); }
"$fringe" "${args[@]}" --jobs 1 --csv half.csv 2>/dev/null &
pid=$!
for _ in $(seq 600); do
  [ "$(rows_in half.csv.part)" -ge 3 ] && break
  sleep 0.05
done
kill -TERM "$pid"
wait "$pid" || true
kept=$(rows_in half.csv.part)
[ "$kept" -ge 3 ] && [ "$kept" -lt 12 ] || fail "$kept rows kept"
mpi "$fringe" "${args[@]}" --csv half.csv --resume >half.out 2>half.err || fail "$(cat half.out half.err)"
grep -q "study: 12 runs (0 failed, $(( 12 - kept )) run now)" half.out || fail "$(cat half.out)"
cmp <(no_ms one.csv) <(no_ms half.csv) || fail "the table resumed under mpirun differs"

# Rank 0 stopped (SIGTERM to it alone): it tells the other rank to stop, takes
# the rows that rank still sends, then ends; the journal holds every row it
# reported and a resume completes the table one process gives.
sargs=(study --dir w --vary noise=0,0.25,0.5,0.75,1 --vary contrast=0.5,0.75,1 --repeats 2 --seed 4)
"$fringe" "${sargs[@]}" --jobs 1 --csv long_one.csv >/dev/null 2>&1 || fail "the long study in one process"
# mpirun itself in the background (not through mpi, a function: a subshell), so that the ranks are its children.
mpirun --allow-run-as-root --oversubscribe -n 2 "$fringe" "${sargs[@]}" --csv stopped.csv >stopped.out 2>stopped.err &
job=$!
for _ in $(seq 600); do
  [ "$(rows_in stopped.csv.part)" -ge 4 ] && break
  sleep 0.05
done
rank0=""
for child in $(pgrep -P "$job"); do
  tr '\0' '\n' <"/proc/$child/environ" 2>/dev/null | grep -qx OMPI_COMM_WORLD_RANK=0 && rank0=$child
done
[ -n "$rank0" ] || fail "rank 0 is not a child of mpirun"
kill -TERM "$rank0"
wait "$job" || true
grep -q "^fringe: study stopped: [0-9]* of 30 runs kept in stopped.csv.part" stopped.err ||
  fail "the stop under mpirun: $(cat stopped.out stopped.err)"
reported=$(sed -nE 's/.*study stopped: ([0-9]+) of 30 runs.*/\1/p' stopped.err)
[ "$(rows_in stopped.csv.part)" -eq "$reported" ] && [ "$reported" -lt 30 ] ||
  fail "$reported rows reported, $(rows_in stopped.csv.part) kept"
mpi "$fringe" "${sargs[@]}" --csv stopped.csv --resume >resumed.out 2>resumed.err ||
  fail "$(cat resumed.out resumed.err)"
cmp <(no_ms long_one.csv) <(no_ms stopped.csv) || fail "the stopped and resumed table differs"

# Bad input: rank 0 says it once; no rank runs anything, nothing is written.
status=0
mpi "$fringe" study --dir w --vary noise=2 --csv bad.csv >bad.out 2>bad.err || status=$?
[ "$status" -ne 0 ] || fail "bad input under mpirun succeeded"
[ "$(grep -c 'noise=2 is outside 0..1' bad.err)" -eq 1 ] || fail "$(cat bad.err)"
[ ! -e bad.csv ] && [ ! -e bad.csv.part ] || fail "bad input wrote a file"
# Runs that fail (a picture two pixels wide leaves the engine no profile),
# on both ranks: rank 0 writes the files, says once how many failed, and the
# job exits with 3.
"$fringe" init narrow >/dev/null
sed -i 's/^XPixels=.*\r$/XPixels=2\r/' narrow/image.ini
status=0
mpi "$fringe" study --dir narrow --vary noise=0,0.5,1 \
  --csv failed.csv --json failed.json >failed.out 2>failed.err || status=$?
[ "$status" -eq 3 ] || fail "failed runs under mpirun: exit status $status: $(cat failed.out failed.err)"
grep -q "study: 3 runs (3 failed, 3 run now) .*(2 processes)" failed.out || fail "$(cat failed.out)"
[ "$(grep -c '^fringe: 3 of 3 runs failed; the status column of their rows says why$' failed.err)" -eq 1 ] ||
  fail "$(cat failed.err)"
[ "$(grep -c 'grid size 0 x 256 out of range' failed.csv)" -eq 3 ] || fail "$(cat failed.csv)"
[ -s failed.csv ] && [ -s failed.json ] && [ ! -e failed.csv.part ] || fail "the study's files under mpirun"
# The channel's method file and the method options reach every rank: a
# study of the methods under mpirun gives the table of one process.
printf 'Method=fourier\r\nGamma=1.5\r\n' >w/method.ini
margs=(study --dir w --vary method=quadrature,phase-shift,fourier --vary noise=0,0.5 --steps 6 --seed 2)
"$fringe" "${margs[@]}" --jobs 1 --csv methods_one.csv >/dev/null 2>&1 || fail "methods in one process"
mpi "$fringe" "${margs[@]}" --csv methods_mpi.csv >methods.out 2>methods.err || fail "$(cat methods.out methods.err)"
grep -q '^phase-shift,0.5,0,2,' methods_one.csv || fail "$(cat methods_one.csv)"
cmp <(no_ms methods_one.csv) <(no_ms methods_mpi.csv) || fail "the methods' table under mpirun differs"
echo "study under mpirun: ok"
