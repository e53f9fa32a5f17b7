#!/usr/bin/python3
"""Writes curve_reference.txt: ellipse and B-spline points computed by ezdxf (Debian
python3-ezdxf), the independent reference for src/geometry/curves.

Run: /usr/bin/python3 tests/geometry/data/make_curve_reference.py > tests/geometry/data/curve_reference.txt
with the shared drawings at ../shared/testdata/dxf beside the repository: their
splines and ellipses are cases too (22 cases in all; the test counts them).

Each case is a block of lines "key count values..." ending with "end":
  ellipse: center, major, ratio, normal; eval: t x y z ...
  spline:  degree, knots, weights, control (x y z triples); eval: t x y z ...
  fit:     points (x y z triples), tangents (0 or 2 triples); eval as above, on the
           spline ezdxf's SPLINE entity builds from its fit points.
"""
import math
import os
import ezdxf
from ezdxf import recover
from ezdxf.math import BSpline, ConstructionEllipse, Vec3


def nums(values):
    return " ".join(repr(float(v)) for v in values)


def line(key, values):
    values = list(values)
    print(key, len(values), nums(values))


def params(lo, hi, count):
    return [lo + (hi - lo) * i / (count - 1) for i in range(count)]


def evaluate(points_of, ts, to_stored=lambda t: t):
    out = []
    for t, p in zip(ts, points_of(ts)):
        out.extend([to_stored(t), p.x, p.y, p.z])
    line("eval", out)


def ellipse(name, center, major, ratio, normal, ts):
    print("ellipse", name)
    e = ConstructionEllipse(center=center, major_axis=major, extrusion=normal, ratio=ratio)
    line("center", center)
    line("major", major)
    line("ratio", [ratio])
    line("normal", normal)
    evaluate(lambda t: list(e.vertices(t)), ts)
    print("end")


def spline(name, degree, knots, weights, control):
    print("spline", name)
    s = BSpline(control, order=degree + 1, knots=knots, weights=weights or None)
    line("degree", [degree])
    line("knots", knots)
    line("weights", weights)
    line("control", [c for p in control for c in p])
    k = s.knots()
    # ezdxf rescales knots that do not start at 0 to [0, 1]: its parameters are
    # written back on the stored knots' scale.
    lo, hi = knots[0], knots[-1]
    evaluate(lambda t: list(s.points(t)), params(k[degree], k[len(control)], 23),
             lambda t: t if lo == 0 else lo + t * (hi - lo))
    print("end")


def stored_spline(name, e):
    """A SPLINE entity of a real drawing, evaluated as ezdxf builds it."""
    spline(name, e.dxf.degree, list(e.knots), list(e.weights),
           [tuple(p) for p in e.control_points])


def stored_ellipse(name, e):
    """An ELLIPSE entity of a real drawing, evaluated as ezdxf builds it."""
    lo, hi = e.dxf.start_param, e.dxf.end_param
    if hi < lo:
        hi += 2 * math.pi
    ellipse(name, tuple(e.dxf.center), tuple(e.dxf.major_axis), e.dxf.ratio,
            tuple(e.dxf.extrusion), params(lo, hi, 9))


def fit(name, fit_points, tangents=None):
    print("fit", name)
    doc = ezdxf.new()
    e = doc.modelspace().add_spline(fit_points=fit_points)
    if tangents:
        e.dxf.start_tangent, e.dxf.end_tangent = tangents
    s = e.construction_tool()
    line("points", [c for p in fit_points for c in p])
    line("tangents", [c for p in (tangents or []) for c in p])
    evaluate(lambda t: list(s.points(t)), params(0.0, 1.0, 23))
    print("end")


ellipse("flat", (10, 20, 3), (5, 2, 0), 0.4, (0, 0, 1), params(0, 2 * math.pi, 13))
ellipse("below", (10, 20, 3), (-3, 4, 0), 0.25, (0, 0, -1), params(0.3, 5.1, 9))
ellipse("tilted", (-4, 7, 1), (2, 0, 2), 0.7, (-1, 0.5, 1), params(-1, 4, 9))

cp = [(0, 0, 0), (10, 20, 1), (30, 25, 2), (45, 5, 0), (60, 10, -1), (70, 40, 3)]
spline("clamped cubic", 3, [0, 0, 0, 0, 0.3, 0.5, 1, 1, 1, 1], [], cp)
spline("clamped quadratic uneven", 2, [2, 2, 2, 3, 3, 7.5, 9, 9, 9], [], cp)
spline("rational cubic", 3, [0, 0, 0, 0, 1, 2, 3, 3, 3, 3],
       [1, 0.5, 2, 1.5, 0.25, 1], cp)
# A quarter circle of radius 10 as a rational quadratic.
w = math.sqrt(0.5)
spline("rational circle", 2, [0, 0, 0, 1, 1, 1], [1, w, 1], [(10, 0, 0), (10, 10, 0), (0, 10, 0)])
# Closed periodic: the first three control points repeated at the end, uniform knots.
ring = [(0, 0, 0), (40, -5, 0), (55, 30, 2), (20, 50, 4), (-15, 25, 1)]
spline("periodic cubic", 3, list(range(len(ring) + 3 + 4)), [], ring + ring[:3])
spline("periodic rational", 3, list(range(len(ring) + 3 + 4)),
       [1, 2, 0.5, 1, 3, 1, 2, 0.5], ring + ring[:3])
spline("linear", 1, [0, 0, 1, 2, 2], [], [(0, 0, 0), (5, 5, 5), (10, 0, 0)])

fit("fit five", [(0, 0, 0), (10, 12, 0), (25, 8, 1), (40, 20, 2), (55, 0, 0)])
fit("fit three", [(100, 200, 0), (130, 260, 0), (170, 240, 0)])
fit("fit eight", [(math.cos(a) * 50, math.sin(a) * 30, a) for a in params(0, 5, 8)])
fit("fit tangents", [(0, 0, 0), (10, 12, 0), (25, 8, 1), (40, 20, 2), (55, 0, 0)],
    [(0, 1, 0), (1, -1, 0)])

# Curves of real drawings, when the shared corpus is at hand.
corpus = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "..",
                      "shared", "testdata", "dxf")
if os.path.isdir(corpus):
    doc = ezdxf.readfile(os.path.join(corpus, "qcad_entities.dxf"))
    splines = [e for block in doc.blocks for e in block.query("SPLINE")]
    for i, e in enumerate(splines):
        stored_spline(f"qcad_entities spline {i + 1}", e)
    msp = recover.readfile(os.path.join(corpus, "gdal_assorted.dxf"))[0].modelspace()
    for i, e in enumerate(msp.query("ELLIPSE")):
        stored_ellipse(f"gdal_assorted ellipse {i + 1}", e)
