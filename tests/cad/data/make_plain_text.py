#!/usr/bin/python3
# Writes plain_text_expected.txt: the texts of the shared corpus's MIT-licensed
# drawings (from ezdxf, dxf-parser and GDAL, MIT licence; see the corpus's
# SOURCES.md) and a few written here, each with the plain text ezdxf (Debian's
# python3-ezdxf 0.18, an independent DXF library) makes of it, one a line, fields
# separated by TABs:
#   FILE  HANDLE  KIND  TEXT  PLAIN      (FILE "-" and HANDLE "-" for our own)
# TEXT and PLAIN escape "\" as "\\", TAB as "\t" and a line break as "\n".
#
# Multiline texts go through ezdxf's MText parser (its accurate plain_mtext), texts
# through its plain_text(), with two readings of our own where CAD shows otherwise:
#   %%c is the diameter sign U+2300 (ezdxf writes the letter U+00D8), and
#   a stack is written numerator/denominator whatever its divider (ezdxf keeps ^ and #).
# A text's \U+XXXX escapes are decoded first, as our reader decodes them (hex digits
# of either case; ezdxf decodes upper case only and leaves the others in the text).
# Run by hand from this folder, naming the corpus folder when it is not
# ../shared/testdata/dxf beside the project; the file is committed.
#   /usr/bin/python3 make_plain_text.py [CORPUS]
import os
import re
import sys

import ezdxf
from ezdxf import recover
from ezdxf.lldxf import const
from ezdxf.tools import text as ezt

const.SPECIAL_CHAR_ENCODING["c"] = "\u2300"

CORPUS = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "..", "shared", "testdata",
    "dxf")
FILES = ["ezdxf_mtext_complex_inline_codes.dxf", "dxfparser_mtext-test.dxf",
         "gdal_text-fancy.dxf", "ezdxf_text.dxf", "ezdxf_colors.dxf",
         "gdal_mtext-ocs-reduced.dxf", "gdal_assorted.dxf"]

OWN_MTEXT = [
    "{\\fSimSun|b0|i0|c134;道路}\\P宽\\~6m",
    "\\Fsimplex.shx,gbcbig.shx;\\W1.0000000000;\\H2.5x;\\C1;\\o\\l房间\\O\\L",
    "\\A1;1\\S1/2;\\P\\S3#4;\\Px\\S+0.1^ -0.2;",
    "%%c20 %%d90 %%p0.5 %%C %%D %%P %%u",
    "a\\\\b \\{c\\} \\T1.2;\\Q15;\\pi1,l2,t4;x",
    "tab^Iend^Jnext ^ caret",
    "\\P\\Plead",
    "trail\\P",
    "two\\P\\P",
    "\\Hbad;\\Cnone;\\Zunknown",
    "\\S1\\;2^ 3;",
    "\\N column",
]
OWN_TEXT = ["%%c20", "K12+300 %%d%%p", "%%uunder%%u %%oover", "%%%", "100%", "a^Jb^"]


def decode_dxf_unicode(s):
    return re.sub(r"\\U\+([0-9A-Fa-f]{4})", lambda m: chr(int(m.group(1), 16)), s)


def esc(s):
    return s.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")


def plain_mtext(s):
    # ezdxf's plain_mtext, with the stack written a/b.
    paragraphs, current = [], []
    T = ezt.TokenType
    for token in ezt.MTextParser(s):
        if token.type == T.WORD:
            current.append(token.data)
        elif token.type in (T.SPACE, T.NBSP):
            current.append(" ")
        elif token.type in (T.NEW_PARAGRAPH, T.NEW_COLUMN):
            paragraphs.append("".join(current))
            current = []
        elif token.type == T.TABULATOR:
            current.append("    ")
        elif token.type == T.STACK:
            upr, lwr, divider = token.data
            current.append(upr + ("/" + lwr if divider else ""))
    if current:
        paragraphs.append("".join(current))
    return "\n".join(paragraphs)


lines = []
for name in FILES:
    path = os.path.join(CORPUS, name)
    try:
        doc = ezdxf.readfile(path)
    except ezdxf.DXFStructureError:
        doc, _ = recover.readfile(path)
    # Model space and the blocks, where texts of dimensions and symbols live.
    spaces = [doc.modelspace()] + [b for b in doc.blocks if not b.is_any_layout]
    for e in (e for space in spaces for e in space):
        if e.dxftype() == "MTEXT":
            text = decode_dxf_unicode(e.text)
            lines.append((name, e.dxf.handle, "MTEXT", text, plain_mtext(text)))
        elif e.dxftype() == "TEXT":
            text = decode_dxf_unicode(e.dxf.text)
            lines.append((name, e.dxf.handle, "TEXT", text, ezt.plain_text(text)))
for s in OWN_MTEXT:
    lines.append(("-", "-", "MTEXT", s, plain_mtext(s)))
for s in OWN_TEXT:
    lines.append(("-", "-", "TEXT", s, ezt.plain_text(s)))
with open("plain_text_expected.txt", "w", encoding="utf-8") as f:
    for file, handle, kind, raw, plain in lines:
        f.write("\t".join([file, handle, kind, esc(raw), esc(plain)]) + "\n")
