#!/usr/bin/python3
# Counts, per drawing, the model-space entities of each kind after exploding every
# block reference (and dimension) to the bottom, with ezdxf (Debian's python3-ezdxf,
# an independent DXF library): the oracle of DxfCorpus.IncludeAllCountsAsExploded.
# Attributes count as texts, as exploding makes them. Prints C++ table rows.
#   /usr/bin/python3 count_exploded.py ../../../../shared/testdata/dxf
import os
import sys

import ezdxf
from ezdxf import recover

KINDS = ["LINE", "ARC", "CIRCLE", "LW", "3D", "TEXT", "MTEXT", "POINT", "ELLIPSE",
         "SPLINE", "HATCH", "SOLID"]


def kind(e):
    t = e.dxftype()
    if t == "LWPOLYLINE":
        return "LW"
    if t == "POLYLINE":
        if e.is_2d_polyline:
            return "LW"
        if e.is_3d_polyline:
            return "3D"
        return None
    if t in ("TRACE", "3DFACE"):
        return "SOLID"
    return t if t in KINDS else None


def expand(e, counts):
    t = e.dxftype()
    if t == "INSERT":
        for ins in (e.multi_insert() if e.mcount > 1 else [e]):
            if ins.block() is not None:
                for v in ins.virtual_entities():
                    expand(v, counts)
            for _ in ins.attribs:
                counts["TEXT"] += 1
    elif t == "DIMENSION":
        for v in e.virtual_entities():
            expand(v, counts)
    else:
        k = kind(e)
        if k:
            counts[k] += 1


def main(folder):
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".dxf") or "clusterfuzz" in name:
            continue
        try:
            doc = ezdxf.readfile(os.path.join(folder, name))
        except Exception:
            doc, _ = recover.readfile(os.path.join(folder, name))
        counts = dict.fromkeys(KINDS, 0)
        for e in doc.modelspace():
            expand(e, counts)
        print('    {"%s", {%s}},' % (name, ", ".join(str(counts[k]) for k in KINDS)))


main(sys.argv[1])
