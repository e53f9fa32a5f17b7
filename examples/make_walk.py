#!/usr/bin/python3
"""Writes examples/site_walk.gpx: a GPS walk along the road of examples/site.dxf, with
waypoints at the building, the well and the chainage label, as a handheld receiver
would record it (a metre or so of wander, elevations). The positions are what
`varnolt point` gives for the plane points with the default settings (Beijing 1954,
central meridian 115, the default corrections), so that `varnolt import` with those
settings puts the walk back onto the drawing.

    examples/make_walk.py BUILD/app/varnolt
"""
import math
import os
import random
import subprocess
import sys
import tempfile

E0, N0 = 512300.0, 3380400.0


def road(step):
    """Plane points every `step` metres along the road's centre line."""
    points = []
    for k in range(int(120 / step)):
        points.append((E0 + k * step, N0))
    # The bulge 0.4142 is a quarter circle of radius 50 about (E0 + 120, N0 + 50).
    for k in range(int(50 * math.pi / 2 / step)):
        a = -math.pi / 2 + k * step / 50
        points.append((E0 + 120 + 50 * math.cos(a), N0 + 50 + 50 * math.sin(a)))
    for k in range(int(110 / step) + 1):
        points.append((E0 + 170, N0 + 50 + k * step))
    return points


def main():
    exe = sys.argv[1]
    rnd = random.Random(7)
    walk = [(e + rnd.gauss(0, 0.8), n + rnd.gauss(0, 0.8)) for e, n in road(3.0)]
    waypoints = [("1号楼", E0 + 40, N0 + 32), ("井", E0 + 90, N0 + 80), ("K0+120", E0 + 120, N0 - 12)]
    plane = [(n, e) for e, n in walk] + [(n, e) for _, e, n in waypoints]
    with tempfile.TemporaryDirectory() as tmp:
        settings = os.path.join(tmp, "Varnolt.ini")
        out = subprocess.run([exe, "point", "--settings", settings], check=True, text=True,
                             input="".join("%.3f %.3f\n" % p for p in plane),
                             capture_output=True).stdout.split()
    lonlat = [tuple(line.split(",")) for line in out]
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<gpx version="1.1" creator="varnolt examples/make_walk.py" '
             'xmlns="http://www.topografix.com/GPX/1/1">']
    for (name, _, _), (lon, lat) in zip(waypoints, lonlat[len(walk):]):
        lines.append('  <wpt lat="%s" lon="%s"><ele>21</ele><name>%s</name></wpt>' % (lat, lon, name))
    lines.append("  <trk><name>踏勘</name><trkseg>")
    for k, (lon, lat) in enumerate(lonlat[:len(walk)]):
        lines.append('    <trkpt lat="%s" lon="%s"><ele>%.1f</ele></trkpt>' % (lat, lon, 21 - k * 0.01))
    lines.append("  </trkseg></trk>")
    lines.append("</gpx>")
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "site_walk.gpx")
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    print(path)


if __name__ == "__main__":
    main()
