"""What a Python user reads and passes: signatures in Python's words, a path
where a workspace is asked for, and seeds checked as the tool checks them."""
import pathlib
import re

import pytest

import fringe

FUNCTIONS = ["synthesize", "synthesize_frames", "scan", "scan_frames", "compare", "measure", "analyse",
             "export", "study", "init_workspace", "read_picture"]


@pytest.mark.parametrize("name", FUNCTIONS + ["Profile.__init__"])
def test_signatures_name_python_types(name):
    obj = fringe
    for part in name.split("."):
        obj = getattr(obj, part)
    signature = obj.__doc__.splitlines()[0]
    assert "handle" not in signature, signature
    assert not re.search(r"\bseed: float\b", signature), signature


@pytest.mark.parametrize("as_path", [str, pathlib.Path])
def test_a_path_stands_for_its_workspace(small_workspace, as_path):
    by_path = fringe.measure(as_path(small_workspace.path), seed=3)
    by_workspace = fringe.measure(small_workspace, seed=3)
    assert by_path.rms_um == by_workspace.rms_um


def test_a_path_without_a_workspace_is_refused_in_one_line(tmp_path):
    with pytest.raises(TypeError) as refused:
        fringe.measure(42)
    with pytest.raises(OSError) as missing:
        fringe.measure(str(tmp_path / "nowhere"))
    assert "nowhere" in str(missing.value) and "\n" not in str(missing.value)
    assert str(refused.value) == "workspace: expected a fringe.Workspace or the path of one, not int"


@pytest.mark.parametrize("seed, error", [(-1, "seed: -1 is outside"), (2**32, "seed: 4294967296 is outside"),
                                         (1.5, "seed: 1.5")])
def test_seeds_are_whole_numbers_of_the_tools_domain(seed, error):
    with pytest.raises(ValueError, match=re.escape(error)):
        fringe.synthesize(seed=seed, x_pixels=64, y_pixels=64)
