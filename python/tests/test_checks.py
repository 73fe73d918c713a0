"""What the tool and the module check before they measure, each case a row run through both: frame sets
whose phase steps do not follow the plan, settings outside their domain, `init` on a workspace, and the
frames of an earlier "apply"."""
import pathlib
import struct
import subprocess
import warnings

import numpy as np
import pytest

import fringe
from conftest import TOOL, run_tool


def write_bmp(path, frame):
    """An 8-bit grey bitmap of the frame (row 0 at the top), as a camera program would write it."""
    rows, cols = frame.shape
    stride = (cols + 3) // 4 * 4
    palette = b"".join(bytes((i, i, i, 0)) for i in range(256))
    pixels = b"".join(frame[r].tobytes() + bytes(stride - cols) for r in reversed(range(rows)))
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, cols, rows, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    pathlib.Path(path).write_bytes(header + info + palette + pixels)


def tool_scan(folder, frames, steps, tmp_path):
    """fringe scan of the frames written as bitmaps: exit status and stderr."""
    files = []
    for k, frame in enumerate(frames):
        files.append(tmp_path / f"frame_{k:02d}.bmp")
        write_bmp(files[-1], frame)
    np.testing.assert_array_equal(fringe.read_picture(files[0]), frames[0])
    done = subprocess.run([TOOL, "scan", *map(str, files), "--method", "phase-shift", "--steps", str(steps),
                           "--ini", str(folder / "scnmod.ini"), "--out", str(tmp_path / "p.txt")],
                          capture_output=True, text=True)
    return done.returncode, done.stderr


def stepped_frames(phases, shape=(400, 480), period=10.0):
    """8-bit frames of a dome on the carrier, frame k at phase phases[k]: a projector's own steps."""
    y, x = np.mgrid[0:shape[0], 0:shape[1]].astype(float)
    dome = 3.0 * np.exp(-((x - shape[1] / 2) ** 2 + (y - shape[0] / 2) ** 2) / 150.0 ** 2)
    rng = np.random.default_rng(5)
    return [np.clip(np.rint(127 + 90 * np.cos(2 * np.pi * (x - shape[1] / 2 + dome) / period + p)
                            + rng.normal(0, 3, shape)), 0, 255).astype(np.uint8) for p in phases]


def swapped(frames, a, b):
    out = list(frames)
    out[a], out[b] = out[b], out[a]
    return out


def with_frame(frames, k, frame):
    out = list(frames)
    out[k] = frame
    return out


# name, the frames of an 8-step set made by synthesize_frames turned into those given, the steps, what is said
# (None: nothing), whether it is a refusal.
FRAME_SETS = [
    ("sound", lambda f: f, 8, None, False),
    ("one step late", lambda f: f[1:] + f[:1], 8, None, False),
    ("reversed", lambda f: f[::-1], 8, "the steps run backwards: the frames look to be in reverse order", True),
    ("identical", lambda f: [f[0]] * 8, 8, "all 8 frames are the same picture", True),
    ("swapped", lambda f: swapped(f, 3, 4), 8, "frames 3 and 4", True),
    ("duplicated", lambda f: with_frame(f, 6, f[5]), 8, "frames 5 and 6", True),
    ("blanked", lambda f: with_frame(f, 4, np.full_like(f[4], 128)), 8, "frame 4", True),
    ("made for 16 steps", lambda f: stepped_frames([2 * np.pi * k / 16 for k in range(8)]), 8,
     "as a set of 16.0 steps a turn would", True),
    ("steps 2 % long", lambda f: stepped_frames([2 * np.pi * k / 8 * 1.02 for k in range(8)]), 8,
     "the frames step by 0.801 rad on average where the plan takes 0.785 rad", False),
    ("4 steps swapped", lambda f: swapped(stepped_frames([np.pi * k / 2 for k in range(4)]), 1, 2), 4,
     "frames 1 and 2", True),
]
SAID_AFTER = {"swapped": "look swapped", "duplicated": "are the same picture", "blanked": "holds no fringes"}


@pytest.fixture(scope="module")
def eight_steps(tmp_path_factory):
    from conftest import make_small_workspace
    ws = make_small_workspace(tmp_path_factory.mktemp("checks") / "w")
    return ws, fringe.synthesize_frames(ws, seed=1, noise=0.5, steps=8)


@pytest.mark.parametrize("name, turn, steps, said, refused", FRAME_SETS, ids=[row[0] for row in FRAME_SETS])
def test_frame_sets_are_refused_or_warned_of_alike_by_the_tool_and_the_module(eight_steps, tmp_path, name, turn,
                                                                              steps, said, refused):
    ws, made = eight_steps
    frames = turn(list(made))
    status, stderr = tool_scan(pathlib.Path(ws.path), frames, steps, tmp_path)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        try:
            fringe.scan_frames(frames, steps=steps, workspace=ws)
            raised = None
        except ValueError as error:
            raised = str(error)
    warned = [str(w.message) for w in caught]
    if said is None:
        assert (status, stderr, raised, warned) == (0, "", None, [])
        return
    after = SAID_AFTER.get(name, "")
    if refused:
        assert status == 1 and stderr.startswith("fringe: ") and said in stderr and after in stderr, stderr
        assert raised is not None and raised.startswith("frames: ") and said in raised and after in raised
        assert warned == []
    else:
        assert status == 0 and stderr.startswith("fringe: warning: ") and said in stderr, stderr
        assert raised is None and len(warned) == 1 and said in warned[0]


def test_the_tool_names_frames_by_their_files_and_the_files_a_count_refusal_counted(small_workspace, tmp_path):
    folder = pathlib.Path(small_workspace.path)
    run_tool("simulate", "--dir", folder, "--seed", 2, "--noise", 0.5, "--method", "phase-shift", "--steps", 4)
    files = [folder / f"sim00_f{k:02d}.bmp" for k in range(4)]
    assert all(f.exists() for f in files), "frame 0 has the set's name too"
    assert (folder / "sim00.bmp").read_bytes() == files[0].read_bytes()

    def scan(*names):
        done = subprocess.run([TOOL, "scan", *map(str, names), "--method", "phase-shift", "--steps", "4",
                               "--ini", str(folder / "scnmod.ini"), "--out", str(tmp_path / "p.txt")],
                              capture_output=True, text=True)
        return done.returncode, done.stderr.strip()

    assert scan(*files) == (0, "")
    status, said = scan(files[0], files[2], files[1], files[3])
    assert status == 1 and said.startswith(f"fringe: frames 1 and 2 ({files[2]}, {files[1]}) look swapped"), said
    # The glob sim00*.bmp takes in the window's pictures: named, and said what they are.
    everything = sorted(folder.glob("sim00*.bmp"))
    status, said = scan(*everything)
    assert status == 1
    assert said.startswith("fringe: the phase-shift method with 4 steps and 1 period takes 4 frames, 6 given: " +
                           ", ".join(map(str, everything)) + "; "), said
    assert f"{folder / 'sim00_filtered.bmp'} is the window's smoothed copy of the fringe image, not a frame" in said
    assert f"{folder / 'sim00.bmp'} is the fringe image, a copy of frame 0 ({files[0]})" in said
    status, said = scan(*files[:3], folder / "sim00_filtered.bmp")
    assert status == 1 and said.startswith(f"fringe: {folder / 'sim00_filtered.bmp'} is the window's"), said


def test_apply_removes_the_frames_of_an_earlier_set(small_workspace):
    folder = pathlib.Path(small_workspace.path)
    frames = lambda: sorted(p.name for p in folder.glob("sim00_f??.*"))  # noqa: E731
    run_tool("simulate", "--dir", folder, "--method", "phase-shift", "--steps", 6)
    assert frames() == [f"sim00_f{k:02d}.bmp" for k in range(6)]
    run_tool("simulate", "--dir", folder, "--method", "phase-shift", "--steps", 3, "--bits", 12)
    assert frames() == [f"sim00_f{k:02d}.png" for k in range(3)]
    run_tool("simulate", "--dir", folder)  # the one picture of the quadrature
    assert frames() == []
    assert (folder / "sim00.bmp").exists() and (folder / "sim00_filtered.bmp").exists()


# settings, the words of the refusal: the same rule for a dict, a file the module reads and the tool's --ini
SETTINGS = [
    ({"Bogus": 1}, "settings: Bogus is not a scan setting (the engine reads NFilt, FlawThr, LambdaF"),
    ({"LambdaF": -1}, 'LambdaF = "-1" must be greater than 0'),
    ({"lambdaf": 0}, 'LambdaF = "0" must be greater than 0'),
    ({"CamResY": "0"}, 'CamResY = "0" must be greater than 0'),
    ({"Alpha": 90}, 'Alpha = "90" must lie between 0 and 90 degrees, both excluded'),
    ({"MaskRadius": -3.5}, 'MaskRadius = "-3.5" must be greater than 0'),
    ({"NFilt": 2.5}, 'NFilt = "2.5" is not a whole number'),
]


@pytest.mark.parametrize("settings, words", SETTINGS)
def test_scan_settings_are_checked_by_one_rule(tmp_path, tool, settings, words):
    picture = fringe.synthesize(x_pixels=160, y_pixels=120)
    with pytest.raises(ValueError) as raised:
        fringe.scan(picture, settings)
    assert words in str(raised.value)
    if "Bogus" in settings:
        return  # a file may hold other keys: the engine leaves them
    ini = tmp_path / "scan.ini"
    ini.write_text("[ScanParameter]\n" + "".join(f"{k}={v}\n" for k, v in settings.items()))
    with pytest.raises(ValueError) as raised:
        fringe.scan(picture, ini)
    assert words in str(raised.value)
    write_bmp(tmp_path / "picture.bmp", picture)
    done = subprocess.run([TOOL, "scan", str(tmp_path / "picture.bmp"), "--ini", str(ini), "--out",
                           str(tmp_path / "p.txt")], capture_output=True, text=True)
    assert done.returncode == 1 and words in done.stderr and not (tmp_path / "p.txt").exists()


def test_init_keeps_edited_settings_and_force_starts_over(tmp_path, tool):
    for via_tool in (True, False):
        folder = tmp_path / ("tool" if via_tool else "module")
        init = (lambda **kw: run_tool("init", folder, *(["--force"] if kw else []))) if via_tool else \
            (lambda **kw: fringe.init_workspace(folder, **kw))
        init()
        scan = folder / "scnmod.ini"
        edited = scan.read_text().replace("LambdaF=10", "LambdaF=12")
        scan.write_text(edited)
        (folder / "image_1.ini").unlink()
        said = init()
        assert scan.read_text() == edited, "an edited file is kept"
        assert (folder / "image_1.ini").exists(), "a missing one is written"
        if via_tool:
            assert said == (f"kept {folder / 'scnmod.ini'}, {folder / 'image.ini'}, {folder / 'scnmod_1.ini'} "
                            "as they were (--force writes the defaults over them)\n")
        init(overwrite=True)
        assert "LambdaF=10" in scan.read_text() and scan.read_text() != edited
    assert (tmp_path / "tool" / "scnmod.ini").read_bytes() == (tmp_path / "module" / "scnmod.ini").read_bytes()
