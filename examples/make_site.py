#!/usr/bin/python3
"""Writes examples/site.dxf: a small site plan in Beijing 1954 Gauss-Krueger
coordinates about the central meridian 114 deg 30 min, one or more entities of every
family the converter reads. Run with Debian's python3-ezdxf; the DXF is committed."""
import math
import os

import ezdxf

E0, N0 = 512300.0, 3380400.0  # easting with false easting, northing (metres)

doc = ezdxf.new("R2018", setup=False)
doc.header["$INSUNITS"] = 6  # metres
for name, color in (("道路", 1), ("建筑", 5), ("管线", 3), ("注记", 7), ("水系", 4)):
    doc.layers.add(name, color=color)
msp = doc.modelspace()

# Road centre line: straight runs joined by a bulged curve.
msp.add_lwpolyline(
    [(E0, N0, 0, 0, 0), (E0 + 120, N0, 0, 0, 0.4142), (E0 + 170, N0 + 50, 0, 0, 0),
     (E0 + 170, N0 + 160, 0, 0, 0)],
    format="xyseb", dxfattribs={"layer": "道路"})
# A building footprint: closed polyline, its own colour.
msp.add_lwpolyline([(E0 + 20, N0 + 20), (E0 + 60, N0 + 20), (E0 + 60, N0 + 45), (E0 + 20, N0 + 45)],
                   close=True, dxfattribs={"layer": "建筑", "color": 150})
# Kerb lines.
msp.add_line((E0, N0 - 8, 0), (E0 + 120, N0 - 8, 0), dxfattribs={"layer": "道路"})
msp.add_line((E0, N0 + 8, 0), (E0 + 112, N0 + 8, 0), dxfattribs={"layer": "道路", "color": 2})
# A well and a roundabout arc.
msp.add_circle((E0 + 90, N0 + 80, 12.5), 6, dxfattribs={"layer": "水系"})
msp.add_arc((E0 + 170, N0 + 200), 40, 200, 340, dxfattribs={"layer": "道路"})
# A pipeline with its invert levels.
msp.add_polyline3d([(E0 + 10, N0 + 100, 21.5), (E0 + 80, N0 + 110, 21.2), (E0 + 150, N0 + 140, 20.9)],
                   dxfattribs={"layer": "管线"})
# Labels.
msp.add_text("1号楼", dxfattribs={"layer": "注记", "height": 3,
                                   "insert": (E0 + 30, N0 + 30)})
t = msp.add_text("K0+120", dxfattribs={"layer": "注记", "height": 2.5, "color": 1})
t.set_placement((E0 + 120, N0 - 12), align=ezdxf.enums.TextEntityAlignment.MIDDLE_CENTER)
msp.add_mtext("雨水管线\\P管径 DN600", dxfattribs={"layer": "注记", "char_height": 2,
                                                 "insert": (E0 + 80, N0 + 116, 0)})

out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "site.dxf")
doc.saveas(out)
print(out)
