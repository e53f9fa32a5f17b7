#!/usr/bin/python3
# Writes outlines.dxf, meshes, leaders, a multileader, an image and a wipeout (in
# model space and again inside a rotated, scaled block), and outlines_expected.txt:
# what ezdxf (Debian's python3-ezdxf, an independent DXF library) reads of them in
# world coordinates, one item a line:
#   FACE k x y z ...    a face of entity k, its distinct corners sorted
#   LINE k x y z ...    a line of entity k in its order (leaders as ezdxf draws them,
#                       frames closed on their first corner)
#   TEXT k x y z text   the text of a multileader, at its location
# k counts the entities in the order our reader hands them over (a multileader's
# text right after its lines). Run by hand from this folder; both files are committed.
#   /usr/bin/python3 make_outlines.py
import math

import ezdxf
from ezdxf.math import Matrix44, Vec2, Vec3
from ezdxf.render import MeshBuilder
from ezdxf.render.mleader import ConnectionSide

E0, N0 = 500000.0, 3380000.0

doc = ezdxf.new("R2018")


def polyface(layout, base):
    p = layout.add_polyface()
    x, y = base
    # A box's bottom, one wall and a triangle on top; the wall stands vertical.
    p.append_face([(x, y, 0), (x + 10, y, 0), (x + 10, y + 8, 0), (x, y + 8, 0)])
    p.append_face([(x, y, 0), (x + 10, y, 0), (x + 10, y, 5), (x, y, 5)])
    p.append_face([(x, y + 8, 5), (x + 10, y + 8, 5), (x + 5, y + 4, 9)])
    p.optimize()
    return p


def polymesh(layout, base):
    m = layout.add_polymesh(size=(3, 4))
    x, y = base
    for i in range(3):
        for j in range(4):
            m.set_mesh_vertex((i, j), (x + 6 * j, y + 5 * i, (i * j) % 3))
    return m


def leader(layout, base):
    x, y = base
    return layout.add_leader([(x, y, 0), (x + 12, y + 9, 0), (x + 20, y + 9, 0)])


def multileader(layout, base):
    x, y = base
    ml = layout.add_multileader_mtext("Standard")
    ml.set_content("{\\fSimSun|b0;测站}\\P K12+300", char_height=2.5)
    ml.add_leader_line(ConnectionSide.left, [Vec2(x - 20, y - 15)])
    ml.add_leader_line(ConnectionSide.left, [Vec2(x - 25, y + 10), Vec2(x - 15, y + 12)])
    ml.build(insert=Vec2(x, y))
    return ml.multileader


image_def = doc.add_image_def(filename="site.png", size_in_pixel=(640, 360))


def image(layout, base, clipped):
    x, y = base
    img = layout.add_image(image_def, insert=(x, y, 0), size_in_units=(64, 36), rotation=20)
    if clipped:
        img.set_boundary_path([(40, 30), (600, 20), (500, 340), (100, 300)])
    return img


def wipeout(layout, base):
    x, y = base
    return layout.add_wipeout([(x, y), (x + 30, y + 4), (x + 22, y + 25), (x + 3, y + 18)])


def fill(layout, x, y):
    polyface(layout, (x, y))
    polymesh(layout, (x + 40, y))
    leader(layout, (x + 80, y))
    multileader(layout, (x + 160, y + 40))
    image(layout, (x, y + 100), False)
    image(layout, (x + 100, y + 100), True)
    wipeout(layout, (x + 200, y + 100))


block = doc.blocks.new("OUT", base_point=(5, 5, 0))
fill(block, 0, 0)
msp = doc.modelspace()
fill(msp, E0, N0)
msp.add_blockref("OUT", (E0 + 400, N0 + 300, 0),
                 dxfattribs={"rotation": 30, "xscale": 2, "yscale": 2, "zscale": 2})
doc.saveas("outlines.dxf")


def fmt(points):
    return " ".join(repr(float(c)) for p in points for c in Vec3(p))


def faces(k, entity, m):
    mesh = MeshBuilder.from_polyface(entity)
    for face in mesh.faces:
        corners = sorted({tuple(m.transform(mesh.vertices[i])) for i in face})
        if len(corners) >= 3:
            yield f"FACE {k} {fmt(corners)}"


def lines(k, e, m):
    t = e.dxftype()
    if t == "LEADER":
        yield f"LINE {k} {fmt(m.transform_vertices(e.vertices))}"
    elif t in ("IMAGE", "WIPEOUT"):
        yield f"LINE {k} {fmt(m.transform_vertices(e.boundary_path_wcs()))}"
    elif t == "MULTILEADER":
        # ezdxf draws each leader line as an arrow (a block reference at its tip) and
        # straight segments on from where the arrow ends: the tip, then each
        # segment's end.
        drawn = []
        for v in e.virtual_entities():
            if v.dxftype() == "INSERT":
                drawn.append([v.dxf.insert])
            elif v.dxftype() == "LINE" and drawn and drawn[-1][-1] != v.dxf.end:
                drawn[-1].append(v.dxf.end)
        for points in drawn:
            yield f"LINE {k} {fmt(m.transform_vertices(points))}"
        ctx = e.context
        yield f"TEXT {k + 1} {fmt([m.transform(ctx.mtext.insert)])} {ctx.mtext.default_content}"


out = []


def describe(entities, m):
    k = len(out_entities)
    for e in entities:
        k = len(out_entities)
        if e.dxftype() == "POLYLINE":
            out.extend(faces(k, e, m))
        else:
            out.extend(lines(k, e, m))
        out_entities.append(e)
        if e.dxftype() == "MULTILEADER":
            out_entities.append(e)  # its text follows as an entity of its own


out_entities = []
describe([e for e in msp if e.dxftype() != "INSERT"], Matrix44())
ref = next(e for e in msp if e.dxftype() == "INSERT")
describe(list(block), ref.matrix44())
with open("outlines_expected.txt", "w", encoding="utf-8") as f:
    f.write("\n".join(out) + "\n")
