#!/bin/sh
# The module as a Python user installs it: pip into a fresh virtual
# environment (with Debian's NumPy through --system-site-packages), imported
# from outside the source tree, type-checked by mypy through its stubs on the
# guide's example and the tests, uninstalled without a trace; and a wheel
# made by `python -m build`.
#   package_test.sh PYTHON SOURCE_DIR BUILD_DIR
set -eu
python=$1
source=$2
build=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$python" -m venv --system-site-packages "$work/venv"
venv=$work/venv/bin/python
# The module of the build at hand: setup.py builds the target in it.
export FRINGE_BUILD_DIR="$build"
"$venv" -m pip install --no-build-isolation --no-index "$source/python" >"$work/pip.log" 2>&1 \
  || { cat "$work/pip.log" >&2; exit 1; }
where=$(cd / && "$venv" -c 'import fringe; print(fringe.__file__)')
case "$where" in "$work/venv/"*) ;; *) echo "import fringe found $where, not the installed module" >&2; exit 1 ;; esac
"$venv" -m pip list 2>/dev/null | grep -q '^fringe ' || { echo "pip list does not know fringe" >&2; exit 1; }

# The README's Python example and the tests, checked against the stubs.
awk '/^```python/{f=1;next} /^```/{f=0} f' "$source/README.md" >"$work/readme_example.py"
[ -s "$work/readme_example.py" ] || { echo "no Python example in the README" >&2; exit 1; }
(cd "$work" && "$venv" -m mypy --config-file "$source/python/mypy.ini" readme_example.py "$source/python/tests")
# A stub that says something the module does not have fails here.
printf 'import fringe\nfringe.measure(fringe.Workspace("w"), seed="1")\n' >"$work/wrong.py"
if (cd "$work" && "$venv" -m mypy --config-file "$source/python/mypy.ini" wrong.py >/dev/null 2>&1); then
  echo "mypy took a text for the seed: the stubs are not in use" >&2; exit 1
fi

"$venv" -m pip uninstall -y fringe >"$work/uninstall.log" 2>&1 || { cat "$work/uninstall.log" >&2; exit 1; }
if (cd / && "$venv" -c 'import fringe' 2>/dev/null); then echo "fringe still imports after pip uninstall" >&2; exit 1; fi
left=$(find "$work/venv/lib" -name 'fringe*' | head -n 1)
[ -z "$left" ] || { echo "left after pip uninstall: $left" >&2; exit 1; }

# A wheel, as `python -m build` makes it without downloading anything.
"$python" -m build --wheel --no-isolation --outdir "$work/dist" "$source/python" >"$work/build.log" 2>&1 \
  || { cat "$work/build.log" >&2; exit 1; }
wheel=$(find "$work/dist" -name 'fringe-*.whl' -print -quit)
[ -n "$wheel" ] || { echo "no wheel made" >&2; exit 1; }
"$python" -m zipfile -l "$wheel" >"$work/wheel.txt"
for member in fringe.cpython- fringe-stubs/__init__.pyi fringe-stubs/py.typed; do
  grep -q "$member" "$work/wheel.txt" || { echo "the wheel lacks $member" >&2; exit 1; }
done
echo "installed, imported, type-checked and uninstalled with pip; wheel $(basename "$wheel")"
