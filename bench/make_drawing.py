#!/usr/bin/python3
"""Writes a large, realistic drawing for the benchmarks, with Debian's python3-ezdxf
(run it with /usr/bin/python3).

    make_drawing.py COUNT OUT.dxf
    make_drawing.py blocks OUT.dxf

COUNT entities in model space, in Beijing 1954 Gauss-Krueger plane metres about the
central meridian 114 deg 30 min (114.3 packed): eastings 500 000 m +- 25 km (false
easting included, no zone number), northings around 3 380 000 m. The mix is that of
a survey plan: lines of 50 to 500 m, arcs, circles, lightweight polylines (some with
bulges, some closed), 3D polylines and texts with Chinese content, every entity
ByLayer on one of several coloured layers. The same COUNT always gives the same
entities (a fixed seed); the file is R2018 with UTF-8 text.

`blocks` writes a drawing whose entities sit in blocks: 10 blocks of 20 entities of the
same mix within 100 m of their base point, placed by 2 000 inserts across the same
area, each turned its own way (40 000 entities once exploded)."""
import math
import os
import random
import sys

# ezdxf orders some objects by hash: a fixed seed keeps the bytes the same run to run.
if os.environ.get("PYTHONHASHSEED") != "0":
    os.execve(sys.executable, [sys.executable] + sys.argv, dict(os.environ, PYTHONHASHSEED="0"))

import ezdxf

ezdxf.options.write_fixed_meta_data_for_testing = True

E0, N0 = 500000.0, 3380000.0
SPREAD = 25000.0

# name, colour: a road, a river, buildings, contours, boundaries and annotation.
LAYERS = [("道路", 1), ("水系", 5), ("建筑", 3), ("等高线", 30), ("界线", 6), ("注记", 2),
          ("管线", 140)]

# Share of each kind in the drawing, as a plan of roads and parcels has them.
MIX = [("line", 30), ("arc", 8), ("circle", 6), ("lwpolyline", 30), ("polyline3d", 8),
       ("text", 18)]

WORDS = ["北京路", "长江大道", "控制点", "桥", "幸福小区", "第三中学", "水塔", "泵站",
         "K12+300", "高程", "污水管", "雨水井", "红线", "绿地", "停车场", "东", "南"]


def anchor(rng):
    return (E0 + rng.uniform(-SPREAD, SPREAD), N0 + rng.uniform(-SPREAD, SPREAD))


def add_line(msp, rng, layer):
    x, y = anchor(rng)
    length = rng.uniform(50, 500)
    a = rng.uniform(0, 2 * math.pi)
    z = rng.choice([0.0, 0.0, rng.uniform(20, 80)])
    msp.add_line((x, y, z), (x + length * math.cos(a), y + length * math.sin(a), z),
                 dxfattribs={"layer": layer})


def add_arc(msp, rng, layer):
    x, y = anchor(rng)
    start = rng.uniform(0, 360)
    msp.add_arc((x, y), rng.uniform(5, 200), start, start + rng.uniform(10, 300),
                dxfattribs={"layer": layer})


def add_circle(msp, rng, layer):
    x, y = anchor(rng)
    msp.add_circle((x, y, rng.choice([0.0, rng.uniform(20, 80)])), rng.uniform(1, 60),
                   dxfattribs={"layer": layer})


def add_lwpolyline(msp, rng, layer):
    x, y = anchor(rng)
    points = []
    a = rng.uniform(0, 2 * math.pi)
    bulged = rng.random() < 0.35
    for _ in range(rng.randint(2, 12)):
        bulge = rng.choice([0.0, 0.0, rng.uniform(-0.8, 0.8)]) if bulged else 0.0
        points.append((x, y, bulge))
        step = rng.uniform(5, 120)
        a += rng.uniform(-1.2, 1.2)
        x += step * math.cos(a)
        y += step * math.sin(a)
    pline = msp.add_lwpolyline(points, format="xyb", dxfattribs={"layer": layer})
    pline.closed = rng.random() < 0.3
    if rng.random() < 0.2:
        pline.dxf.elevation = rng.uniform(20, 80)


def add_polyline3d(msp, rng, layer):
    x, y = anchor(rng)
    z = rng.uniform(20, 80)
    points = []
    for _ in range(rng.randint(3, 20)):
        points.append((x, y, z))
        x += rng.uniform(-40, 40)
        y += rng.uniform(-40, 40)
        z += rng.uniform(-2, 2)
    msp.add_polyline3d(points, dxfattribs={"layer": layer})


def add_text(msp, rng, layer):
    x, y = anchor(rng)
    words = rng.sample(WORDS, rng.randint(1, 3))
    text = "".join(words) + str(rng.randint(1, 999))
    msp.add_text(text, dxfattribs={"layer": layer, "insert": (x, y), "height": 2.5})


ADD = {"line": add_line, "arc": add_arc, "circle": add_circle, "lwpolyline": add_lwpolyline,
       "polyline3d": add_polyline3d, "text": add_text}


def fill(space, rng, count):
    kinds = [k for k, _ in MIX]
    weights = [w for _, w in MIX]
    for _ in range(count):
        kind = rng.choices(kinds, weights)[0]
        layer = LAYERS[5][0] if kind == "text" else rng.choice(LAYERS)[0]
        ADD[kind](space, rng, layer)


def blocks(doc, rng):
    global E0, N0, SPREAD
    plane = (E0, N0, SPREAD)
    E0, N0, SPREAD = 0.0, 0.0, 100.0  # block contents about their base point
    for b in range(10):
        fill(doc.blocks.new("B%d" % b), rng, 20)
    E0, N0, SPREAD = plane
    msp = doc.modelspace()
    for _ in range(2000):
        msp.add_blockref("B%d" % rng.randrange(10), anchor(rng),
                         dxfattribs={"rotation": rng.uniform(0, 360),
                                     "layer": rng.choice(LAYERS)[0]})


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_drawing.py COUNT|blocks OUT.dxf")
    out = sys.argv[2]
    doc = ezdxf.new("R2018")
    for name, colour in LAYERS:
        doc.layers.add(name, color=colour)
    if sys.argv[1] == "blocks":
        blocks(doc, random.Random(2000))
    else:
        count = int(sys.argv[1])
        fill(doc.modelspace(), random.Random(count), count)
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    tmp = out + ".part"
    doc.saveas(tmp)
    os.replace(tmp, out)


if __name__ == "__main__":
    main()
