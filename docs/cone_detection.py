"""Where noise stops a measurement telling a cone's category: a study of cone height against
noise on the default sphere, plotted for the guide (docs/cone_detection.png).

The cone sits 2.5 mm below the apex (inferior), sigma 1 mm, so that it raises the inferior
points of I-S; heights 40..140 um cross I-S's cut-offs (1.4 D suspect, 1.9 D keratoconus).
Each run measures the default picture with its noise and compares I-S's category with the
category of the exact surface's I-S.

    python3 docs/cone_detection.py [OUT.png]
"""
import collections
import sys
import tempfile

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import fringe  # noqa: E402

NOISES = [0.0, 0.25, 0.5, 0.75, 1.0]
HEIGHTS = [40.0 + 4.0 * k for k in range(26)]
REPEATS = 8


def main(out: str) -> None:
    with tempfile.TemporaryDirectory() as folder:
        workspace = fringe.init_workspace(folder)
        with open(f"{folder}/surface.ini", "w") as surface:
            surface.write("Model=sphere\r\nCone1Height=40\r\nCone1X=0\r\nCone1Y=-2.5\r\nCone1Width=1\r\n")
        study = fringe.study(workspace, vary={"noise": NOISES, "cone_height": HEIGHTS}, repeats=REPEATS)
    runs = collections.defaultdict(list)
    for row in study["rows"]:
        runs[(row["noise"], row["cone_height"])].append(row)

    figure, (power, detected) = plt.subplots(1, 2, figsize=(11, 4.2))
    for noise in NOISES:
        measured = [sum(r["i_s_D"] for r in runs[(noise, h)]) / REPEATS for h in HEIGHTS]
        share = [100.0 * sum(r["i_s_detected"] for r in runs[(noise, h)]) / REPEATS for h in HEIGHTS]
        power.plot(HEIGHTS, measured, marker=".", label=f"noise {noise:g}")
        detected.plot(HEIGHTS, share, marker=".", label=f"noise {noise:g}")
        missed = [f"{h:g}" for h, s in zip(HEIGHTS, share) if s < 100.0]
        print(f"noise {noise:g}: category missed at {', '.join(missed) or 'no height'} um")
    truth = [runs[(0.0, h)][0]["i_s_D"] - runs[(0.0, h)][0]["i_s_error_D"] for h in HEIGHTS]
    power.plot(HEIGHTS, truth, "k--", linewidth=1, label="exact surface")
    for cut, words in ((1.4, "suspect"), (1.9, "keratoconus")):
        power.axhline(cut, color="grey", linewidth=0.8)
        power.text(HEIGHTS[0], cut + 0.03, words, color="grey", fontsize=8)
    power.set_xlabel("cone height, µm (sigma 1 mm, 2.5 mm inferior)")
    power.set_ylabel("I-S, D (mean of the repeats)")
    power.legend(fontsize=8, loc="lower right")
    detected.set_xlabel("cone height, µm")
    detected.set_ylabel(f"runs whose I-S category is the true one, % of {REPEATS}")
    detected.set_ylim(-5, 105)
    figure.suptitle("Cone height against noise: where the measured category stops matching the truth")
    figure.tight_layout()
    figure.savefig(out, dpi=90)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "cone_detection.png")
