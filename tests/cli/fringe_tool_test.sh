#!/usr/bin/env bash
# The fringe tool as a new user meets it: options outside their domain,
# settings files with a value that is not a number, a scan parameter file
# without its section, a colour range turned round, pictures of any size and
# kind, a study with failed runs, --version. Each stumble is a row of the
# table below: the command, the exit status and the words on stderr, and
# that nothing was written.
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
printf 'a text file\n' >notes.txt
printf '[ScanParameter]\r\nLambdaF=abc\r\n' >bad_value.ini
printf '[Other]\r\nLambdaF=10\r\n' >other_section.ini
# Channel directories with one value a user typed wrong.
edited() {  # edited DIR FILE KEY VALUE
  "$fringe" init "$1" >/dev/null
  sed -i "s/^$3=.*\r\$/$3=$4\r/" "$1/$2"
}
edited radius image.ini Radius abc
edited period scnmod.ini LambdaF abc
edited passes scnmod.ini NFilt 2.5
"$fringe" init surface >/dev/null
printf 'Model=biconic\r\nRx=7.6\r\nRy=abc\r\nAxis=30\r\nQ=-0.2\r\n' >surface/surface.ini

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

# Options against their domains, each named.
expect $usage '^--max-noise: -3 is outside 0\.\.255$' w/sim01.bmp -- simulate --dir w --channel 1 --max-noise -3
expect $usage '^--max-noise: 2\.5 is not a whole number$' w/sim01.bmp -- measure --dir w --channel 1 --max-noise 2.5
expect $usage '^--noise: "abc" is not a number$' w/sim01.bmp -- measure --dir w --channel 1 --noise abc
expect $usage '^--contrast: 2 is outside 0\.\.1$' w/sim01.bmp -- simulate --dir w --channel 1 --contrast 2
expect $usage '^--passes: -1 is outside 0\.\.1024$' w/sim01.bmp -- simulate --dir w --channel 1 --passes -1
expect $usage '^--passes: "three" is not a number$' w/sim01.bmp -- simulate --dir w --channel 1 --passes three
expect $usage '^--seed: -1 is outside 0\.\.4294967295$' w/sim01.bmp -- simulate --dir w --channel 1 --seed -1
expect $usage '^--channel: 2 is outside 0\.\.1$' - -- profile --dir w --channel 2
expect $usage '^--channel: "one" is not a number$' - -- analyse --dir w --channel one
expect $usage '^--order: 11 is outside 0\.\.10$' - -- analyse --dir w --order 11
expect $usage '^--levels: 0 is outside 1\.\.256$' map.bmp -- render p.txt --min -5 --max 5 --levels 0 --out map.bmp
expect $usage '^--min: "nan" is not a number$' map.bmp -- render p.txt --min nan --max 5 --out map.bmp
expect $usage '^--repeats: 0 is outside 1\.\.1000000$' s.csv -- study --dir w --vary noise=0 --repeats 0 --csv s.csv
expect $usage '^--jobs: 0 is outside 1\.\.4096$' s.csv -- study --dir w --vary noise=0 --jobs 0 --csv s.csv
expect $usage '^--max-noise: 300 is outside 0\.\.255$' s.csv -- study --dir w --vary noise=0 --max-noise 300 --csv s.csv
expect $usage '^--noise: "lots" is not a number$' s.csv -- study --dir w --vary contrast=1 --noise lots --csv s.csv

# Settings files: the file, the key and the text found.
expect 1 '^fringe: image\.ini: Radius = "abc" is not a number$' radius/sim00.bmp -- measure --dir radius --seed 1
expect 1 '^fringe: scnmod\.ini: LambdaF = "abc" is not a number$' period/sim00.bmp -- measure --dir period --seed 1
expect 1 '^fringe: scnmod\.ini: NFilt = "2\.5" is not a whole number$' passes/sim00.bmp -- simulate --dir passes
expect 1 '^fringe: surface\.ini: Ry = "abc" is not a number$' surface/sim00.bmp -- measure --dir surface --seed 1
expect 1 '^fringe: image\.ini: Radius = "abc" is not a number$' s.csv -- study --dir radius --vary noise=0 --csv s.csv

# The engine's parameter file: its section and numbers, or no profile.
expect 1 '^fringe: notes\.txt: no section \[ScanParameter\]$' q.txt -- scan picture.bmp --ini notes.txt --out q.txt
expect 1 '^fringe: bad_value\.ini: LambdaF = "abc" is not a number$' q.txt -- scan picture.bmp --ini bad_value.ini --out q.txt
expect 1 '^fringe: other_section\.ini: no section \[ScanParameter\]$' q.txt -- scan picture.bmp --ini other_section.ini --out q.txt
expect 0 '' - -- scan picture.bmp --ini other_section.ini --section Other --out q.txt
[ -s q.txt ] || fail "scan with --section Other wrote no profile"

# render: the range, the picture's size and kind.
expect 1 '^fringe: --max -5 lies below --min 5: the colour range runs from --min up to --max$' map.bmp -- \
  render p.txt --min 5 --max -5 --out map.bmp
expect 1 '^fringe: --out map\.jpg: the picture is written as \.bmp or \.png, not as \.jpg$' map.jpg -- \
  render p.txt --min -5 --max 5 --out map.jpg
expect 0 '' - -- render p.txt --min -1500 --max 100 --out map.png
expect 0 '' - -- render p.txt --min -1500 --max 100 --out map.bmp
sides=$(head -1 p.txt | awk '{ print $1, $2 }')
[ "$(head -c 8 map.png | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "map.png is no PNG"
png_sides=$(od -An -tu1 -j16 -N8 map.png | awk '{ print $3 * 256 + $4, $7 * 256 + $8 }')
[ "$png_sides" = "$sides" ] || fail "map.png is $png_sides, the profile $sides"
bmp_sides=$(od -An -td4 -j18 -N8 map.bmp | awk '{ print $1, $2 }')
[ "$bmp_sides" = "$sides" ] || fail "map.bmp is $bmp_sides, the profile $sides"

# --version: the project's version.
"$fringe" --version >out.txt || fail "--version failed"
grep -qE '^fringe [0-9]+\.[0-9]+\.[0-9]+$' out.txt || fail "--version printed: $(cat out.txt)"

# The surface a measurement simulated, where it is not the sphere.
"$fringe" measure --dir w --seed 1 >sphere.txt
[ "$(grep -c '' sphere.txt)" -eq 1 ] || fail "the sphere's summary is one line: $(cat sphere.txt)"
"$fringe" measure --dir w --seed 1 --surface biconic:rx=7.6,ry=7.9,axis=30,q=-0.2 >biconic.txt
[ "$(sed -n 2p biconic.txt)" = "surface: biconic rx=7.6 ry=7.9 axis=30 q=-0.2" ] || fail "$(cat biconic.txt)"
"$fringe" measure --dir w --seed 1 --json --surface biconic:rx=7.6,ry=7.9 >biconic.json
grep -q '"surface": {"model": "biconic", "rx_mm": 7.6, "ry_mm": 7.9, "axis_deg": 0, "q": 0}}$' biconic.json ||
  fail "$(cat biconic.json)"

# A study whose runs fail after the first (a full disk, say): the files are
# written, the tool says how many failed and exits with 3.
worker=$(dirname "$fringe")/../runs/fringe-study-worker
[ -x "$worker" ] || worker=$(dirname "$fringe")/fringe-study-worker
cat >failing_worker.sh <<EOF
#!/bin/sh
mkdir "$work/first_run" 2>/dev/null && exec "$worker" "\$@"
exit 1
EOF
chmod +x failing_worker.sh
status=0
FRINGE_STUDY_WORKER=$work/failing_worker.sh "$fringe" study --dir w --vary noise=0,0.5,1 --jobs 1 \
  --csv failed.csv --json failed.json >out.txt 2>err.txt || status=$?
[ "$status" -eq 3 ] || fail "a study with failed runs: exit status $status: $(cat err.txt)"
grep -q '^study: 3 runs (2 failed, 3 run now)' out.txt || fail "$(cat out.txt)"
grep -q '^fringe: 2 of 3 runs failed; the status column of their rows says why$' err.txt || fail "$(cat err.txt)"
[ -s failed.csv ] && [ -s failed.json ] && [ ! -e failed.csv.part ] || fail "the study's files"
[ "$(grep -c 'without a result' failed.csv)" -eq 2 ] || fail "$(cat failed.csv)"
echo "fringe tool: $cases refusals and stumbles, ok"
