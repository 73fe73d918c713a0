"""Each kind of bad input raises the exception Python code expects, with the tool's words; never a crash."""
import pathlib

import numpy as np
import pytest

import fringe
from conftest import set_value

PICTURE = np.full((40, 50), 128, dtype=np.uint8)

ARGUMENT_CASES = [  # call, exception, words
    (lambda w: fringe.synthesize(noise=1.5), ValueError, "noise: 1.5 is outside 0..1"),
    (lambda w: fringe.synthesize(contrast=float("nan")), ValueError, "contrast: nan is not a number"),
    (lambda w: fringe.synthesize(max_noise=2.5), ValueError, "max_noise: 2.5 is not a whole number"),
    (lambda w: fringe.synthesize(max_noise=256), ValueError, "max_noise: 256 is outside 0..255"),
    (lambda w: fringe.synthesize(seed=-1), ValueError, "seed: -1 is outside 0..4294967295"),
    (lambda w: fringe.synthesize(seed=2**32), ValueError, "seed: 4294967296 is outside"),
    (lambda w: fringe.synthesize(x_pixels=5000), ValueError, "1 to 4096"),
    (lambda w: fringe.synthesize(y_pixels=0), ValueError, "y_pixels"),
    (lambda w: fringe.synthesize(period=1), ValueError, "period=1 is outside 2..200"),
    (lambda w: fringe.synthesize(pixel_size=0), ValueError, "pixel_size=0 is outside"),
    (lambda w: fringe.synthesize(surface="cube"), ValueError, "cube"),
    (lambda w: fringe.synthesize(w, channel=2), ValueError, "channel: 2 is outside 0..1"),
    (lambda w: fringe.scan(PICTURE.astype(np.float64), w), TypeError, "dtype is float64"),
    (lambda w: fringe.scan(PICTURE.tolist(), w), TypeError, "expected a numpy array"),
    (lambda w: fringe.scan(PICTURE[None], w), ValueError, "3 dimensions"),
    (lambda w: fringe.scan(PICTURE[:0], w), ValueError, "picture: the picture is 50 x 0 pixels"),
    (lambda w: fringe.scan(PICTURE, w, reference=PICTURE.astype(np.int16)), TypeError, "reference: the array's dtype"),
    (lambda w: fringe.scan(PICTURE, w, reference=PICTURE[:, :49]), ValueError,
     "reference: the reference is 49 x 40 pixels of 8 bits, the picture 50 x 40 pixels of 8 bits"),
    (lambda w: fringe.scan(PICTURE, w, reference=np.zeros((41, 50), np.uint8)), ValueError,
     "reference: the reference is 50 x 41 pixels of 8 bits, the picture 50 x 40 pixels of 8 bits"),
    (lambda w: fringe.scan(PICTURE, {"LambdaF": "abc"}), ValueError, 'LambdaF = "abc" is not a number'),
    (lambda w: fringe.scan(PICTURE, 42), TypeError, "settings: expected a Workspace"),  # type: ignore[arg-type]
    (lambda w: fringe.Profile(np.zeros(5), 0.04, 0.04), ValueError, "1 dimensions"),
    (lambda w: fringe.Profile(np.zeros((5, 5)), -1, 0.04), ValueError, "step_x: -1 is outside"),
    (lambda w: fringe.measure(w, noise=-0.1), ValueError, "noise: -0.1 is outside 0..1"),
    (lambda w: fringe.measure(w, surface="biconic:rx=7.6"), ValueError, "biconic"),
    (lambda w: fringe.analyse(fringe.measure(w), order=11), ValueError, "order: 11 is outside 0..10"),
    (lambda w: fringe.analyse(fringe.measure(w), reference="best"), ValueError, "reference"),
    (lambda w: fringe.export(fringe.measure(w), "/tmp/x", formats=["doc"]), ValueError, "'doc' is not a height format"),
    (lambda w: fringe.export(fringe.measure(w), "/tmp/x", what="both"), ValueError, "what"),
    (lambda w: fringe.export(fringe.compare(fringe.measure(w).profile), "/tmp/x", what="profile"), ValueError,
     "needs a measurement"),
    (lambda w: fringe.study(w, vary={"nois": [0]}), ValueError, 'unknown parameter "nois"'),
    (lambda w: fringe.study(w, vary={"noise": [2]}), ValueError, "noise=2 is outside 0..1"),
    (lambda w: fringe.study(w, vary={"noise": [0]}, repeats=0), ValueError, "repeats: 0 is outside"),
    (lambda w: fringe.study(w, vary={"noise": [0]}, jobs=0), ValueError, "jobs: 0 is outside 1..4096"),
    (lambda w: fringe.study(w, vary={"noise": [0]}, csv="/tmp/same", json="/tmp/same"), ValueError,
     "name the same file"),
    (lambda w: fringe.study(w, vary={"noise": object()}), TypeError, "vary"),  # type: ignore[dict-item]
]


@pytest.mark.parametrize("call, exception, words", ARGUMENT_CASES)
def test_a_bad_argument_is_refused_with_words_that_name_it(small_workspace, call, exception, words):
    with pytest.raises(exception) as raised:
        call(small_workspace)
    assert words in str(raised.value)


FILE_CASES = [  # how the workspace or file is spoilt, call, exception, words
    ("scnmod.ini", lambda w, d: fringe.measure(w), OSError, "scnmod.ini\" (run 'fringe init DIR'"),
    ("image.ini", lambda w, d: fringe.synthesize(w), OSError, "image.ini\" (run 'fringe init DIR'"),
    ("image_1.ini", lambda w, d: fringe.study(w, vary={"noise": [0]}, channel=1), OSError, "image_1.ini"),
    (None, lambda w, d: fringe.read_picture(d / "missing.png"), OSError, "Cannot open file"),
    (None, lambda w, d: fringe.read_picture(d / "scnmod.ini"), OSError, "Cannot read file"),
    (None, lambda w, d: fringe.scan(PICTURE, d / "missing.ini"), OSError, "Cannot open file"),
    (None, lambda w, d: fringe.Workspace(d / "nowhere"), OSError, "no such directory"),
    (None, lambda w, d: fringe.Workspace(d / "scnmod.ini"), OSError, "not a directory"),
    (None, lambda w, d: fringe.export(fringe.measure(w), d / "no" / "x", formats=["csv"]), OSError,
     "Cannot create file"),
]


@pytest.mark.parametrize("missing, call, exception, words", FILE_CASES)
def test_a_missing_or_unreadable_file_raises_oserror_naming_it(small_workspace, missing, call, exception, words):
    folder = pathlib.Path(small_workspace.path)
    if missing:
        (folder / missing).unlink()
    with pytest.raises(exception) as raised:
        call(small_workspace, folder)
    assert words in str(raised.value)


SETTINGS_CASES = [  # file, key, text, words of the tool
    ("image.ini", "Radius", "abc", 'image.ini: Radius = "abc" is not a number'),
    ("scnmod.ini", "NFilt", "2.5", 'scnmod.ini: NFilt = "2.5" is not a whole number'),
    ("scnmod.ini", "MaskRadius", "", "scnmod.ini: MaskRadius"),
]


@pytest.mark.parametrize("file, key, text, words", SETTINGS_CASES)
def test_a_settings_value_that_is_no_number_raises_valueerror_in_the_tools_words(small_workspace, file, key,
                                                                                 text, words):
    set_value(pathlib.Path(small_workspace.path) / file, key, text)
    for call in (lambda: fringe.measure(small_workspace), lambda: fringe.synthesize(small_workspace),
                 lambda: fringe.scan(PICTURE, small_workspace) if file.startswith("scnmod") else fringe.measure(
                     small_workspace),
                 lambda: fringe.study(small_workspace, vary={"noise": [0]})):
        with pytest.raises(ValueError) as raised:
            call()
        assert words in str(raised.value)


def test_a_picture_too_small_for_a_profile_is_refused(small_workspace):
    for shape in ((1, 1), (4096, 3)):
        with pytest.raises(ValueError, match=f"no profile of a picture of {shape[1]} x {shape[0]} pixels"):
            fringe.scan(np.zeros(shape, np.uint8), small_workspace)
    # A blank picture is no measurement (test_quality.py); one with fringes is.
    with pytest.raises(fringe.MeasurementRefused, match="picture: no fringes"):
        fringe.scan(np.full((64, 64), 255, np.uint8), small_workspace)
    small = fringe.scan(fringe.synthesize(x_pixels=64, y_pixels=64), small_workspace, min_valid=0)
    assert small.heights.shape == (16, 16)
