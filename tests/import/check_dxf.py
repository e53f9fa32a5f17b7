#!/usr/bin/python3
"""Reads each DXF named on the command line with three independent readers and exits 1
on the first fault: ezdxf's auditor must report no error, GDAL's ogrinfo must find as
many features as ezdxf finds model-space entities (a 3D polyline with its vertices is
one), and LibreCAD must draw it to a PDF page."""
import os
import re
import shutil
import subprocess
import sys
import tempfile

import ezdxf


def fail(message):
    print("check_dxf: " + message)
    sys.exit(1)


def main(files):
    for f in files:
        doc = ezdxf.readfile(f)
        auditor = doc.audit()
        if auditor.has_errors or auditor.errors:
            for e in auditor.errors:
                print("  ", e)
            fail("%s: ezdxf's auditor reports %d errors" % (f, len(auditor.errors)))
        entities = len(doc.modelspace())
        info = subprocess.run(["ogrinfo", "-ro", "-al", "-so", f], capture_output=True, text=True)
        count = re.search(r"Feature Count: (\d+)", info.stdout)
        if info.returncode != 0 or not count:
            fail("%s: ogrinfo cannot read it: %s" % (f, info.stderr.strip()))
        if int(count.group(1)) != entities:
            fail("%s: ogrinfo finds %s features, ezdxf %d entities" % (f, count.group(1), entities))
        with tempfile.TemporaryDirectory() as tmp:
            # dxf2pdf writes NAME.pdf beside NAME.dxf.
            copy = os.path.join(tmp, "drawing.dxf")
            shutil.copyfile(f, copy)
            pdf = os.path.join(tmp, "drawing.pdf")
            env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
            drawn = subprocess.run(["librecad", "dxf2pdf", "-a", copy], capture_output=True,
                                   text=True, env=env)
            if drawn.returncode != 0 or not os.path.exists(pdf) or os.path.getsize(pdf) == 0:
                fail("%s: LibreCAD cannot draw it: %s" % (f, drawn.stderr.strip()[-500:]))
        print("check_dxf: %s: %d entities, %d layers, audit clean; ogrinfo and LibreCAD read it"
              % (os.path.basename(f), entities, len(doc.layers)))


if __name__ == "__main__":
    main(sys.argv[1:])
