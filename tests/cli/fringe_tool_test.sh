#!/usr/bin/env bash
# The fringe tool as a new user meets it, through the real parser: each
# option checked against its domain where the subcommand declares it, the
# exit status of a refused settings file, scan's --section, the surface line
# and a study with failed runs. The words of each check are tested on the
# functions (tests/cli/commands_test.cpp, tests/settings/*settings_test.cpp).
#   fringe_tool_test.sh FRINGE
set -euo pipefail
fringe=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work/tmp
mkdir -p "$TMPDIR"
cd "$work"
fail() { echo "FAILED: $*" >&2; exit 1; }

"$fringe" init w >/dev/null
"$fringe" measure --dir w --seed 1 >/dev/null
cp w/sim00.bmp picture.bmp
"$fringe" scan picture.bmp --ini w/scnmod.ini --out p.txt || fail "scan of a good picture"
printf '[Other]\r\nLambdaF=10\r\n' >other_section.ini
"$fringe" init radius >/dev/null
sed -i 's/^Radius=.*\r$/Radius=abc\r/' radius/image_1.ini

# expect STATUS PATTERN NOT_WRITTEN -- ARGS...: runs fringe ARGS, checks the
# exit status, that stderr matches PATTERN (grep -E; an empty pattern: stderr
# is empty) and that NOT_WRITTEN (a file; "-" for none) does not exist
# afterwards.
cases=0
expect() {
  local status=$1 pattern=$2 absent=$3
  shift 4
  [ "$absent" = - ] || rm -f "$absent"
  local got=0
  "$fringe" "$@" >out.txt 2>err.txt || got=$?
  [ "$got" -eq "$status" ] || fail "fringe $*: exit status $got, expected $status: $(cat err.txt)"
  if [ -z "$pattern" ]; then
    [ ! -s err.txt ] || fail "fringe $*: $(cat err.txt)"
  else
    grep -qE -- "$pattern" err.txt || fail "fringe $*: stderr does not say /$pattern/: $(cat err.txt)"
  fi
  [ "$absent" = - ] || [ ! -e "$absent" ] || fail "fringe $*: $absent written"
  cases=$((cases + 1))
}
usage=105  # CLI11's status for a value its check refuses

# Each option's domain, where its subcommand declares it.
expect $usage '^--max-noise: -3 is outside 0\.\.255$' w/sim01.bmp -- simulate --dir w --channel 1 --max-noise -3
expect $usage '^--noise: "abc" is not a number$' w/sim01.bmp -- measure --dir w --channel 1 --noise abc
expect $usage '^--contrast: 2 is outside 0\.\.1$' w/sim01.bmp -- simulate --dir w --channel 1 --contrast 2
expect $usage '^--passes: -1 is outside 0\.\.1024$' w/sim01.bmp -- simulate --dir w --channel 1 --passes -1
expect $usage '^--seed: -1 is outside 0\.\.4294967295$' w/sim01.bmp -- simulate --dir w --channel 1 --seed -1
expect $usage '^--channel: 2 is outside 0\.\.1$' - -- profile --dir w --channel 2
expect $usage '^--order: 11 is outside 0\.\.10$' - -- analyse --dir w --order 11
expect $usage '^--levels: 0 is outside 1\.\.256$' map.bmp -- render p.txt --min -5 --max 5 --levels 0 --out map.bmp
expect $usage '^--min: "nan" is not a number$' map.bmp -- render p.txt --min nan --max 5 --out map.bmp
expect $usage '^--repeats: 0 is outside 1\.\.1000000$' s.csv -- study --dir w --vary noise=0 --repeats 0 --csv s.csv
expect $usage '^--jobs: 0 is outside 1\.\.4096$' s.csv -- study --dir w --vary noise=0 --jobs 0 --csv s.csv
expect $usage '^--max-noise: 300 is outside 0\.\.255$' s.csv -- study --dir w --vary noise=0 --max-noise 300 --csv s.csv
expect $usage '^--noise: "lots" is not a number$' s.csv -- study --dir w --vary contrast=1 --noise lots --csv s.csv

# A refused settings file of the channel asked for: status 1, the words on
# stderr, nothing written.
expect 1 '^fringe: image_1\.ini: Radius = "abc" is not a number$' radius/sim01.bmp -- \
  measure --dir radius --channel 1 --seed 1

# scan's --section reaches the check of the parameter file.
expect 1 '^fringe: other_section\.ini: no section \[ScanParameter\]$' q.txt -- scan picture.bmp --ini other_section.ini --out q.txt
expect 0 '' - -- scan picture.bmp --ini other_section.ini --section Other --out q.txt
[ -s q.txt ] || fail "scan with --section Other wrote no profile"

# measure --surface: the surface simulated, on a second line.
"$fringe" measure --dir w --seed 1 --surface biconic:rx=7.6,ry=7.9,axis=30,q=-0.2 >biconic.txt
[ "$(sed -n 2p biconic.txt)" = "surface: biconic rx=7.6 ry=7.9 axis=30 q=-0.2" ] || fail "$(cat biconic.txt)"

# A study whose runs fail (a picture two pixels wide leaves the engine no
# profile): the files are written, the tool says how many failed and exits
# with 3.
"$fringe" init narrow >/dev/null
sed -i 's/^XPixels=.*\r$/XPixels=2\r/' narrow/image.ini
status=0
"$fringe" study --dir narrow --vary noise=0,0.5,1 --jobs 2 \
  --csv failed.csv --json failed.json >out.txt 2>err.txt || status=$?
[ "$status" -eq 3 ] || fail "a study with failed runs: exit status $status: $(cat err.txt)"
grep -q '^study: 3 runs (3 failed, 3 run now)' out.txt || fail "$(cat out.txt)"
grep -q '^fringe: 3 of 3 runs failed; the status column of their rows says why$' err.txt || fail "$(cat err.txt)"
[ -s failed.csv ] && [ -s failed.json ] && [ ! -e failed.csv.part ] || fail "the study's files"
[ "$(grep -c 'grid size 0 x 256 out of range' failed.csv)" -eq 3 ] || fail "$(cat failed.csv)"
# Methods: bad values stop a run before anything is written; a frame set
# measured by scan gives the profile measure wrote of the same frames.
expect 1 '^fringe: --steps: 2 must lie between 3 and 64$' w/sim01_f01.bmp -- \
  simulate --dir w --channel 1 --method phase-shift --steps 2
expect 1 '^fringe: --periods: "10,80" is not coarse to fine' w/sim01_f01.bmp -- \
  measure --dir w --channel 1 --method phase-shift --periods 10,80
expect 1 '^fringe: --gamma: 0 must be greater than 0$' w/sim01_f01.bmp -- \
  measure --dir w --channel 1 --method phase-shift --gamma 0
expect 1 '^fringe: --bits: 17 must lie between 8 and 16$' w/sim01_f01.png -- \
  simulate --dir w --channel 1 --method fourier --bits 17
expect 1 '^fringe: --blur: -1 must lie between 0 and 4096 px$' w/sim01_f01.bmp -- \
  simulate --dir w --channel 1 --method phase-shift --blur -1
expect 1 '^fringe: --method: "fft" is not quadrature, phase-shift or fourier$' w/sim01_f01.bmp -- \
  simulate --dir w --channel 1 --method fft
expect 0 'first order is ambiguous' - -- measure --dir w --seed 3 --method phase-shift --steps 3 --periods 80,10
expect 0 '^fringe: warning: --steps counts the frames of phase-shift; the fourier method measures one frame$' - -- \
  simulate --dir w --channel 1 --method fourier --steps 8
"$fringe" measure --dir w --seed 4 --noise 0.3 --method phase-shift --steps 4 >/dev/null
frames="w/sim00.bmp w/sim00_f01.bmp w/sim00_f02.bmp w/sim00_f03.bmp"
# shellcheck disable=SC2086
expect 0 '' - -- scan $frames --method phase-shift --steps 4 --ini w/scnmod.ini --out frames.txt
cmp -s frames.txt w/profile00.txt || fail "scan of the frame set differs from the profile measure wrote"
# The set's own names, frame 0 too, measure the same; out of order they are refused, the set untouched.
expect 0 '' - -- scan w/sim00_f00.bmp w/sim00_f01.bmp w/sim00_f02.bmp w/sim00_f03.bmp --method phase-shift --steps 4 \
  --ini w/scnmod.ini --out frames0.txt
cmp -s frames0.txt frames.txt || fail "scan of the set's own names differs"
expect 1 '^fringe: frames 1 and 2 \(w/sim00_f02\.bmp, w/sim00_f01\.bmp\) look swapped \(measured steps' f.txt -- \
  scan w/sim00_f00.bmp w/sim00_f02.bmp w/sim00_f01.bmp w/sim00_f03.bmp --method phase-shift --steps 4 \
  --ini w/scnmod.ini --out f.txt
expect 1 '^fringe: the steps run backwards' f.txt -- scan w/sim00_f03.bmp w/sim00_f02.bmp w/sim00_f01.bmp \
  w/sim00_f00.bmp --method phase-shift --steps 4 --ini w/scnmod.ini --out f.txt
expect 1 '^fringe: w/sim00\.bmp is the fringe image, a copy of frame 0 \(w/sim00_f00\.bmp\)' f.txt -- \
  scan w/sim00.bmp w/sim00_f00.bmp w/sim00_f01.bmp w/sim00_f02.bmp --method phase-shift --steps 4 \
  --ini w/scnmod.ini --out f.txt
expect 1 'sim00_filtered\.bmp is the window.s smoothed copy of the fringe image, not a frame' f.txt -- \
  scan w/sim00*.bmp --method phase-shift --steps 4 --ini w/scnmod.ini --out f.txt
# shellcheck disable=SC2086
expect 1 'takes 4 frames, 3 given: w/sim00.bmp, w/sim00_f01.bmp, w/sim00_f02.bmp$' f.txt -- scan w/sim00.bmp w/sim00_f01.bmp w/sim00_f02.bmp \
  --method phase-shift --steps 4 --ini w/scnmod.ini --out f.txt
"$fringe" init small >/dev/null
sed -i 's/^XPixels=.*\r$/XPixels=64\r/' small/image.ini
"$fringe" simulate --dir small --seed 1 >/dev/null
expect 1 'small/sim00.bmp": the picture is 64 x 1024 pixels of 8 bits, the first \(w/sim00.bmp\) 1280 x 1024' f.txt -- \
  scan w/sim00.bmp w/sim00_f01.bmp w/sim00_f02.bmp small/sim00.bmp --method phase-shift --steps 4 \
  --ini w/scnmod.ini --out f.txt
expect 1 'the engine scans one picture' f.txt -- scan w/sim00.bmp w/sim00_f01.bmp --ini w/scnmod.ini --out f.txt
# 12-bit frames are written as 16-bit PNG and measured from them.
# A reference of another size than the picture, refused with both sizes.
"$fringe" init narrow_ref >/dev/null
sed -i 's/^XPixels=.*\r$/XPixels=640\r/' narrow_ref/image.ini
"$fringe" simulate --dir narrow_ref >/dev/null
expect 1 '^fringe: Cannot read file "narrow_ref/sim00\.bmp": the reference is 640 x 1024 pixels of 8 bits, the picture \(picture\.bmp\) 1280 x 1024 pixels of 8 bits$' \
  ref.txt -- scan picture.bmp --reference narrow_ref/sim00.bmp --ini w/scnmod.ini --out ref.txt
expect 0 '' - -- scan picture.bmp --reference picture.bmp --ini w/scnmod.ini --out ref.txt
"$fringe" measure --dir w --seed 5 --method phase-shift --steps 3 --bits 12 >deep.txt
[ "$(sed -n 2p deep.txt)" = "method: phase-shift 3 steps, period 10 px, 12 bits" ] || fail "$(cat deep.txt)"
[ "$(head -c 8 w/sim00_f02.png | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "12-bit frames are not PNG"

# What the tool says of what it did, and of an option given twice.
says() {  # says STDOUT_PATTERN -- ARGS...
  local pattern=$1
  shift 2
  "$fringe" "$@" >out.txt 2>err.txt || fail "fringe $*: $(cat err.txt)"
  grep -qE -- "$pattern" out.txt || fail "fringe $*: stdout does not say /$pattern/: $(cat out.txt)"
  cases=$((cases + 1))
}
says '^profile written to p2\.txt$' -- scan picture.bmp --ini w/scnmod.ini --out p2.txt
says '^channel 0: frame set written \(seed 3\)$' -- simulate --dir w --seed 3 --method phase-shift --steps 4
says '^profile of 4 frames written to f4\.txt$' -- scan w/sim00.bmp w/sim00_f01.bmp w/sim00_f02.bmp w/sim00_f03.bmp \
  --method phase-shift --steps 4 --ini w/scnmod.ini --out f4.txt
says '^channel 0: fringe image written \(seed 3\)$' -- simulate --dir w --seed 3 --method quadrature
says 'default 4: a set of 8 frames' -- scan --help
expect 114 '^--seed: given more than once; give it once$' - -- measure --dir w --seed 1 --seed 2
expect 1 'takes 4 frames, 8 given: picture.bmp(, picture.bmp){7} \(for a set of 8 steps give --steps 8\)$' f8.txt -- scan $(for i in 1 2 3 4 5 6 7 8; do echo picture.bmp; done) \
  --method phase-shift --ini w/scnmod.ini --out f8.txt

# No silent nothing: pictures without fringes are refused before the engine
# runs, a measurement below --min-valid (or the method file's MinValid) after
# it, each with exit status 4 and nothing written but the quality file asked
# for; a good measurement says its quality and writes it.
head -c 1078 picture.bmp >grey.bmp && head -c $((1280 * 1024)) /dev/zero | tr '\0' '\200' >>grey.bmp
head -c 1078 picture.bmp >zeros.bmp && head -c $((1280 * 1024)) /dev/zero >>zeros.bmp
"$fringe" init blank >/dev/null
cp grey.bmp blank/sim00.bmp
printf 'MinValid=1\r\n' >w/method_1.ini
expect 4 '^fringe: grey\.bmp: no fringes: the cells. modulation stays within what noise of 0 grey levels a sample gives: the strongest 0 of [0-9.]+ grey levels' q.txt -- \
  scan grey.bmp --ini w/scnmod.ini --out q.txt
expect 4 '^fringe: zeros\.bmp: no fringes' q.txt -- scan zeros.bmp --ini w/scnmod.ini --out q.txt
expect 4 '^fringe: \./sim00\.bmp: no fringes' blank/profile00.txt -- profile --dir blank
expect 4 '^fringe: \./sim00\.bmp: no fringes' w/profile00.txt -- measure --dir w --seed 1 --contrast 0
expect 4 '^fringe: \./sim00\.bmp: no fringes' w/profile00.txt -- measure --dir w --seed 1 --method phase-shift --steps 4 --contrast 0
expect 4 'too little measured: [0-9]+ of [0-9]+ cells inside the evaluation mask have a height \(99\.[0-9] %\), fewer than the 100 % asked' \
  q.txt -- scan picture.bmp --ini w/scnmod.ini --out q.txt --min-valid 1 --quality refused.csv
[ "$(head -1 refused.csv)" = "col,row,x_mm,y_mm,modulation,fit_residual,state" ] || fail "no quality file of the refusal"
expect 4 'too little measured' w/profile01.txt -- measure --dir w --channel 1 --seed 1
expect 0 '' - -- measure --dir w --channel 1 --seed 1 --min-valid 0.5
expect $usage '^--min-valid: 2 is outside 0\.\.1$' - -- measure --dir w --min-valid 2
rm w/method_1.ini
"$fringe" measure --dir w --seed 1 --quality good.csv >good.txt
grep -qE '^quality: 99\.[0-9]+ % of the mask.s [0-9]+ cells valid, median modulation 12[0-9.]+ grey levels, median fit residual 0\.[0-9]+$' good.txt ||
  fail "$(cat good.txt)"
[ "$(grep -c ',valid$' good.csv)" -gt 21000 ] || fail "$(head -3 good.csv)"
"$fringe" measure --dir w --seed 1 --json | grep -qE '"valid_fraction": 0\.99[0-9]+, "median_modulation": [0-9.]+, "median_fit_residual": [0-9.]+\}$' ||
  fail "no quality keys in the JSON"
"$fringe" export --dir w --format xyz,ply,csv --what profile --quality exported.csv q >/dev/null
[ "$(head -1 q.xyz | wc -w)" -eq 5 ] && grep -qa '^property float fit_residual$' q.ply || fail "no quality channels"
[ -s exported.csv ] || fail "export wrote no quality file"
"$fringe" export --dir w --format xyz --what profile plain >/dev/null
[ "$(head -1 plain.xyz | wc -w)" -eq 3 ] || fail "quality channels without --quality"
cases=$((cases + 4))

echo "fringe tool: $cases refusals and stumbles, ok"
