#!/usr/bin/env python3
"""Writes horizon.csv and horizon_outline.csv, the samples `vdkit grid` runs on
in the README.

horizon.csv: 3,000 samples (x, y, z) of a known surface, the depth in metres
of a horizon below a 4 km square of map coordinates around the demo's wells:
a regional dip, a dome in the north-east, a trough in the south-west and a
gentle ripple. The places come from a fixed linear congruential generator, so
the file is the same on every machine and Python version.

horizon_outline.csv: the x, y vertices of a survey outline inside the square.

Run from anywhere: python3 examples/data/make_horizon.py
"""
import math
import os

X0, Y0, SIDE = 511000.0, 4176000.0, 4000.0
COUNT = 3000


def depth(x, y):
    """The surface: what the samples are taken from."""
    u, v = x - X0, y - Y0
    dome = math.exp(-((x - 513200) ** 2 + (y - 4178500) ** 2) / (2 * 600.0 ** 2))
    trough = math.exp(-((x - 511900) ** 2 + (y - 4176900) ** 2) / (2 * 450.0 ** 2))
    ripple = math.sin(u / 700.0) * math.cos(v / 900.0)
    return 1500.0 + 0.02 * u - 0.015 * v - 120.0 * dome + 80.0 * trough + 25.0 * ripple


class Minstd:
    """The minimal standard generator: state * 48271 mod (2^31 - 1)."""

    def __init__(self, seed):
        self.state = seed

    def uniform(self):
        self.state = self.state * 48271 % 2147483647
        return self.state / 2147483647.0


OUTLINE = [(511400, 4176300), (512600, 4176150), (513900, 4176500), (514700, 4177300),
           (514800, 4178600), (514200, 4179650), (512900, 4179850), (511700, 4179500),
           (511150, 4178600), (511350, 4177700), (511100, 4176900)]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    rng = Minstd(20040301)
    with open(os.path.join(here, "horizon.csv"), "w", newline="\n") as out:
        out.write("x,y,z\n")
        for _ in range(COUNT):
            x = X0 + SIDE * rng.uniform()
            y = Y0 + SIDE * rng.uniform()
            out.write("%.1f,%.1f,%.2f\n" % (x, y, depth(x, y)))
    with open(os.path.join(here, "horizon_outline.csv"), "w", newline="\n") as out:
        out.write("x,y\n")
        for x, y in OUTLINE:
            out.write("%d,%d\n" % (x, y))


if __name__ == "__main__":
    main()
