"""The method arguments of measure and study: what they measure, the tool's numbers and words, and
studies over the methods with their names in the rows."""
import csv
import pathlib

import pytest

import fringe
from conftest import run_tool, tool_json


def test_phase_shifting_beats_the_quadrature_on_the_noise_free_default_sphere(tmp_path):
    workspace = fringe.init_workspace(tmp_path / "default")
    quadrature = fringe.measure(workspace)
    shifted = fringe.measure(workspace, method="phase-shift", steps=8)
    assert shifted.mask_cells > 0.9 * quadrature.mask_cells
    assert shifted.rms_um < quadrature.rms_um


MEASUREMENTS = [  # the module's keywords, the tool's options
    ({"method": "phase-shift", "steps": 8}, ["--method", "phase-shift", "--steps", 8]),
    ({"method": "phase-shift", "steps": 4, "periods": [480, 40, 10]},
     ["--method", "phase-shift", "--steps", 4, "--periods", "480,40,10"]),
    ({"method": "fourier", "gamma": 2.2, "blur": 0.8}, ["--method", "fourier", "--gamma", 2.2, "--blur", 0.8]),
    ({"method": "phase-shift", "bits": 12, "ambient": 20, "periods": "10"},
     ["--method", "phase-shift", "--bits", 12, "--ambient", 20, "--periods", "10"]),
]


@pytest.mark.parametrize("keywords, options", MEASUREMENTS)
def test_measure_with_a_method_gives_the_tools_summary(small_workspace, keywords, options):
    expected = tool_json("measure", "--dir", small_workspace.path, "--seed", 5, "--noise", 0.3, *options)
    m = fringe.measure(small_workspace, seed=5, noise=0.3, **keywords)
    assert m.statistics == {k: expected[k] for k in m.statistics}


def test_the_workspaces_method_file_is_used_and_the_arguments_go_over_it(small_workspace):
    folder = pathlib.Path(small_workspace.path)
    (folder / "method.ini").write_text("Method=phase-shift\r\nSteps=6\r\n")
    assert small_workspace.settings()["method"] == ["Method=phase-shift", "Steps=6"]
    from_file = fringe.measure(small_workspace, seed=2, noise=0.2)
    assert from_file.statistics == fringe.measure(small_workspace, seed=2, noise=0.2, steps=6).statistics
    assert from_file.statistics != fringe.measure(small_workspace, seed=2, noise=0.2, steps=9).statistics
    # Back to the engine's quadrature by the argument alone: the numbers of the workspace without the file.
    quadrature = fringe.measure(small_workspace, seed=2, noise=0.2, method="quadrature")
    (folder / "method.ini").unlink()
    assert quadrature.statistics == fringe.measure(small_workspace, seed=2, noise=0.2).statistics


# A method name in any case, as the method file has always taken it: the file, the tool's option and the
# module's argument measure the same, and a name that is no method is refused by all three.
METHOD_SPELLINGS = [  # as written, the method it names (None: refused)
    ("fourier", "fourier"),
    ("Fourier", "fourier"),
    ("FOURIER", "fourier"),
    ("Phase-Shift", "phase-shift"),
    ("Quadrature", "quadrature"),
    ("fourier ", None),
    ("phase shift", None),
    ("fft", None),
]


@pytest.mark.parametrize("written, method", METHOD_SPELLINGS)
def test_the_method_file_the_tool_and_the_module_take_a_method_name_by_one_rule(small_workspace, written, method):
    folder = pathlib.Path(small_workspace.path)
    arguments = ["measure", "--dir", folder, "--seed", 3, "--noise", 0.2]
    if method is None:
        with pytest.raises(ValueError, match="is not quadrature, phase-shift or fourier"):
            fringe.measure(small_workspace, seed=3, noise=0.2, method=written)
        with pytest.raises(AssertionError, match="is not quadrature, phase-shift or fourier"):
            run_tool(*arguments, "--method", written)
        # The file's value is read without its surrounding blanks.
        if written.strip() != written:
            return
        (folder / "method.ini").write_text(f"Method={written}\r\n")
        with pytest.raises(ValueError, match="is not quadrature, phase-shift or fourier"):
            fringe.measure(small_workspace, seed=3, noise=0.2)
        return
    expected = tool_json(*arguments, "--method", method)
    given = fringe.measure(small_workspace, seed=3, noise=0.2, method=written)
    assert given.statistics == {k: expected[k] for k in given.statistics}
    assert tool_json(*arguments, "--method", written) == expected
    (folder / "method.ini").write_text(f"Method={written}\r\n")
    assert tool_json(*arguments) == expected
    assert fringe.measure(small_workspace, seed=3, noise=0.2).statistics == given.statistics


BAD_VALUES = [  # keywords, exception, words
    ({"steps": 2}, ValueError, "steps: 2 must lie between 3 and 64"),
    ({"method": "phase-shift", "steps": 65}, ValueError, "steps: 65 must lie between 3 and 64"),
    ({"method": "fft"}, ValueError, 'method: "fft" is not quadrature, phase-shift or fourier'),
    ({"gamma": 0}, ValueError, "gamma: 0 must be greater than 0"),
    ({"gamma": float("nan")}, ValueError, "gamma: nan is not a finite number"),
    ({"blur": -1}, ValueError, "blur: -1 must lie between 0 and 4096 px"),
    ({"method": "fourier", "bits": 17}, ValueError, "bits: 17 must lie between 8 and 16"),
    ({"bits": 12}, ValueError, "bits: 12 does not suit the quadrature method"),
    ({"ambient": 300}, ValueError, "ambient: 300 must lie between 0 and 254 grey levels"),
    ({"periods": "80,1280"}, ValueError, 'periods: "80,1280" is not coarse to fine'),
    ({"periods": [80, 0]}, ValueError, "periods must be positive"),
    ({"periods": [80, "x"]}, TypeError, "periods: expected numbers"),
    ({"steps": 8.5}, TypeError, "steps"),
]


@pytest.mark.parametrize("keywords, exception, words", BAD_VALUES)
def test_a_bad_method_argument_is_refused_in_the_tools_words(small_workspace, keywords, exception, words):
    for call in (lambda: fringe.measure(small_workspace, **keywords),
                 lambda: fringe.study(small_workspace, vary={"noise": [0]}, **keywords)):
        with pytest.raises(exception) as raised:
            call()
        assert words in str(raised.value)


STUDY_CASES = [  # vary, exception, words
    ({"method": ["fft"]}, ValueError, "method=fft is not quadrature, phase-shift or fourier"),
    ({"method": [2]}, ValueError, "method=2 is not quadrature, phase-shift or fourier"),
    ({"method": "fourier,fourier"}, ValueError, "the value fourier is given twice"),
    ({"steps": [2, 8]}, ValueError, "steps=2 is outside 3..64"),
    ({"gamma": [0]}, ValueError, "gamma=0 must be greater than 0"),
    ({"method": [object()]}, TypeError, "vary"),
]


@pytest.mark.parametrize("vary, exception, words", STUDY_CASES)
def test_a_bad_varied_method_value_is_refused_before_any_run(small_workspace, tmp_path, vary, exception, words):
    with pytest.raises(exception) as raised:
        fringe.study(small_workspace, vary=vary, csv=tmp_path / "s.csv")
    assert words in str(raised.value)
    assert not list(tmp_path.glob("s.csv*"))


def test_a_bad_method_file_stops_measure_and_study(small_workspace):
    (pathlib.Path(small_workspace.path) / "method.ini").write_text("Method=fft\r\n")
    for call in (lambda: fringe.measure(small_workspace), lambda: fringe.study(small_workspace, vary={"noise": [0]})):
        with pytest.raises(ValueError) as raised:
            call()
        assert 'method.ini: Method = "fft" is not quadrature, phase-shift or fourier' in str(raised.value)


def read_csv_rows(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f))


def test_a_study_over_the_methods_gives_rows_with_their_names_as_the_tool_does(small_workspace, tmp_path):
    methods = ["quadrature", "fourier", "phase-shift"]
    run_tool("study", "--dir", small_workspace.path, "--vary", "method=" + ",".join(methods),
             "--vary", "noise=0,0.5", "--steps", 8, "--seed", 3, "--jobs", 2, "--csv", tmp_path / "tool.csv")
    study = fringe.study(small_workspace, vary={"method": methods, "noise": [0, 0.5]}, steps=8, seed=3, jobs=2,
                         csv=tmp_path / "module.csv")
    assert study["complete"] and study["failed"] == 0
    assert study["parameters"] == ["method", "noise"]
    assert [(r["method"], r["noise"]) for r in study["rows"]] == [(m, n) for m in methods for n in (0.0, 0.5)]
    assert [s["method"] for s in study["summaries"]] == [m for m in methods for _ in range(2)]
    expected = read_csv_rows(tmp_path / "tool.csv")
    assert [line["method"] for line in expected] == [r["method"] for r in study["rows"]]
    for row, line in zip(study["rows"], expected):
        assert row["rms_um"] == float(line["rms_um"])
    without_ms = [{k: v for k, v in r.items() if k != "ms"} for r in read_csv_rows(tmp_path / "module.csv")]
    assert without_ms == [{k: v for k, v in r.items() if k != "ms"} for r in expected]
    # Each method measures differently.
    assert len({r["rms_um"] for r in study["rows"] if r["noise"] == 0.0}) == 3
