"""The module gives the numbers and bytes the fringe tool gives for the same workspace and seed."""
import _thread
import csv
import json
import math
import pathlib
import threading
import time

import numpy as np
import pytest

import fringe
from conftest import run_tool, tool_json


def read_profile_file(path, depth_limit=-10.0):
    """A profile file as the chain reads it back: 32-bit floats widened, no data as NaN."""
    tokens = pathlib.Path(path).read_text().split()
    nx, ny = int(tokens[0]), int(tokens[1])
    step_x, step_y = float(np.float32(tokens[2])), float(np.float32(tokens[3]))
    heights = np.array(tokens[4:4 + nx * ny], dtype=np.float32).astype(np.float64).reshape(ny, nx)
    heights[heights <= np.float32(depth_limit)] = np.nan
    return heights, step_x, step_y


MEASUREMENTS = [  # channel, seed, noise, contrast, max_noise
    (0, 1, 0.0, 1.0, 64),
    (0, 7, 0.6, 0.5, 64),
    (1, 12345, 0.3, 0.8, 20),
]


@pytest.mark.parametrize("channel, seed, noise, contrast, max_noise", MEASUREMENTS)
def test_measure_gives_the_tools_summary(small_workspace, channel, seed, noise, contrast, max_noise):
    expected = tool_json("measure", "--dir", small_workspace.path, "--channel", channel, "--seed", seed,
                         "--noise", noise, "--contrast", contrast, "--max-noise", max_noise)
    m = fringe.measure(small_workspace, channel=channel, seed=seed, noise=noise, contrast=contrast,
                       max_noise=max_noise)
    assert m.statistics == {k: expected[k] for k in m.statistics}
    assert (m.channel, m.seed, m.noise, m.contrast) == (channel, seed, noise, contrast)


def test_a_surface_given_stands_in_for_the_surface_file_as_in_the_tool(small_workspace):
    surface = "biconic:rx=7.6,ry=7.9,axis=30,q=-0.2"
    expected = tool_json("measure", "--dir", small_workspace.path, "--seed", 4, "--noise", 0.2, "--surface", surface)
    m = fringe.measure(small_workspace, seed=4, noise=0.2, surface=surface)
    assert m.statistics == {k: expected[k] for k in m.statistics}
    assert m.statistics != fringe.measure(small_workspace, seed=4, noise=0.2).statistics
    written = fringe.read_picture(pathlib.Path(small_workspace.path) / "sim00.bmp")
    np.testing.assert_array_equal(fringe.synthesize(small_workspace, seed=4, noise=0.2, surface=surface), written)


@pytest.mark.parametrize("channel, seed, noise, contrast, max_noise", MEASUREMENTS)
def test_synthesize_gives_the_bytes_of_fringe_simulate(small_workspace, channel, seed, noise, contrast, max_noise):
    run_tool("simulate", "--dir", small_workspace.path, "--channel", channel, "--seed", seed, "--noise", noise,
             "--contrast", contrast, "--max-noise", max_noise)
    written = fringe.read_picture(pathlib.Path(small_workspace.path) / f"sim0{channel}.bmp")
    picture = fringe.synthesize(small_workspace, channel=channel, seed=seed, noise=noise, contrast=contrast,
                                max_noise=max_noise)
    assert picture.dtype == np.uint8 and picture.shape == (400, 480)
    np.testing.assert_array_equal(picture, written)


def test_synthesize_keywords_replace_the_workspace_settings(small_workspace):
    from_files = fringe.synthesize(small_workspace, channel=1, seed=3, noise=0.4)
    given = fringe.synthesize(x_pixels=480, y_pixels=400, period=12, radius=8.1, seed=3, noise=0.4)
    np.testing.assert_array_equal(given, from_files)
    # The top row of the picture is row 0: the apex sits offset_y above the centre.
    raised = fringe.synthesize(x_pixels=480, y_pixels=400, offset_y=1.0)
    lowered = fringe.synthesize(x_pixels=480, y_pixels=400, offset_y=-1.0)
    np.testing.assert_array_equal(raised[:-200], lowered[200:])


def test_scan_gives_the_profile_file_of_fringe_scan(small_workspace, tmp_path):
    folder = pathlib.Path(small_workspace.path)
    run_tool("simulate", "--dir", folder, "--seed", 5, "--noise", 0.5)
    run_tool("scan", folder / "sim00.bmp", "--ini", folder / "scnmod.ini", "--out", tmp_path / "p.txt")
    expected, step_x, step_y = read_profile_file(tmp_path / "p.txt")
    picture = fringe.read_picture(folder / "sim00.bmp")
    for settings in (small_workspace, folder / "scnmod.ini", str(folder / "scnmod.ini")):
        profile = fringe.scan(picture, settings)
        assert (profile.step_x, profile.step_y) == (step_x, step_y)
        np.testing.assert_array_equal(profile.heights, expected)
    assert np.isnan(expected).any() and not np.isnan(expected).all()


def test_scan_copies_a_view_and_leaves_the_array_as_it_was(small_workspace):
    picture = fringe.synthesize(small_workspace, seed=2, noise=0.2)
    wide = np.zeros((400, 960), dtype=np.uint8)
    wide[:, ::2] = picture
    view = wide[:, ::2]
    assert not view.flags.c_contiguous
    before = view.copy()
    from_view = fringe.scan(view, small_workspace)
    np.testing.assert_array_equal(view, before)
    np.testing.assert_array_equal(from_view.heights, fringe.scan(picture, small_workspace).heights)


def test_scan_settings_as_a_dict_are_the_engines_keys(small_workspace):
    picture = fringe.synthesize(small_workspace, seed=2)
    lines = small_workspace.settings()["scan"]
    keys = dict(line.split("=", 1) for line in lines if "=" in line)
    from_dict = fringe.scan(picture, keys)
    np.testing.assert_array_equal(from_dict.heights, fringe.scan(picture, small_workspace).heights)
    # Keys left out keep the engine's defaults (a period of 10 px does not fit these fringes).
    other = fringe.scan(picture, {"CamResX": 0.01, "CamResY": 0.01, "LambdaF": 14})
    assert not np.array_equal(other.heights, from_dict.heights, equal_nan=True)


def test_measure_is_scan_then_compare(small_workspace):
    m = fringe.measure(small_workspace, seed=4, noise=0.5, keep_picture=True)
    profile = fringe.scan(m.picture, small_workspace)
    np.testing.assert_array_equal(profile.heights, m.profile.heights)
    c = fringe.compare(profile, radius=7.5, mask_radius=1.5)
    for name in ("residual", "measured", "sphere"):
        np.testing.assert_array_equal(getattr(c, name), getattr(m, name))
    assert c.statistics == m.statistics
    # A profile made from the heights as an array compares the same.
    again = fringe.compare(fringe.Profile(profile.heights, profile.step_x, profile.step_y), radius=7.5,
                           mask_radius=1.5)
    np.testing.assert_array_equal(again.residual, c.residual)


def test_the_maps_mark_the_mask_and_missing_heights(small_workspace):
    m = fringe.measure(small_workspace, seed=1)
    field = m.geometry["field_x"]
    centre = (np.arange(256) + 0.5) * field / 256 - field / 2
    inside = np.hypot(*np.meshgrid(centre, centre)) < 1.5
    assert np.isnan(m.residual[~inside]).all()
    assert np.isnan(m.residual).sum() >= np.isnan(m.measured).sum()
    assert int((~np.isnan(m.residual)).sum()) <= m.mask_cells
    assert not np.isnan(m.sphere).any()
    # The residual is measured minus sphere where it has data.
    known = ~np.isnan(m.residual)
    np.testing.assert_array_equal(m.residual[known], (m.measured - m.sphere)[known])


@pytest.mark.parametrize("order, reference", [(6, "set"), (4, "best-fit"), (0, "set")])
def test_analyse_gives_the_keys_and_values_of_fringe_analyse(small_workspace, order, reference):
    run_tool("measure", "--dir", small_workspace.path, "--seed", 9, "--noise", 0.4)
    expected = tool_json("analyse", "--dir", small_workspace.path, "--order", order, "--reference", reference)
    m = fringe.measure(small_workspace, seed=9, noise=0.4)
    figures = fringe.analyse(m, order=order, reference=reference)
    assert list(figures) == list(expected)
    assert figures == expected
    assert m.figures(order, reference) == expected


def test_analyse_gives_none_for_a_figure_that_is_not_available():
    empty = fringe.Profile(np.full((100, 100), np.nan), 0.04, 0.04)
    figures = fringe.analyse(fringe.compare(empty))
    assert figures["fit_radius_mm"] is None and figures["zernike"] is None


@pytest.mark.parametrize("what", ["residual", "profile"])
def test_export_writes_the_files_of_fringe_export(small_workspace, tmp_path, what):
    folder = pathlib.Path(small_workspace.path)
    run_tool("measure", "--dir", folder, "--seed", 2, "--noise", 0.3)
    run_tool("export", "--dir", folder, "--format", "gsf,csv,xyz,ply,png", "--what", what, tmp_path / "tool")
    m = fringe.measure(small_workspace, seed=2, noise=0.3)
    written = fringe.export(m, tmp_path / "module", what=what)
    assert [pathlib.Path(f).suffix for f in written] == [".gsf", ".csv", ".xyz", ".ply", ".png"]
    for file in written:
        suffix = pathlib.Path(file).suffix
        assert pathlib.Path(file).read_bytes() == (tmp_path / ("tool" + suffix)).read_bytes(), suffix


def read_csv_rows(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f))


def test_study_gives_the_rows_of_fringe_study(small_workspace, tmp_path):
    run_tool("study", "--dir", small_workspace.path, "--vary", "noise=0,0.5", "--vary", "period=8:12:2",
             "--repeats", 2, "--seed", 3, "--jobs", 2, "--contrast", 0.7, "--csv", tmp_path / "tool.csv")
    study = fringe.study(small_workspace, vary={"noise": [0, 0.5], "period": "8:12:2"}, repeats=2, seed=3,
                         jobs=2, contrast=0.7, csv=tmp_path / "module.csv")
    expected = read_csv_rows(tmp_path / "tool.csv")
    assert len(study["rows"]) == len(expected) == 8
    assert study["complete"] and study["failed"] == 0
    for row, line in zip(study["rows"], expected):
        assert list(row) == list(line)
        for column, text in line.items():
            if column == "ms":
                continue
            value = row[column]
            if column == "status":
                assert value == text
            elif text == "":
                assert value is None
            else:
                assert value == float(text), column
    module_rows = read_csv_rows(tmp_path / "module.csv")
    assert [{k: v for k, v in r.items() if k != "ms"} for r in module_rows] == \
           [{k: v for k, v in r.items() if k != "ms"} for r in expected]
    first = study["summaries"][0]
    assert (first["noise"], first["period"], first["runs"], first["ok"]) == (0.0, 8.0, 2, 2)
    rms = [r["rms_um"] for r in study["rows"][:2]]
    assert first["rms_um"]["mean"] == pytest.approx(sum(rms) / 2)


def test_two_threads_measure_what_they_measure_one_after_the_other(small_workspace):
    jobs = [dict(channel=0, seed=11, noise=0.7), dict(channel=1, seed=12, noise=0.2, contrast=0.6)]
    alone = [fringe.measure(small_workspace, **job) for job in jobs]
    together = [None, None]

    def run(i):
        for _ in range(3):
            together[i] = fringe.measure(small_workspace, **jobs[i])

    threads = [threading.Thread(target=run, args=(i,)) for i in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for a, b in zip(alone, together):
        np.testing.assert_array_equal(a.residual, b.residual)
        np.testing.assert_array_equal(a.profile.heights, b.profile.heights)
        assert a.statistics == b.statistics


def test_ctrl_c_stops_a_study_and_keeps_its_finished_rows(small_workspace, tmp_path):
    table = tmp_path / "stopped.csv"
    journal = pathlib.Path(str(table) + ".part")
    done = threading.Event()

    def press_ctrl_c_after_the_first_rows():
        while not done.is_set():
            if journal.exists() and len(journal.read_text().splitlines()) >= 4:
                _thread.interrupt_main()
                return
            time.sleep(0.005)

    watcher = threading.Thread(target=press_ctrl_c_after_the_first_rows)
    watcher.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            fringe.study(small_workspace, vary={"noise": "0:1:60"}, jobs=1, csv=table)
    finally:
        done.set()
        watcher.join()
    assert journal.exists() and not table.exists()
    kept = [line for line in journal.read_text().splitlines()[2:] if line]
    assert 2 <= len(kept) < 60
    # The tool takes the journal up where the module left it.
    run_tool("study", "--dir", small_workspace.path, "--vary", "noise=0:1:60", "--jobs", 2, "--csv", table,
             "--resume")
    assert len(read_csv_rows(table)) == 60


def test_a_cone_the_pupil_and_the_maps_agree_with_the_tool(small_workspace):
    surface = "sphere:cone=15/0/-1.2/0.8"
    run_tool("measure", "--dir", small_workspace.path, "--seed", 5, "--surface", surface)
    expected = tool_json("analyse", "--dir", small_workspace.path, "--pupil", 2.5)
    m = fringe.measure(small_workspace, seed=5, surface=surface)
    figures = fringe.analyse(m, pupil=2.5)
    assert figures == expected
    assert figures["pupil_mm"] == 2.5 and len(figures["osa_um"]) == 28
    # The small workspace's mask (1.4 mm) does not reach the indices' 3 mm.
    assert figures["i_s_D"] is None and figures["i_s_category"] is None
    maps = m.maps()
    assert sorted(maps) == ["axial_D", "elevation_sphere_um", "elevation_toric_um", "refractive_D", "tangential_D"]
    known = ~np.isnan(maps["refractive_D"])
    assert known.sum() == (~np.isnan(m.residual)).sum()
    # The cone stands out below the centre (rows grow downwards).
    row, col = np.unravel_index(np.nanargmax(maps["elevation_toric_um"]), maps["elevation_toric_um"].shape)
    assert row > 128 and abs(col - 128) < 15
    with pytest.raises(ValueError):
        fringe.analyse(m, pupil=0)
