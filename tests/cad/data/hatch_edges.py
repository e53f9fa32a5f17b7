#!/usr/bin/python3
# The boundary paths of every model-space HATCH in the corpus as ezdxf (Debian's
# python3-ezdxf) reads them: per loop "P" and its vertex count for a polyline path,
# or one letter per edge (L line, A arc, E elliptic arc, S spline), and the world
# point where the loop's first edge starts. The oracle of DxfCorpus.HatchBoundaries;
# prints C++ table rows.
#   /usr/bin/python3 hatch_edges.py ../../../../shared/testdata/dxf
import math
import os
import sys

import ezdxf
from ezdxf import recover
from ezdxf.entities import BoundaryPathType, EdgeType
from ezdxf.math import Vec3

LETTER = {EdgeType.LINE: "L", EdgeType.ARC: "A", EdgeType.ELLIPSE: "E", EdgeType.SPLINE: "S"}


def start(hatch, path):
    ocs = hatch.ocs()
    z = hatch.dxf.elevation.z
    if path.type == BoundaryPathType.POLYLINE:
        x, y, _ = path.vertices[0]
        return ocs.to_wcs((x, y, z))
    edge = path.edges[0]
    if edge.type == EdgeType.LINE:
        p = edge.start
    elif edge.type == EdgeType.ARC:
        a = math.radians(edge.start_angle)
        p = (edge.center[0] + edge.radius * math.cos(a), edge.center[1] + edge.radius * math.sin(a))
    elif edge.type == EdgeType.ELLIPSE:
        p = edge.construction_tool().start_point
    else:
        p = (edge.control_points or edge.fit_points)[0]
    return ocs.to_wcs((p[0], p[1], z))


for name in sorted(os.listdir(sys.argv[1])):
    if not name.endswith(".dxf") or "clusterfuzz" in name:
        continue
    try:
        doc = ezdxf.readfile(os.path.join(sys.argv[1], name))
    except Exception:
        doc, _ = recover.readfile(os.path.join(sys.argv[1], name))
    for k, hatch in enumerate(doc.modelspace().query("HATCH")):
        sig = []
        points = []
        for path in hatch.paths:
            if path.type == BoundaryPathType.POLYLINE:
                sig.append("P%d" % len(path.vertices))
            else:
                sig.append("".join(LETTER[e.type] for e in path.edges))
            points.extend(Vec3(start(hatch, path)).xyz)
        print('    {"%s", %d, "%s", {%s}},' % (name, k, " ".join(sig),
                                              ", ".join(repr(v) for v in points)))
