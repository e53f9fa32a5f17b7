#!/usr/bin/env python3
"""The folders of src/ in layers: a folder includes only folders below it, and
src/ui/ holds only Qt code. Exits 1 naming every include that breaks the order."""
import os
import re
import sys

# Lowest first. A folder may include itself and any folder before it.
LAYERS = ["base", "text", "geodesy", "geometry", "settings", "cad", "kml", "convert", "calc",
          "run", "import", "picking", "form", "ui", "win32"]
# Two window toolkits side by side over form/: neither includes the other.
APART = {("ui", "win32"), ("win32", "ui")}

root = os.path.join(sys.argv[1] if len(sys.argv) > 1 else ".", "src")
rank = {name: i for i, name in enumerate(LAYERS)}
faults = []
for folder in sorted(os.listdir(root)):
    path = os.path.join(root, folder)
    if not os.path.isdir(path):
        continue
    if folder not in rank:
        faults.append(f"src/{folder}/ is in no layer: add it to LAYERS in {__file__}")
        continue
    for name in sorted(os.listdir(path)):
        if not name.endswith((".h", ".cpp")):
            continue
        text = open(os.path.join(path, name), encoding="utf-8", errors="replace").read()
        for target in re.findall(r'^\s*#\s*include\s+"([a-z_0-9]+)/', text, re.M):
            if target in rank and rank[target] > rank[folder]:
                faults.append(f"src/{folder}/{name} includes {target}/, a layer above it")
            if (folder, target) in APART:
                faults.append(f"src/{folder}/{name} includes {target}/, the other window")
        if folder == "ui" and not re.search(r"^\s*#\s*include\s+<Q", text, re.M):
            faults.append(f"src/ui/{name} uses no Qt: Qt-free code belongs below ui/")
for fault in faults:
    print(fault)
sys.exit(1 if faults else 0)
