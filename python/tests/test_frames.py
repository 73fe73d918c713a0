"""Frame sets in memory: synthesize_frames gives the frames `fringe simulate` writes, scan_frames the profile
`fringe scan --method` writes of them, and bad sets are refused before anything is measured."""
import pathlib
import re
import threading

import numpy as np
import pytest

import fringe
from conftest import run_tool
from test_tool_agreement import read_profile_file

# channel, seed, noise, the module's method keywords, the tool's options
SETS = [
    (0, 5, 0.3, {"steps": 8}, ["--method", "phase-shift", "--steps", 8]),
    (0, 2, 0.2, {"steps": 4, "periods": [480, 40, 10]}, ["--method", "phase-shift", "--steps", 4,
                                                         "--periods", "480,40,10"]),
    (1, 9, 0.4, {"steps": 3, "bits": 12, "ambient": 20, "gamma": 2.2},
     ["--method", "phase-shift", "--steps", 3, "--bits", 12, "--ambient", 20, "--gamma", 2.2]),
    (0, 4, 0.5, {"method": "fourier", "blur": 0.8}, ["--method", "fourier", "--blur", 0.8]),
]
# The keywords scan_frames takes of them (the error sources are the synthesis's alone).
SCAN_KEYWORDS = ("method", "steps", "periods")
SCAN_OPTIONS = ("--method", "--steps", "--periods")


def read_frame_file(path):
    """A frame as the tool wrote it: 8-bit bitmaps through the module, 16-bit PNG through PIL."""
    if path.suffix == ".bmp":
        return fringe.read_picture(path)
    from PIL import Image
    with Image.open(path) as image:
        assert image.mode in ("I", "I;16"), f"{path.name} is not 16-bit grey: {image.mode}"
        levels = np.array(image)
    assert levels.min() >= 0 and levels.max() < 2 ** 16
    return levels.astype(np.uint16)


def written_frames(folder, channel, count, deep):
    stem = f"sim0{channel}"
    extension = "png" if deep else "bmp"
    names = [f"{stem}_f{k:02d}.{extension}" for k in range(count)]
    beyond = f"{stem}_f{count:02d}.{extension}"
    assert not (folder / beyond).exists(), f"the tool wrote more than {count} frames"
    if not deep:  # the fringe image is frame 0 besides
        assert (folder / f"{stem}.bmp").read_bytes() == (folder / names[0]).read_bytes()
    return [folder / name for name in names]


def scan_part(keywords, options):
    """The method keywords and tool options `scan` takes of a set's."""
    module = {k: v for k, v in keywords.items() if k in SCAN_KEYWORDS}
    tool = []
    for name, value in zip(options[::2], options[1::2]):
        if name in SCAN_OPTIONS:
            tool += [name, value]
    return module, tool


@pytest.mark.parametrize("channel, seed, noise, keywords, options", SETS)
def test_frames_are_the_tools_files_and_scan_to_the_tools_profile(small_workspace, tmp_path, channel, seed,
                                                                   noise, keywords, options):
    folder = pathlib.Path(small_workspace.path)
    run_tool("simulate", "--dir", folder, "--channel", channel, "--seed", seed, "--noise", noise, *options)
    frames = fringe.synthesize_frames(small_workspace, channel=channel, seed=seed, noise=noise, **keywords)
    deep = keywords.get("bits", 8) > 8
    steps = 1 if keywords.get("method") == "fourier" else keywords["steps"]
    assert len(frames) == steps * len(keywords.get("periods", [0]))
    files = written_frames(folder, channel, len(frames), deep)
    for frame, file in zip(frames, files):
        assert frame.dtype == (np.uint16 if deep else np.uint8) and frame.shape == (400, 480)
        np.testing.assert_array_equal(frame, read_frame_file(file), err_msg=file.name)

    module, tool = scan_part(keywords, options)
    ini = folder / ("scnmod_1.ini" if channel == 1 else "scnmod.ini")
    run_tool("scan", *tool, *files, "--ini", ini, "--out", tmp_path / "p.txt")
    expected, step_x, step_y = read_profile_file(tmp_path / "p.txt")
    assert np.isfinite(expected).mean() > 0.3
    for settings in ({"workspace": small_workspace, "channel": channel}, {"settings": ini},
                     {"settings": dict(line.split("=", 1) for line in small_workspace.settings(channel)["scan"]
                                       if "=" in line)}):
        profile = fringe.scan_frames(frames, **module, **settings)
        assert (profile.step_x, profile.step_y) == (step_x, step_y)
        np.testing.assert_array_equal(profile.heights, expected)


def test_one_frame_of_the_quadrature_is_the_picture_synthesize_makes(small_workspace):
    frames = fringe.synthesize_frames(small_workspace, seed=3, noise=0.6, method="quadrature")
    assert len(frames) == 1
    np.testing.assert_array_equal(frames[0], fringe.synthesize(small_workspace, seed=3, noise=0.6))
    # Frame 0 of phase stepping is the same picture: step 0 has no shift, and it draws the noise first.
    first = fringe.synthesize_frames(small_workspace, seed=3, noise=0.6, steps=5)[0]
    np.testing.assert_array_equal(first, frames[0])


# measure's method defaults to the workspace's file (here none: the quadrature), so each names its own.
@pytest.mark.parametrize("keywords", [{"method": "phase-shift", "steps": 8},
                                      {"method": "phase-shift", "steps": 4, "periods": "480,40,10", "bits": 10},
                                      {"method": "fourier"}])
def test_synthesize_then_scan_is_what_measure_measures(small_workspace, keywords):
    m = fringe.measure(small_workspace, seed=6, noise=0.3, **keywords)
    frames = fringe.synthesize_frames(small_workspace, seed=6, noise=0.3, **keywords)
    scan_keywords = {k: v for k, v in keywords.items() if k in SCAN_KEYWORDS}
    profile = fringe.scan_frames(frames, workspace=small_workspace, **scan_keywords)
    np.testing.assert_array_equal(profile.heights, m.profile.heights)
    assert profile.depth_limit == m.profile.depth_limit


@pytest.mark.parametrize("channel, keywords, options", [
    (0, {"method": "phase-shift", "steps": 4, "bits": 12}, ["--method", "phase-shift", "--steps", 4, "--bits", 12]),
    (1, {"method": "fourier", "bits": 16}, ["--method", "fourier", "--bits", 16]),
    (0, {"method": "phase-shift", "steps": 3, "bits": 9, "ambient": 30}, ["--method", "phase-shift", "--steps", 3,
                                                                          "--bits", 9, "--ambient", 30]),
    (0, {"method": "phase-shift", "steps": 3}, ["--method", "phase-shift", "--steps", 3]),
    (1, {}, []),
])
def test_the_kept_picture_is_the_fringe_image_the_tool_writes(small_workspace, channel, keywords, options):
    folder = pathlib.Path(small_workspace.path)
    run_tool("simulate", "--dir", folder, "--channel", channel, "--seed", 6, "--noise", 0.3, *options)
    written = fringe.read_picture(folder / f"sim0{channel}.bmp")
    m = fringe.measure(small_workspace, channel=channel, seed=6, noise=0.3, keep_picture=True, **keywords)
    assert m.picture.dtype == np.uint8 and m.picture.shape == (400, 480)
    np.testing.assert_array_equal(m.picture, written)
    if keywords.get("bits", 8) > 8:
        # Frame 0's top 8 bits, not its low bytes.
        frame = fringe.synthesize_frames(small_workspace, channel=channel, seed=6, noise=0.3, **keywords)[0]
        np.testing.assert_array_equal(m.picture, frame >> (keywords["bits"] - 8))


def test_none_takes_the_workspaces_method_file_and_the_arguments_go_over_it(small_workspace):
    folder = pathlib.Path(small_workspace.path)
    (folder / "method.ini").write_text("Method=fourier\r\nSteps=6\r\nPeriods=480,40,10\r\n")
    # The default method is phase-shift whatever the file says; its steps and periods stay.
    assert len(fringe.synthesize_frames(small_workspace, seed=2)) == 18
    assert len(fringe.synthesize_frames(small_workspace, seed=2, method=None)) == 1
    frames = fringe.synthesize_frames(small_workspace, seed=2, noise=0.2, steps=3)
    assert len(frames) == 9
    from_file = fringe.scan_frames(frames, workspace=small_workspace, steps=3)
    given = fringe.scan_frames(frames, steps=3, periods=[480, 40, 10], settings=small_workspace)
    np.testing.assert_array_equal(from_file.heights, given.heights)
    # Without a workspace the defaults: 4 steps at the synthesis period.
    assert len(fringe.synthesize_frames(x_pixels=64, y_pixels=48)) == 4


def test_frames_are_copied_and_a_stack_or_views_measure_the_same(small_workspace):
    frames = fringe.synthesize_frames(small_workspace, seed=8, noise=0.4, steps=4)
    before = [f.copy() for f in frames]
    wide = np.zeros((4, 400, 960), dtype=np.uint8)
    wide[:, :, ::2] = frames
    views = [wide[k, :, ::2] for k in range(4)]
    assert not views[0].flags.c_contiguous
    profile = fringe.scan_frames(frames, steps=4, workspace=small_workspace)
    for other in (views, tuple(frames), np.stack(frames)):
        np.testing.assert_array_equal(fringe.scan_frames(other, steps=4, workspace=small_workspace).heights,
                                      profile.heights)
    for frame, kept in zip(frames, before):
        np.testing.assert_array_equal(frame, kept)
    # The frames' order is the phase's sign: turned round they are refused.
    with pytest.raises(ValueError, match="the steps run backwards"):
        fringe.scan_frames(frames[::-1], steps=4, workspace=small_workspace)


FRAMES8 = [np.full((40, 48), 100 + k, dtype=np.uint8) for k in range(8)]

BAD_SCANS = [  # frames, keywords, exception, words
    (FRAMES8[:7], {"steps": 8}, ValueError,
     "frames: the phase-shift method with 8 steps and 1 period takes 8 frames, 7 given"),
    (FRAMES8[:6], {"steps": 4, "periods": [480, 40]}, ValueError,
     "the phase-shift method with 4 steps and 2 periods takes 8 frames, 6 given"),
    (FRAMES8, {"steps": 4}, ValueError, "with 4 steps and 1 period takes 4 frames, 8 given"),
    (FRAMES8[:2], {"method": "fourier"}, ValueError, "the fourier method with one frame takes 1 frame, 2 given"),
    ([], {"steps": 3}, ValueError, "takes 3 frames, 0 given"),
    (FRAMES8[:7] + [FRAMES8[0][:-1]], {"steps": 8}, ValueError,
     "frames[7]: 48 x 39 pixels of 8 bits, unlike the first frame's 48 x 40 of 8"),
    (FRAMES8[:3] + [FRAMES8[3].astype(np.uint16)], {"steps": 4}, ValueError,
     "frames[3]: 48 x 40 pixels of 16 bits, unlike the first frame's 48 x 40 of 8"),
    (FRAMES8[:4], {"steps": 4, "method": "quadrature"}, ValueError,
     "method: the frame set is measured by phase-shift or fourier"),
    (FRAMES8[:2], {"steps": 2}, ValueError, "steps: 2 must lie between 3 and 64"),
    (FRAMES8, {"steps": 65}, ValueError, "steps: 65 must lie between 3 and 64"),
    (FRAMES8, {"steps": 4, "periods": "10,80"}, ValueError, 'periods: "10,80" is not coarse to fine'),
    (FRAMES8, {"steps": 4, "periods": [80, 80]}, ValueError, "is not coarse to fine"),
    (FRAMES8, {"steps": 8, "method": "fft"}, ValueError, 'method: "fft" is not quadrature, phase-shift or fourier'),
    (FRAMES8, {"steps": 8, "channel": 2}, ValueError, "channel: 2 is outside 0..1"),
    (FRAMES8, {"steps": 8, "settings": {"LambdaF": "x"}}, ValueError, 'LambdaF = "x" is not a number'),
    (FRAMES8[0], {"steps": 8}, ValueError, "frames: an array of 2 dimensions"),
    ([f[None] for f in FRAMES8], {"steps": 8}, ValueError, "frames[0]: the array has 3 dimensions"),
    ([f[:, :0] for f in FRAMES8], {"steps": 8}, ValueError, "frames[0]: the picture is 0 x 40 pixels"),
    ([f.astype(np.float64) for f in FRAMES8], {"steps": 8}, TypeError, "frames[0]: the array's dtype is float64"),
    ([f.tolist() for f in FRAMES8], {"steps": 8}, TypeError, "frames[0]: expected a numpy array"),
    ("frames", {"steps": 8}, TypeError, "frames: expected a list of 2-D numpy arrays, got str"),
    (FRAMES8, {"steps": 8, "settings": 42}, TypeError, "settings: expected a Workspace"),
]


@pytest.mark.parametrize("frames, keywords, exception, words", BAD_SCANS)
def test_a_bad_frame_set_is_refused_naming_what_is_wrong(frames, keywords, exception, words):
    with pytest.raises(exception) as raised:
        fringe.scan_frames(frames, **keywords)
    assert words in str(raised.value)


def test_a_missing_scan_settings_file_is_an_oserror(tmp_path):
    with pytest.raises(OSError, match="missing.ini"):
        fringe.scan_frames(FRAMES8, steps=8, settings=tmp_path / "missing.ini")


def test_frames_too_small_for_a_profile_are_refused():
    tiny = [np.full((3, 3), 50 * k, dtype=np.uint8) for k in range(3)]
    with pytest.raises(ValueError, match="no profile of frames of 3 x 3 pixels"):
        fringe.scan_frames(tiny, steps=3)


BAD_SYNTHESES = [  # keywords, exception, words
    ({"steps": 2}, ValueError, "steps: 2 must lie between 3 and 64"),
    ({"method": "fft"}, ValueError, 'method: "fft" is not quadrature, phase-shift or fourier'),
    ({"bits": 17}, ValueError, "bits: 17 must lie between 8 and 16"),
    ({"method": "quadrature", "bits": 12}, ValueError, "bits: 12 does not suit the quadrature method"),
    ({"gamma": -1}, ValueError, "gamma: -1 must be greater than 0"),
    ({"ambient": 255}, ValueError, "ambient: 255 must lie between 0 and 254 grey levels"),
    ({"periods": "80,1280"}, ValueError, 'periods: "80,1280" is not coarse to fine'),
    ({"periods": [80, "x"]}, TypeError, "periods: expected numbers"),
    ({"noise": 2}, ValueError, "noise: 2 is outside 0..1"),
    ({"seed": -1}, ValueError, "seed: -1 is outside"),
    ({"x_pixels": 0}, ValueError, "x_pixels"),
    ({"period": 1}, ValueError, "period=1 is outside 2..200"),
]


@pytest.mark.parametrize("keywords, exception, words", BAD_SYNTHESES)
def test_a_bad_synthesis_argument_is_refused_in_the_tools_words(keywords, exception, words):
    with pytest.raises(exception) as raised:
        fringe.synthesize_frames(x_pixels=keywords.pop("x_pixels", 64), y_pixels=48, **keywords)
    assert words in str(raised.value)


def test_a_coarsest_period_narrower_than_the_frames_is_warned_of(small_workspace):
    with pytest.warns(UserWarning, match="coarsest period 80 px does not cover the field of 480 px"):
        frames = fringe.synthesize_frames(small_workspace, steps=3, periods=[80, 10])
    with pytest.warns(UserWarning, match="coarsest period 80 px"):
        fringe.scan_frames(frames, steps=3, periods=[80, 10], workspace=small_workspace)


def test_two_threads_scan_what_they_scan_one_after_the_other(small_workspace):
    sets = [fringe.synthesize_frames(small_workspace, seed=1, noise=0.5, steps=6),
            fringe.synthesize_frames(small_workspace, seed=2, noise=0.2, method="fourier")]
    keywords = [{"steps": 6}, {"method": "fourier"}]
    alone = [fringe.scan_frames(s, workspace=small_workspace, **k).heights for s, k in zip(sets, keywords)]
    together = [None, None]

    def run(i):
        for _ in range(3):
            together[i] = fringe.scan_frames(sets[i], workspace=small_workspace, **keywords[i]).heights

    threads = [threading.Thread(target=run, args=(i,)) for i in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for a, b in zip(alone, together):
        np.testing.assert_array_equal(a, b)


@pytest.mark.parametrize("function", [fringe.synthesize_frames, fringe.scan_frames])
def test_the_docstring_says_what_every_argument_does(function):
    signature, text = function.__doc__.split("\n", 1)
    names = re.findall(r"(\w+):", signature.split("(", 1)[1])
    assert len(names) > 5
    for name in names:
        assert re.search(rf"\b{name}\b", text), f"{function.__name__}: {name} is not described"
