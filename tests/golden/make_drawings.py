#!/usr/bin/python3
"""Writes the drawings and settings of the golden cases: tests/golden/<case>/drawing.dxf
and Varnolt.ini. Run with Debian's python3-ezdxf (/usr/bin/python3); the files are
committed as data, so run it again only when a case changes, then regenerate the
expected KML (VARNOLT_REGENERATE=1 ctest -R golden) and read the diff.

Coordinates are Gauss-Krueger plane metres about the central meridian 114 deg 30 min
(114.3 packed), x easting with the 500 000 m false easting, y northing."""
import math
import os
import sys

# ezdxf orders some objects by hash: a fixed seed keeps the bytes the same run to run.
if os.environ.get("PYTHONHASHSEED") != "0":
    os.execve(sys.executable, [sys.executable] + sys.argv, dict(os.environ, PYTHONHASHSEED="0"))

import ezdxf
from ezdxf.enums import TextEntityAlignment
from ezdxf.math import Vec2
from ezdxf.render import mleader

# Fixed dates and GUIDs, so that running the script again changes no unchanged case.
ezdxf.options.write_fixed_meta_data_for_testing = True

HERE = os.path.dirname(os.path.abspath(__file__))
E0, N0 = 512300.0, 3380400.0  # near the site plan of the examples

# Text1..Text7, Option1, Option2, Check1 as the settings file holds them.
DEFAULTS = ["10", "114.3", "100", "6", "-0.0335", "0.039", "10", "-1", "0", "0"]


def settings(extra="", **changes):
    names = ["Text1", "Text2", "Text3", "Text4", "Text5", "Text6", "Text7",
             "Option1", "Option2", "Check1"]
    values = list(DEFAULTS)
    for key, value in changes.items():
        values[names.index(key)] = value
    return "".join(v + "\r\n" for v in values) + extra


def save(case, doc, ini):
    folder = os.path.join(HERE, case)
    os.makedirs(folder, exist_ok=True)
    doc.saveas(os.path.join(folder, "drawing.dxf"))
    with open(os.path.join(folder, "Varnolt.ini"), "wb") as f:
        f.write(ini.encode("ascii"))


def families():
    # Every family once or more, written in a scrambled order: the output puts
    # polylines, 3D polylines, texts, multiline texts, lines, arcs, circles.
    doc = ezdxf.new("R2018")
    doc.layers.add("道路", color=1)
    msp = doc.modelspace()
    msp.add_text("K12+300", dxfattribs={"insert": (E0 + 100, N0 + 200), "height": 2.5})
    msp.add_line((E0, N0, 0), (E0 + 25, N0, 0), dxfattribs={"color": 1})  # 4 points
    msp.add_point((E0 + 5, N0 + 5))  # not one of the seven families: ignored
    msp.add_lwpolyline([(E0, N0 + 50), (E0 + 25, N0 + 50), (E0 + 25, N0 + 60)],
                       dxfattribs={"color": 3})
    msp.add_circle((E0 + 50, N0 + 50, 5), 10, dxfattribs={"color": 3})
    msp.add_arc((E0 + 80, N0 + 80), 15, 0, 90, dxfattribs={"layer": "道路"})
    msp.add_polyline3d([(E0, N0 + 90, 5), (E0 + 10, N0 + 90, 7), (E0 + 10, N0 + 95, -3)],
                       dxfattribs={"color": 5})
    msp.add_mtext("雨水管线", dxfattribs={"insert": (E0 + 100, N0 + 210, 12),
                                        "char_height": 2, "color": 2})
    msp.add_line((E0, N0 + 100, 0), (E0, N0 + 130, 40))  # sloped, 50 m: z 0,8,..,40
    msp.add_line((E0 + 40, N0, 0), (E0 + 40, N0 + 20, 0))  # exactly 20 m: 3 points
    msp.add_arc((E0 + 90, N0 + 90), 5, 315, 45, dxfattribs={"color": 1})  # through 0
    msp.add_circle((E0 + 60, N0 + 60), 2.5, dxfattribs={"color": 1})
    save("families", doc, settings())


def bulges():
    # One polyline: a quarter circle (chord 30), a clockwise arc (chord 20), a shallow
    # bulge of chord 6 and a straight 25 m run; elevation .5.
    doc = ezdxf.new("R2018")
    msp = doc.modelspace()
    msp.add_lwpolyline(
        [(E0, N0, 0, 0, math.tan(math.pi / 8)), (E0 + 30, N0, 0, 0, -0.5),
         (E0 + 30, N0 + 20, 0, 0, 0.3), (E0 + 36, N0 + 20, 0, 0, 0), (E0 + 61, N0 + 20, 0, 0, 0)],
        format="xyseb", dxfattribs={"elevation": 0.5, "color": 4})
    # Arcs on, Text7 10: the chords 30 and 20 become 101 points, the chord 6 does not.
    save("bulges_arcs_on", doc, settings(Check1="1"))
    # Arcs on, Text7 30: no chord exceeds it (30 itself is not above 30).
    save("bulges_chord_threshold", doc, settings(Check1="1", Text7="30"))
    # Arcs off: every segment straight and densified every 10 m.
    save("bulges_arcs_off", doc, settings(Check1="0"))


def closed():
    doc = ezdxf.new("R2018")
    msp = doc.modelspace()
    # The last vertex's bulge belongs to the closing segment, which stays straight.
    msp.add_lwpolyline([(E0, N0, 0, 0, 0), (E0 + 25, N0, 0, 0, 0), (E0 + 25, N0 + 10, 0, 0, 1)],
                       format="xyseb", close=True)
    msp.add_lwpolyline([(E0 + 50, N0), (E0 + 50, N0 + 12)], close=True, dxfattribs={"color": 2})
    msp.add_lwpolyline([(E0 + 70, N0)], dxfattribs={"color": 2})  # one vertex: no points
    # A closed 3D polyline: its four vertices once each, the first not repeated.
    msp.add_polyline3d([(E0, N0 + 40, 1), (E0 + 10, N0 + 40, 2), (E0 + 10, N0 + 50, 3),
                        (E0, N0 + 50, 4)], close=True, dxfattribs={"color": 3})
    save("closed_polylines", doc, settings(Check1="1"))


def arc_extrusion():
    # The same plan-view arc written twice: once with the normal up, once mirrored
    # through an extrusion of (0, 0, -1) (centre and angles in that OCS).
    doc = ezdxf.new("R2018")
    msp = doc.modelspace()
    cx, cy, r = E0 + 100, N0 + 100, 20.0
    # Normal up: plan-view angles 30 deg to 120 deg.
    msp.add_arc((cx, cy), r, 30, 120, dxfattribs={"color": 1})
    # Extrusion down: the OCS x axis is the WCS -x axis, so OCS angle t is plan-view
    # angle 180 - t. OCS 60..150 draws plan-view 30..120 as well.
    a = msp.add_arc((-cx, cy, 0), r, 60, 150, dxfattribs={"color": 2})
    a.dxf.extrusion = (0, 0, -1)
    c = msp.add_circle((-(cx + 50), cy, -2.5), 5, dxfattribs={"color": 3})
    c.dxf.extrusion = (0, 0, -1)
    save("arc_extrusion", doc, settings())


def texts():
    doc = ezdxf.new("R2018")
    msp = doc.modelspace()
    msp.add_text("左对齐", dxfattribs={"insert": (E0 + 100, N0 + 200), "height": 2.5})
    t = msp.add_text("居中", dxfattribs={"height": 2.5})
    t.set_placement((E0 + 150, N0 + 200), align=TextEntityAlignment.MIDDLE_CENTER)
    t.dxf.insert = (E0 + 147, N0 + 198.75)  # where a CAD host would put the left end
    msp.add_text("A&B <K1+200> \"q\"", dxfattribs={"insert": (E0 + 100, N0 + 220, 7.25),
                                                  "height": 2.5})
    msp.add_mtext("{\\fSimHei|b0|i0|c134|p2;雨水}\\P管径 DN600 \\A1;x",
                  dxfattribs={"insert": (E0 + 100, N0 + 240, 12), "char_height": 2})
    # Longer than 250 characters: stored as group 3 chunks before the group 1 tail.
    long_text = "".join("第%02d段 abc\\P" % i for i in range(1, 40))
    msp.add_mtext(long_text, dxfattribs={"insert": (E0 + 100, N0 + 260), "char_height": 2})
    save("texts", doc, settings())


def gbk_r2000():
    doc = ezdxf.new("R2000")
    # Written as $DWGCODEPAGE ANSI_936 with the texts and layer names in GBK bytes.
    doc.encoding = "gbk"
    doc.layers.add("道路", color=5)
    msp = doc.modelspace()
    msp.add_text("测试文本", dxfattribs={"insert": (E0, N0), "height": 2.5, "layer": "道路"})
    msp.add_mtext("雨水\\P管线", dxfattribs={"insert": (E0, N0 + 10), "char_height": 2,
                                            "layer": "道路"})
    msp.add_line((E0, N0 + 20), (E0 + 15, N0 + 20), dxfattribs={"layer": "道路"})
    save("gbk_r2000", doc, settings())


def utf8_r2018():
    doc = ezdxf.new("R2018")
    doc.layers.add("注记", color=6)
    msp = doc.modelspace()
    msp.add_text("测试文本", dxfattribs={"insert": (E0, N0), "height": 2.5, "layer": "注记"})
    # Hangul and an emoji: outside GBK.
    msp.add_text("한글 😀", dxfattribs={"insert": (E0, N0 + 5), "height": 2.5, "layer": "注记"})
    msp.add_mtext("雨水\\P管线", dxfattribs={"insert": (E0, N0 + 10), "char_height": 2,
                                            "layer": "注记"})
    save("utf8_r2018", doc, settings())


def colours():
    doc = ezdxf.new("R2018")
    doc.layers.add("L5", color=5)
    off = doc.layers.add("OFF", color=3)
    off.off()  # stored as colour -3
    msp = doc.modelspace()
    y = N0
    for attribs in ({"layer": "L5"},                 # ByLayer -> 5
                    {"layer": "L5", "color": 0},     # ByBlock -> 8
                    {"layer": "OFF"},                # ByLayer on a layer that is off -> 3
                    {"color": 248},
                    {"color": 1},
                    {"color": 108},
                    {"color": 1}):                   # repeated colour: one style pair
        msp.add_line((E0, y), (E0 + 5, y), dxfattribs=attribs)
        y += 10
    msp.add_circle((E0 + 20, N0), 3, dxfattribs={"layer": "L5"})
    save("colours_width_half", doc, settings(Text4="0.5"))


def datum():
    # A line and a text on the central meridian: longitude 114.5 + 0.039 / 60.
    doc = ezdxf.new("R2018")
    msp = doc.modelspace()
    msp.add_line((500000, 3380000), (500000, 3380025))
    msp.add_text("中央子午线", dxfattribs={"insert": (500000, 3380100), "height": 2.5})
    msp.add_line((480000, 3395000), (480012, 3395005), dxfattribs={"color": 1})
    save("datum_beijing54", doc, settings(Text4="6"))
    save("datum_xian80", doc, settings(Option1="0", Option2="-1"))


def r12_polyline():
    # Old-style 2D POLYLINE with VERTEX entities: converted as a lightweight polyline.
    doc = ezdxf.new("R12")
    msp = doc.modelspace()
    p = msp.add_polyline2d([(E0, N0, 0, 0, 0.25), (E0 + 30, N0, 0, 0, 0), (E0 + 30, N0 + 15)],
                           format="xyseb", close=True, dxfattribs={"color": 1})
    p.dxf.elevation = (0, 0, 2)
    msp.add_polyline3d([(E0, N0 + 40, 1.5), (E0 + 20, N0 + 40, 2.5)], dxfattribs={"color": 3})
    msp.add_line((E0, N0 + 60), (E0 + 10, N0 + 60))
    save("r12_polyline", doc, settings(Check1="1"))


def layout():
    # Folders by layer in the layer table's order (not the order the entities come
    # in), ExtendedData on each Placemark, and the altitude clamped to the ground.
    doc = ezdxf.new("R2018")
    doc.layers.add("道路", color=1)
    doc.layers.add("管线", color=5)
    msp = doc.modelspace()
    msp.add_line((E0, N0, 0), (E0 + 5, N0, 0), dxfattribs={"layer": "管线"})
    msp.add_circle((E0 + 20, N0 + 20), 2, dxfattribs={"layer": "道路", "color": 3})
    msp.add_text("A&B", dxfattribs={"insert": (E0 + 30, N0 + 30), "layer": "管线"})
    msp.add_lwpolyline([(E0, N0 + 10), (E0 + 4, N0 + 10)])
    msp.add_line((E0, N0 + 40, 2), (E0 + 3, N0 + 40, 2), dxfattribs={"layer": "道路"})
    save("layout_folders_attributes", doc,
         settings(extra="folders=layer\r\nattributes=yes\r\naltitude=clamp\r\n"))


def kinds():
    # One case per kind beyond the seven families, each read only when included.
    # Block references: a tree of a ByBlock circle, a line on layer 0 and an
    # attribute; one insert turned 30 deg at twice the size, one mirrored, and a
    # 2 x 2 grid of a block that nests the tree; a dimension drawn from its block
    # (its arrowheads are solids and its definition points points: left out).
    doc = ezdxf.new("R2018")
    doc.layers.add("树", color=3)
    tree = doc.blocks.new("TREE", base_point=(1, 0))
    tree.add_circle((1, 0), 1, dxfattribs={"color": 0})
    tree.add_line((1, -1), (1, 1))
    tree.add_attdef("NO", (1.5, 0), dxfattribs={"height": 0.5})
    pair = doc.blocks.new("PAIR")
    pair.add_blockref("TREE", (0, 0))
    pair.add_blockref("TREE", (5, 0), dxfattribs={"rotation": 90})
    msp = doc.modelspace()
    t1 = msp.add_blockref("TREE", (E0, N0), dxfattribs={
        "layer": "树", "color": 1, "rotation": 30, "xscale": 2, "yscale": 2})
    t1.add_auto_attribs({"NO": "T-01"})
    msp.add_blockref("TREE", (E0 + 20, N0), dxfattribs={"xscale": -1, "layer": "树"})
    grid = msp.add_blockref("PAIR", (E0, N0 + 20), dxfattribs={"color": 5})
    grid.dxf.column_count, grid.dxf.row_count = 2, 2
    grid.dxf.column_spacing, grid.dxf.row_spacing = 12, 8
    msp.add_linear_dim(base=(E0, N0 - 5), p1=(E0, N0 - 10), p2=(E0 + 20, N0 - 10)).render()
    save("kinds_blocks", doc, settings(extra="include=blocks\r\n"))

    doc = ezdxf.new("R2018")
    msp = doc.modelspace()
    msp.add_point((E0, N0, 12.5), dxfattribs={"color": 1})
    msp.add_point((E0 + 10, N0 + 5))
    save("kinds_points", doc, settings(extra="include=points\r\n"))

    doc = ezdxf.new("R2018")
    msp = doc.modelspace()
    msp.add_ellipse((E0, N0, 3), major_axis=(20, 10, 0), ratio=0.4, dxfattribs={"color": 2})
    msp.add_ellipse((E0 + 50, N0), major_axis=(0, 15, 0), ratio=0.5,
                    start_param=0, end_param=math.pi)
    e = msp.add_ellipse((E0 + 80, N0), major_axis=(-10, 0, 0), ratio=0.3,
                        start_param=0.5, end_param=2.0)
    e.dxf.extrusion = (0, 0, -1)
    save("kinds_ellipses", doc, settings(extra="include=ellipses\r\n"))

    # Splines: a clamped cubic by control points, one through fit points with its
    # end tangents, a rational quarter circle of radius 100.
    doc = ezdxf.new("R2018")
    msp = doc.modelspace()
    msp.add_open_spline([(E0, N0), (E0 + 30, N0 + 40), (E0 + 60, N0 - 20), (E0 + 90, N0 + 10),
                         (E0 + 120, N0)], degree=3, dxfattribs={"color": 4})
    fit = msp.add_spline([(E0, N0 + 100), (E0 + 40, N0 + 130), (E0 + 80, N0 + 90),
                          (E0 + 120, N0 + 110)])
    fit.dxf.start_tangent = (1, 1, 0)
    fit.dxf.end_tangent = (1, 0, 0)
    w = math.sqrt(0.5)
    msp.add_rational_spline([(E0 + 200, N0), (E0 + 200, N0 + 100), (E0 + 100, N0 + 100)],
                            [1, w, 1], degree=2)
    save("kinds_splines", doc, settings(extra="include=splines\r\n"))

    # Fitted 2D polylines: a curve-fit one keeps every vertex; a spline-fit one keeps
    # the curve's vertices (flag 8) and drops its frame (flag 16).
    doc = ezdxf.new("R12")
    msp = doc.modelspace()
    curve = msp.add_polyline2d([(E0, N0), (E0 + 5, N0 + 8), (E0 + 10, N0 + 10), (E0 + 20, N0)],
                               dxfattribs={"color": 6})
    curve.dxf.flags = 2
    for v in curve.vertices[1::2]:
        v.dxf.flags = 1
    spline = msp.add_polyline2d([(E0, N0 + 30), (E0 + 20, N0 + 50), (E0 + 40, N0 + 30),
                                 (E0, N0 + 30), (E0 + 10, N0 + 38), (E0 + 20, N0 + 41),
                                 (E0 + 30, N0 + 38), (E0 + 40, N0 + 30)])
    spline.dxf.flags = 4
    for k, v in enumerate(spline.vertices):
        v.dxf.flags = 16 if k < 3 else 8
    save("kinds_fitted", doc, settings(extra="include=fitted\r\n"))

    # Hatches: a 40 x 30 area with a bulged edge and a round hole (an arc edge), and
    # beside it a hatch of two separate triangles: two outer boundaries.
    doc = ezdxf.new("R2018")
    msp = doc.modelspace()
    h = msp.add_hatch(color=3)
    h.paths.add_polyline_path([(E0, N0, 0), (E0 + 40, N0, 0.5), (E0 + 40, N0 + 30, 0),
                               (E0, N0 + 30, 0)], is_closed=True, flags=1)
    hole = h.paths.add_edge_path(flags=16)
    hole.add_arc((E0 + 15, N0 + 15), 5, 0, 360)
    h2 = msp.add_hatch(color=1)
    for dx in (0, 20):
        tri = h2.paths.add_edge_path(flags=1)
        tri.add_line((E0 + 60 + dx, N0), (E0 + 70 + dx, N0))
        tri.add_line((E0 + 70 + dx, N0), (E0 + 65 + dx, N0 + 8))
        tri.add_line((E0 + 65 + dx, N0 + 8), (E0 + 60 + dx, N0))
    save("kinds_hatches", doc, settings(extra="include=hatches\r\n"))

    # Solids (the third and fourth corners stored crosswise), a trace, a triangular
    # 3D face; and with --polygons a closed polyline and a circle as polygons too.
    doc = ezdxf.new("R2018")
    msp = doc.modelspace()
    msp.add_solid([(E0, N0), (E0 + 10, N0), (E0, N0 + 10), (E0 + 10, N0 + 10)],
                  dxfattribs={"color": 1})
    msp.add_trace([(E0 + 20, N0), (E0 + 30, N0), (E0 + 20, N0 + 2), (E0 + 30, N0 + 2)])
    msp.add_3dface([(E0 + 40, N0, 1), (E0 + 50, N0, 2), (E0 + 45, N0 + 8, 3)],
                   dxfattribs={"color": 5})
    msp.add_lwpolyline([(E0, N0 + 20), (E0 + 10, N0 + 20), (E0 + 10, N0 + 30)], close=True,
                       dxfattribs={"color": 5})
    msp.add_circle((E0 + 30, N0 + 25), 5)
    save("kinds_solids_polygons", doc,
         settings(extra="include=solids\r\npolygons=yes\r\n"))


def outlines():
    # Meshes (a polyface of a floor, a wall and a roof triangle; a 3 x 3 polygon mesh),
    # a leader, a multileader with two leader lines and its text (named as CAD shows
    # it), an image clipped by a polygon and a wipeout.
    doc = ezdxf.new("R2018")
    msp = doc.modelspace()
    face = msp.add_polyface(dxfattribs={"color": 3})
    face.append_face([(E0, N0, 0), (E0 + 10, N0, 0), (E0 + 10, N0 + 8, 0), (E0, N0 + 8, 0)])
    face.append_face([(E0, N0, 0), (E0 + 10, N0, 0), (E0 + 10, N0, 5), (E0, N0, 5)])
    face.append_face([(E0, N0 + 8, 5), (E0 + 10, N0 + 8, 5), (E0 + 5, N0 + 4, 9)])
    face.optimize()
    grid = msp.add_polymesh(size=(3, 3), dxfattribs={"color": 5})
    for i in range(3):
        for j in range(3):
            grid.set_mesh_vertex((i, j), (E0 + 20 + 5 * j, N0 + 5 * i, i + j))
    msp.add_leader([(E0 + 40, N0), (E0 + 50, N0 + 8), (E0 + 58, N0 + 8)],
                   dxfattribs={"color": 1})
    ml = msp.add_multileader_mtext("Standard")
    ml.set_content("{\\fSimSun|b0;井}\\PK12+300 %%c600", char_height=2.5)
    ml.add_leader_line(mleader.ConnectionSide.left, [Vec2(E0 + 60, N0 - 10)])
    ml.add_leader_line(mleader.ConnectionSide.left, [Vec2(E0 + 62, N0 + 12)])
    ml.build(insert=Vec2(E0 + 75, N0))
    image_def = doc.add_image_def(filename="site.png", size_in_pixel=(320, 200))
    image = msp.add_image(image_def, insert=(E0, N0 + 30), size_in_units=(32, 20),
                          rotation=10)
    image.set_boundary_path([(10, 10), (300, 20), (250, 190), (30, 170)])
    msp.add_wipeout([(E0 + 40, N0 + 30), (E0 + 60, N0 + 32), (E0 + 50, N0 + 45)])
    save("kinds_outlines", doc,
         settings(extra="include=meshes,leaders,frames\r\nplain_text=yes\r\n"))


def cli_data():
    # For the command line's tests: a drawing with nothing the converter takes.
    doc = ezdxf.new("R2018")
    doc.modelspace().add_point((E0, N0))
    folder = os.path.join(HERE, "..", "cli", "data")
    os.makedirs(folder, exist_ok=True)
    doc.saveas(os.path.join(folder, "point_only.dxf"))


if __name__ == "__main__":
    families()
    bulges()
    closed()
    arc_extrusion()
    texts()
    gbk_r2000()
    utf8_r2018()
    colours()
    datum()
    r12_polyline()
    layout()
    kinds()
    outlines()
    cli_data()
