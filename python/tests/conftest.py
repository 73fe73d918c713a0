"""Shared fixtures: the fringe tool the module is compared with, and small workspaces."""
import json
import os
import pathlib
import subprocess

import pytest

import fringe

REPO = pathlib.Path(__file__).resolve().parents[2]
TOOL = os.environ.get("FRINGE_TOOL", str(REPO / "build" / "default" / "cli" / "fringe"))


def run_tool(*args, cwd=None):
    """Runs the fringe tool; returns its standard output (fails the test on an error)."""
    done = subprocess.run([TOOL, *map(str, args)], cwd=cwd, capture_output=True, text=True)
    assert done.returncode == 0, f"fringe {' '.join(map(str, args))}: {done.stderr}"
    return done.stdout


def tool_json(*args, cwd=None):
    return json.loads(run_tool(*args, "--json", cwd=cwd))


def set_value(path, key, value):
    """Replaces one key's line of a settings file (keys are matched without regard to case)."""
    lines = pathlib.Path(path).read_text().splitlines()
    out = [f"{key}={value}" if line.split("=")[0].strip().lower() == key.lower() else line for line in lines]
    pathlib.Path(path).write_text("\r\n".join(out) + "\r\n")


@pytest.fixture(scope="session")
def tool():
    if not os.access(TOOL, os.X_OK):
        pytest.fail(f"the fringe tool is not built: {TOOL}")
    return TOOL


def make_small_workspace(folder):
    """A workspace of 480 x 400 pixel pictures, the mask inside their 4 mm field: quick runs."""
    run_tool("init", folder)
    for image in ("image.ini", "image_1.ini"):
        set_value(folder / image, "XPixels", 480)
        set_value(folder / image, "YPixels", 400)
    for scan in ("scnmod.ini", "scnmod_1.ini"):
        set_value(folder / scan, "MaskRadius", 1.5)
    # Channel 1 differs, so that a mix-up of the channels shows.
    set_value(folder / "image_1.ini", "Radius", 8.1)
    set_value(folder / "scnmod_1.ini", "LambdaF", 12)
    set_value(folder / "image_1.ini", "LambdaF", 12)
    return fringe.Workspace(folder)


@pytest.fixture
def small_workspace(tool, tmp_path):
    return make_small_workspace(tmp_path / "w")
