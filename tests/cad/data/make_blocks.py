#!/usr/bin/python3
# Writes blocks.dxf, nested block references of every kind, and blocks_expected.txt:
# what ezdxf (Debian's python3-ezdxf, an independent DXF library) places in world
# coordinates when it explodes them, one entity a line in the order exploded.
# Run by hand from this folder; both files are committed.
#   /usr/bin/python3 make_blocks.py
import math

import ezdxf
from ezdxf.math import OCS, Vec3

doc = ezdxf.new("R2010")
doc.layers.add("WALL", color=2)
doc.layers.add("SITE", color=5)

leaf = doc.blocks.new("LEAF", base_point=(1, 2, 0))
leaf.add_line((0, 0, 0), (10, 5, 1), dxfattribs={"color": 0})
leaf.add_arc((3, 4, 0), 2.5, 20, 250)
leaf.add_circle((-2, 1, 0), 1.5, dxfattribs={"layer": "WALL"})
leaf.add_lwpolyline([(0, 0, 0.5), (4, 0, 0), (4, 3, -0.3), (0, 3, 0)], format="xyb",
                    dxfattribs={"elevation": 2, "closed": True})
leaf.add_text("T", dxfattribs={"insert": (1, 1, 0), "height": 0.7, "rotation": 30})
leaf.add_ellipse((5, 5, 0), major_axis=(3, 1, 0), ratio=0.4, start_param=0.3, end_param=4)
leaf.add_point((7, -1, 0.5))
leaf.add_solid([(0, 0), (2, 0), (0, 2), (2, 2)])
leaf.add_spline([(0, 0, 0), (2, 3, 0), (5, 1, 1), (8, 4, 0)])
hatch = leaf.add_hatch()
hatch.paths.add_polyline_path([(0, 0, 0.2), (6, 0, 0), (6, 4, 0), (0, 4, 0)], is_closed=True)
edges = hatch.paths.add_edge_path()
edges.add_line((1, 1), (3, 1))
edges.add_arc((2, 1), 1, 0, 180)
leaf.add_attdef("NAME", (0, -2), dxfattribs={"height": 0.5})

mid = doc.blocks.new("MID", base_point=(-3, 0, 0))
mid.add_line((0, 0, 0), (1, 1, 0))
mid.add_blockref("LEAF", (5, 5, 0), dxfattribs={"rotation": 40, "xscale": 2, "yscale": 0.5})

top = doc.blocks.new("TOP")
top.add_circle((0, 0, 0), 4)
top.add_blockref("MID", (20, -10, 3), dxfattribs={
    "extrusion": (0, 0, -1), "xscale": -1.5, "yscale": -1.5, "zscale": 1.5, "rotation": 15})

msp = doc.modelspace()
msp.add_blockref("TOP", (1000, 2000, 0), dxfattribs={"rotation": 33, "layer": "SITE"})
msp.add_blockref("LEAF", (50, 60, 0), dxfattribs={"xscale": -2, "yscale": 3})
msp.add_blockref("LEAF", (-50, 60, 4), dxfattribs={"extrusion": (0, 0, -1), "rotation": 70})
msp.add_blockref("LEAF", (5, 5, 0), dxfattribs={"extrusion": (0.3, -0.4, 0.8), "xscale": 0.5,
                                                   "yscale": 0.5, "zscale": 0.5})
ref = msp.add_blockref("LEAF", (300, 400, 0), dxfattribs={"rotation": 25, "xscale": 1.25,
                                                           "yscale": 1.25})
ref.add_attrib("NAME", "马路", (300, 398, 0), dxfattribs={"height": 0.6, "rotation": 25})
multi = msp.add_blockref("LEAF", (-700, -800, 0), dxfattribs={"rotation": 60})
multi.grid(size=(2, 3), spacing=(15, 25))
doc.saveas("blocks.dxf")


def fmt(*values):
    out = []
    for v in values:
        if isinstance(v, (tuple, list, Vec3)):
            out.extend(repr(float(c)) for c in v)
        else:
            out.append(repr(float(v)))
    return " ".join(out)


def describe(e):
    t = e.dxftype()
    if t == "LINE":
        return "LINE " + fmt(e.dxf.start, e.dxf.end)
    if t == "ARC":
        return "ARC " + fmt(e.dxf.radius, e.start_point, e.end_point, mid_arc(e))
    if t == "CIRCLE":
        return "CIRCLE " + fmt(OCS(e.dxf.extrusion).to_wcs(e.dxf.center), e.dxf.radius)
    if t == "ELLIPSE":
        tool = e.construction_tool()
        s, t1 = tool.start_param, tool.end_param
        span = (t1 - s) % (2 * math.pi) or 2 * math.pi
        middle = list(tool.vertices([s + span / 2]))[0]
        # The ends in either order: an ellipse may be kept with the opposite normal.
        ends = sorted([tuple(e.start_point), tuple(e.end_point)])
        return "ELLIPSE " + fmt(e.dxf.center, tool.major_axis.magnitude, tool.ratio,
                                *ends, middle)
    if t == "LWPOLYLINE":
        ocs = e.ocs()
        pts = e.get_points("xyb")
        values = []
        for k, (x, y, b) in enumerate(pts):
            values.append(ocs.to_wcs((x, y, e.dxf.elevation)))
            if k + 1 < len(pts) or e.closed:
                x2, y2, _ = pts[(k + 1) % len(pts)]
                dx, dy = x2 - x, y2 - y
                mx, my = (x + x2) / 2 + dy * b / 2, (y + y2) / 2 - dx * b / 2
                values.append(ocs.to_wcs((mx, my, e.dxf.elevation)))
        return "LWPOLYLINE " + fmt(*values)
    if t == "TEXT":
        ocs = e.ocs()
        return "TEXT " + fmt(ocs.to_wcs(e.dxf.insert), e.dxf.height)
    if t == "POINT":
        return "POINT " + fmt(e.dxf.location)
    if t == "SOLID":
        return "SOLID " + fmt(*e.wcs_vertices())
    if t == "SPLINE":
        return "SPLINE " + fmt(*(e.control_points or e.fit_points))
    if t == "HATCH":
        ocs = e.ocs()
        z = e.dxf.elevation.z
        values = []
        for path in e.paths:
            if path.type == ezdxf.entities.BoundaryPathType.POLYLINE:
                values.extend(ocs.to_wcs((x, y, z)) for x, y, _ in path.vertices)
            else:
                for edge in path.edges:
                    if edge.type == ezdxf.entities.EdgeType.LINE:
                        ends = [edge.start, edge.end]
                    elif edge.type == ezdxf.entities.EdgeType.ARC:
                        ends = [(edge.center[0] + edge.radius * math.cos(math.radians(a)),
                                 edge.center[1] + edge.radius * math.sin(math.radians(a)))
                                for a in (edge.start_angle, edge.end_angle)]
                    elif edge.type == ezdxf.entities.EdgeType.ELLIPSE:
                        tool = edge.construction_tool()
                        ends = [tool.start_point, tool.end_point]
                    else:
                        continue
                    ends = [tuple(ocs.to_wcs((p[0], p[1], z))) for p in ends]
                    # Curved ends in either order: an arc may be kept the other way round.
                    if edge.type != ezdxf.entities.EdgeType.LINE:
                        ends.sort()
                    values.extend(ends)
        return "HATCH " + fmt(*values)
    raise ValueError(t)


def mid_arc(e):
    tool = e.construction_tool()
    span = (tool.end_angle - tool.start_angle) % 360
    angle = math.radians(tool.start_angle + span / 2)
    local = (e.dxf.center[0] + e.dxf.radius * math.cos(angle),
             e.dxf.center[1] + e.dxf.radius * math.sin(angle), e.dxf.center[2])
    return OCS(e.dxf.extrusion).to_wcs(local)


def explode(ref, lines):
    for ins in (ref.multi_insert() if ref.mcount > 1 else [ref]):
        for v in ins.virtual_entities():
            if v.dxftype() == "INSERT":
                explode(v, lines)
            else:
                lines.append(describe(v))
        for a in ins.attribs:
            lines.append("TEXT " + fmt(a.ocs().to_wcs(a.dxf.insert), a.dxf.height))


lines = []
for e in msp:
    explode(e, lines)
with open("blocks_expected.txt", "w") as f:
    f.write("\n".join(lines) + "\n")
