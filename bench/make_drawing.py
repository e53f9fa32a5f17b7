#!/usr/bin/python3
"""Writes a large, realistic drawing for the benchmarks, with Debian's python3-ezdxf
(run it with /usr/bin/python3).

    make_drawing.py [--stream] COUNT|dense20k|blocks OUT.dxf
    make_drawing.py --check COUNT|dense20k

COUNT entities in model space, in Beijing 1954 Gauss-Krueger plane metres about the
central meridian 114 deg 30 min (114.3 packed): eastings 500 000 m +- 25 km (false
easting included, no zone number), northings around 3 380 000 m. The mix is that of
a survey plan: lines of 50 to 500 m, arcs, circles, lightweight polylines (some with
bulges, some closed), 3D polylines and texts with Chinese content, every entity
ByLayer on one of several coloured layers. The same COUNT always gives the same
entities (a fixed seed); the file is R2018 with UTF-8 text.

`dense20k` writes the drawing of issue 16, heavy in points rather than in entities:
20 000 entities on the same plane and layers, a third each of lines 50 to 500 m long,
circles of 5 to 200 m radius and lightweight polylines of 3 to 12 vertices whose
segments are 50 to 420 m long (30 % closed, no bulges, everything at z = 0). Cut every
10 m, a line gives about 29 points, a circle 101 and a polyline about 200, so the
drawing converts to about 2.2 million points, about 100 MB of KML.

`blocks` writes a drawing whose entities sit in blocks: 10 blocks of 20 entities of the
same mix within 100 m of their base point, placed by 2 000 inserts across the same
area, each turned its own way (40 000 entities once exploded).

Above 200 000 entities (or with --stream) the entities are not built in ezdxf, which
holds each as Python objects (100k: 12 s and 190 MB, so a million would take minutes
and about 2 GB): ezdxf writes the drawing without them, and the ENTITIES section is
written as it is drawn, tag for tag as ezdxf writes it, with the handles ezdxf would
give (1m: 20 s, 43 MB). --check writes a drawing both ways and fails unless the bytes
agree."""
import io
import math
import os
import random
import shutil
import sys
import tempfile

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


def walk(rng, count, shortest, longest, bulges):
    """Vertices (x, y, bulge) of a winding polyline from an anchor. bulges() is called
    once, after the start direction is drawn, and gives what draws each vertex's
    bulge: the random numbers come in the order the drawings have always used."""
    x, y = anchor(rng)
    points = []
    a = rng.uniform(0, 2 * math.pi)
    bulge = bulges()
    for _ in range(rng.randint(*count)):
        points.append((x, y, bulge()))
        step = rng.uniform(shortest, longest)
        a += rng.uniform(-1.2, 1.2)
        x += step * math.cos(a)
        y += step * math.sin(a)
    return points


def add_lwpolyline(msp, rng, layer):
    def bulges():
        bulged = rng.random() < 0.35
        return lambda: rng.choice([0.0, 0.0, rng.uniform(-0.8, 0.8)]) if bulged else 0.0
    points = walk(rng, (2, 12), 5, 120, bulges)
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



# The drawing of issue 16: a third each of lines, circles and polylines, all at z = 0.
DENSE_MIX = [("line", 1), ("circle", 1), ("lwpolyline", 1)]


def add_dense_line(msp, rng, layer):
    x, y = anchor(rng)
    length = rng.uniform(50, 500)
    a = rng.uniform(0, 2 * math.pi)
    msp.add_line((x, y, 0.0), (x + length * math.cos(a), y + length * math.sin(a), 0.0),
                 dxfattribs={"layer": layer})


def add_dense_circle(msp, rng, layer):
    msp.add_circle(anchor(rng), rng.uniform(5, 200), dxfattribs={"layer": layer})


def add_dense_lwpolyline(msp, rng, layer):
    points = walk(rng, (3, 12), 50, 420, lambda: lambda: 0.0)
    pline = msp.add_lwpolyline(points, format="xyb", dxfattribs={"layer": layer})
    pline.closed = rng.random() < 0.3

ADD = {"line": add_line, "arc": add_arc, "circle": add_circle, "lwpolyline": add_lwpolyline,
       "polyline3d": add_polyline3d, "text": add_text}
DENSE_ADD = {"line": add_dense_line, "circle": add_dense_circle,
             "lwpolyline": add_dense_lwpolyline}


def fill(space, rng, count, mix=MIX, add=ADD):
    kinds = [k for k, _ in mix]
    weights = [w for _, w in mix]
    for _ in range(count):
        kind = rng.choices(kinds, weights)[0]
        layer = LAYERS[5][0] if kind == "text" else rng.choice(LAYERS)[0]
        add[kind](space, rng, layer)


def tag(code, value):
    """One group pair as ezdxf writes it: the code right-aligned in three columns,
    floats as Python's shortest round-trip text."""
    return "%3d\n%s\n" % (code, value)


class _Attribs:
    elevation = None


class _PendingPolyline:
    """What add_lwpolyline hands back: the generator sets closed and elevation after
    adding, so the polyline is written when the next entity comes."""

    def __init__(self, head, points):
        self.head = head
        self.points = points
        self.closed = False
        self.dxf = _Attribs()


class StreamSpace:
    """Model space that writes each entity's tags at once instead of keeping it, with
    the add_* calls of an ezdxf layout that the generator makes."""

    def __init__(self, out, first_handle, owner):
        self.out = out
        self.handle = first_handle
        self.owner = owner
        self.parts = []
        self.pending = None

    def _next_handle(self):
        h = self.handle
        self.handle += 1
        return h

    def _head(self, kind, handle, layer):
        return "".join((tag(0, kind), tag(5, "%X" % handle), tag(330, self.owner),
                        tag(100, "AcDbEntity"), tag(8, layer)))

    def _emit(self, text):
        self.parts.append(text)
        if len(self.parts) >= 4096:
            self.out.write("".join(self.parts))
            self.parts.clear()

    def _flush_pending(self):
        p = self.pending
        if p is None:
            return
        self.pending = None
        tags = [p.head, tag(100, "AcDbPolyline"), tag(90, len(p.points)),
                tag(70, 1 if p.closed else 0)]
        if p.dxf.elevation is not None:
            tags.append(tag(38, float(p.dxf.elevation)))
        for x, y, b in p.points:
            tags.append(tag(10, float(x)))
            tags.append(tag(20, float(y)))
            if b:
                tags.append(tag(42, float(b)))
        self._emit("".join(tags))

    def _entity(self, kind, dxfattribs):
        self._flush_pending()
        return self._head(kind, self._next_handle(), dxfattribs["layer"])

    @staticmethod
    def _xyz(code, p):
        z = p[2] if len(p) > 2 else 0.0
        return tag(code, float(p[0])) + tag(code + 10, float(p[1])) + tag(code + 20, float(z))

    def add_line(self, start, end, dxfattribs):
        head = self._entity("LINE", dxfattribs)
        self._emit(head + tag(100, "AcDbLine") + self._xyz(10, start) + self._xyz(11, end))

    def add_arc(self, center, radius, start, end, dxfattribs):
        head = self._entity("ARC", dxfattribs)
        self._emit(head + tag(100, "AcDbCircle") + self._xyz(10, center)
                   + tag(40, float(radius)) + tag(100, "AcDbArc") + tag(50, float(start))
                   + tag(51, float(end)))

    def add_circle(self, center, radius, dxfattribs):
        head = self._entity("CIRCLE", dxfattribs)
        self._emit(head + tag(100, "AcDbCircle") + self._xyz(10, center)
                   + tag(40, float(radius)))

    def add_lwpolyline(self, points, format, dxfattribs):
        assert format == "xyb"
        head = self._entity("LWPOLYLINE", dxfattribs)
        self.pending = _PendingPolyline(head, points)
        return self.pending

    def add_polyline3d(self, points, dxfattribs):
        # ezdxf numbers the SEQEND right after the POLYLINE, then the vertices.
        layer = dxfattribs["layer"]
        head = self._entity("POLYLINE", dxfattribs)
        seqend = self._next_handle()
        tags = [head, tag(100, "AcDb3dPolyline"), tag(66, 1), tag(10, 0.0), tag(20, 0.0),
                tag(30, 0.0), tag(70, 8)]
        for p in points:
            tags += [self._head("VERTEX", self._next_handle(), layer), tag(100, "AcDbVertex"),
                     tag(100, "AcDb3dPolylineVertex"), self._xyz(10, p), tag(70, 32)]
        tags.append(self._head("SEQEND", seqend, layer))
        self._emit("".join(tags))

    def add_text(self, text, dxfattribs):
        head = self._entity("TEXT", dxfattribs)
        self._emit(head + tag(100, "AcDbText") + self._xyz(10, dxfattribs["insert"])
                   + tag(40, float(dxfattribs["height"])) + tag(1, text)
                   + tag(100, "AcDbText"))

    def close(self):
        self._flush_pending()
        self.out.write("".join(self.parts))
        self.parts.clear()


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


class HandleCounter:
    """Model space that only counts the handles its entities would take."""

    def __init__(self):
        self.handles = 0

    def _one(self, *args, **kw):
        self.handles += 1
        return _PendingPolyline("", ())

    add_line = add_arc = add_circle = add_lwpolyline = add_text = _one

    def add_polyline3d(self, points, dxfattribs):
        self.handles += 2 + len(points)  # the POLYLINE, its SEQEND and the vertices


STREAM_ABOVE = 200000
ENTITIES = "  0\nSECTION\n  2\nENTITIES\n"
ENDSEC = "  0\nENDSEC\n"


def new_document():
    doc = ezdxf.new("R2018")
    for name, colour in LAYERS:
        doc.layers.add(name, color=colour)
    return doc


def plan(kind):
    """Entity count, seed, mix and add functions of a drawing kind."""
    if kind == "dense20k":
        return 20000, "dense20k", DENSE_MIX, DENSE_ADD
    count = int(kind)
    return count, count, MIX, ADD


def write_ezdxf(kind, out):
    doc = new_document()
    if kind == "blocks":
        blocks(doc, random.Random(2000))
    else:
        count, seed, mix, add = plan(kind)
        fill(doc.modelspace(), random.Random(seed), count, mix, add)
    doc.saveas(out)


def write_streamed(kind, out):
    """The drawing ezdxf would write, with the entities written as they are drawn."""
    count, seed, mix, add = plan(kind)
    doc = new_document()
    owner = doc.modelspace().layout_key
    first = int(str(doc.entitydb.handles), 16)
    # ezdxf adds a few table entries while saving, numbered after the entities: a
    # first pass draws the same entities only to count their handles.
    counter = HandleCounter()
    fill(counter, random.Random(seed), count, mix, add)
    doc.entitydb.handles.reset("%X" % (first + counter.handles))
    buf = io.StringIO()
    doc.write(buf)
    text = buf.getvalue()
    cut = text.index(ENTITIES) + len(ENTITIES)
    if not text.startswith(ENDSEC, cut):
        sys.exit("ezdxf wrote entities into an empty model space")
    with open(out, "w", encoding="utf-8", newline="", buffering=1 << 20) as f:
        f.write(text[:cut])
        space = StreamSpace(f, first, owner)
        fill(space, random.Random(seed), count, mix, add)
        space.close()
        f.write(text[cut:])
    if space.handle != first + counter.handles:
        sys.exit("the two passes drew different entities")


def check(kind):
    with tempfile.TemporaryDirectory() as tmp:
        a, b = os.path.join(tmp, "ezdxf.dxf"), os.path.join(tmp, "streamed.dxf")
        write_ezdxf(kind, a)
        write_streamed(kind, b)
        with open(a, "rb") as f, open(b, "rb") as g:
            same = f.read() == g.read()
        print("%s: %s, %d bytes" % (kind, "identical" if same else "DIFFERENT",
                                    os.path.getsize(b)))
        if not same:
            shutil.copy(a, "check_ezdxf.dxf")
            shutil.copy(b, "check_streamed.dxf")
            sys.exit("the streamed drawing differs; both kept as check_*.dxf")


def main():
    args = sys.argv[1:]
    if len(args) == 2 and args[0] == "--check":
        check(args[1])
        return
    stream = bool(args) and args[0] == "--stream"
    if stream:
        args = args[1:]
    if len(args) != 2:
        sys.exit("usage: make_drawing.py [--stream] COUNT|dense20k|blocks OUT.dxf\n"
                 "       make_drawing.py --check COUNT|dense20k")
    kind, out = args
    if kind != "blocks" and plan(kind)[0] > STREAM_ABOVE:
        stream = True
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    tmp = out + ".part"
    (write_streamed if stream else write_ezdxf)(kind, tmp)
    os.replace(tmp, out)


if __name__ == "__main__":
    main()
