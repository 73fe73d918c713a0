"""Every measurement says how far it can be believed: its quality as arrays, and the measurements not to be
believed refused with fringe.MeasurementRefused, as the tool refuses them with exit status 4."""
import numpy as np
import pytest

import fringe
from conftest import tool_json

GREY = np.full((400, 480), 128, dtype=np.uint8)
ZEROS = np.zeros((400, 480), dtype=np.uint8)


def frames(workspace, **keywords):
    return fringe.synthesize_frames(workspace, seed=1, **keywords)


REFUSED = [  # what is measured, words
    (lambda w: fringe.scan(ZEROS, w), "picture: no fringes"),
    (lambda w: fringe.scan(GREY, w), "picture: no fringes"),
    (lambda w: fringe.scan(GREY, w, min_valid=0), "picture: no fringes"),
    (lambda w: fringe.measure(w, contrast=0), "channel 0: no fringes"),
    (lambda w: fringe.measure(w, contrast=0, method="fourier"), "channel 0: no fringes"),
    (lambda w: fringe.scan_frames([GREY] * 4, steps=4, workspace=w), "frames: no fringes"),
    (lambda w: fringe.scan(fringe.synthesize(w, seed=1), w, min_valid=1), "picture: too little measured"),
    (lambda w: fringe.measure(w, min_valid=1), "channel 0: too little measured"),
    (lambda w: fringe.scan_frames(frames(w, steps=4), steps=4, workspace=w, min_valid=1),
     "frames: too little measured"),
]


@pytest.mark.parametrize("call, words", REFUSED)
def test_a_measurement_not_to_be_believed_is_refused(small_workspace, call, words):
    with pytest.raises(fringe.MeasurementRefused) as refused:
        call(small_workspace)
    assert str(refused.value).startswith(words), str(refused.value)
    # A ValueError: bad input, as every other refusal of the module's.
    assert isinstance(refused.value, ValueError)


def test_one_fringe_picture_four_times_is_refused_as_the_same_picture_not_as_no_fringes(small_workspace):
    # Its fringes are there; what is wrong is the set.
    with pytest.raises(ValueError, match="frames: all 4 frames are the same picture") as refused:
        fringe.scan_frames([frames(small_workspace, steps=4)[0]] * 4, steps=4, workspace=small_workspace)
    assert not isinstance(refused.value, fringe.MeasurementRefused)


def test_min_valid_is_checked_and_read_from_the_method_file(small_workspace):
    with pytest.raises(ValueError, match="min_valid: 2 is outside 0..1"):
        fringe.measure(small_workspace, min_valid=2)
    method_file = f"{small_workspace.path}/method.ini"
    with open(method_file, "w") as f:
        f.write("MinValid=1\r\n")
    with pytest.raises(fringe.MeasurementRefused, match="fewer than the 100 % asked"):
        fringe.measure(small_workspace)
    assert fringe.measure(small_workspace, min_valid=0.5).quality.valid_fraction > 0.9
    with open(method_file, "w") as f:
        f.write("MinValid=1.5\r\n")
    with pytest.raises(ValueError, match=r'method.ini: MinValid = "1.5" must lie between 0 and 1'):
        fringe.measure(small_workspace)


@pytest.mark.parametrize("method", ["quadrature", "phase-shift", "fourier"])
def test_a_measurement_carries_its_quality_on_the_profiles_grid(small_workspace, method):
    m = fringe.measure(small_workspace, seed=2, noise=0.2, method=method, steps=8)
    q = m.quality
    assert isinstance(q, fringe.Quality)
    assert q.shape == m.profile.shape == q.modulation.shape == q.fit_residual.shape == q.state.shape
    assert q.modulation.dtype == np.float64 and q.state.dtype == np.uint8 and q.valid.dtype == np.bool_
    inside = q.state != 0
    assert np.all(np.isnan(q.modulation[~inside])) and not np.any(np.isnan(q.modulation[inside]))
    # A cell is valid exactly where the profile has a height, inside the ellipse.
    np.testing.assert_array_equal(q.valid, inside & ~np.isnan(m.profile.heights))
    assert q.summary["valid_fraction"] == q.valid_fraction == q.valid.sum() / inside.sum()
    assert q.summary["mask_cells"] == inside.sum()
    assert q.valid_fraction > 0.95
    assert 50 < q.median_modulation < 128
    assert 0 < q.median_fit_residual < 0.5
    assert m.profile.quality is m.quality or m.profile.quality.summary == q.summary


def test_the_module_and_the_tool_tell_the_same_quality(small_workspace, tool):
    for method in ("quadrature", "phase-shift"):
        expected = tool_json("measure", "--dir", small_workspace.path, "--seed", 4, "--noise", 0.2, "--method", method)
        summary = fringe.measure(small_workspace, seed=4, noise=0.2, method=method).quality.summary
        for key in ("valid_fraction", "median_modulation", "median_fit_residual"):
            assert summary[key] == expected[key], key


def test_a_scanned_profile_has_its_quality_and_ones_own_heights_none(small_workspace):
    profile = fringe.scan(fringe.synthesize(small_workspace, seed=1), small_workspace)
    assert profile.quality.valid_fraction > 0.95
    assert fringe.scan_frames(frames(small_workspace, steps=4), steps=4, workspace=small_workspace).quality.shape == \
        profile.shape
    assert fringe.Profile(np.zeros((4, 4)), 0.04, 0.04).quality is None


def test_a_weak_patch_among_strong_fringes_gets_no_data(small_workspace):
    """A ripple of one grey level among fringes of 100: no height in it, every height around it."""
    steps = 8
    y, x = np.mgrid[0:400, 0:480]
    patch = (x >= 300) & (x < 340) & (y >= 100) & (y < 140)
    sets = []
    for k in range(steps):
        phase = 2 * np.pi * (x - 240) / 10 + 2 * np.pi * k / steps
        sets.append(np.rint(128 + np.where(patch, 1.0, 100.0) * np.cos(phase)).astype(np.uint8))
    profile = fringe.scan_frames(sets, steps=steps, settings={"MaskRadius": 100})
    cells = profile.quality.state[::-1]  # the profile's row 0 is the picture's bottom row
    heights = profile.heights[::-1]
    assert np.all(cells[25:35, 75:85] == 2)  # weak
    assert np.all(np.isnan(heights[25:35, 75:85]))
    around = np.ones(cells.shape, bool)
    around[24:36, 74:86] = False
    around[[0, -1], :] = around[:, [0, 1, -2, -1]] = False
    assert np.all(cells[around] == 1)
    assert not np.any(np.isnan(heights[around]))
