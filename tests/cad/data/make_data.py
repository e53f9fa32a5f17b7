#!/usr/bin/python3
# Writes the small drawings of this folder with ezdxf (Debian's python3-ezdxf), an
# independent DXF writer. Run by hand from this folder; the files are committed.
#   /usr/bin/python3 make_data.py
import ezdxf

# R2000 in the GBK code page (what Chinese AutoCAD 2000-2006 writes), with an MTEXT
# long enough to be split into group-3 chunks.
doc = ezdxf.new("R2000")
doc.encoding = "gbk"  # written as $DWGCODEPAGE ANSI_936
doc.layers.add("电气设备", color=1)
off = doc.layers.add("关闭", color=3)
off.off()
msp = doc.modelspace()
msp.add_text("中文 K12+300", dxfattribs={"layer": "电气设备", "insert": (500100, 3400200, 0)})
msp.add_mtext("测量" * 200, dxfattribs={"layer": "关闭", "insert": (500100.5, 3400300.25, 12)})
msp.add_arc((10, 20, 0), 5, 30, 120, dxfattribs={"extrusion": (0, 0, -1), "color": 4})
msp.add_polyline2d([(0, 0, 0.5), (10, 0, 0), (10, 10, -1)], format="xyb",
                   dxfattribs={"layer": "电气设备", "elevation": (0, 0, 7.5)}).close(True)
msp.add_lwpolyline([(1, 2, 0.25), (3, 4, 0)], format="xyb", dxfattribs={"layer": "电气设备"})
doc.saveas("gbk_r2000.dxf")

# R2018 saved as binary DXF: UTF-8 strings, two-byte group codes.
doc = ezdxf.new("R2018")
doc.layers.add("图层1", color=5)
msp = doc.modelspace()
msp.add_line((1.25, 2.5, 0), (3.75, -4.5, 1), dxfattribs={"layer": "图层1"})
msp.add_circle((100, 200, 5), 12.5, dxfattribs={"color": 2})
msp.add_polyline3d([(0, 0, 5), (10, 0, 7), (10, 10, 9)])
msp.add_text("设计号", dxfattribs={"insert": (5, 6, 0)})
doc.saveas("binary_r2018.dxf", fmt="bin")
