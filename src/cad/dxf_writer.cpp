#include "cad/dxf_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "base/error.h"
#include "base/overloaded.h"
#include "text/ascii.h"
#include "text/encoding.h"

namespace varnolt {
namespace {

// The handles of the drawing's fixed objects; entities and further layers count on
// from kFirstFree. Owners refer to these, so they are known before anything is written.
enum Handle : unsigned {
  kBlockRecordTable = 0x1,
  kLayerTable = 0x2,
  kStyleTable = 0x3,
  kLtypeTable = 0x5,
  kViewTable = 0x6,
  kUcsTable = 0x7,
  kVportTable = 0x8,
  kAppidTable = 0x9,
  kDimstyleTable = 0xA,
  kRootDictionary = 0xC,
  kGroupDictionary = 0xD,
  kLtypeByBlock = 0x14,
  kLtypeByLayer = 0x15,
  kLtypeContinuous = 0x16,
  kStyleStandard = 0x11,
  kAppidAcad = 0x12,
  kPaperSpaceRecord = 0x1B,
  kPaperSpaceBlock = 0x1C,
  kPaperSpaceEnd = 0x1D,
  kModelSpaceRecord = 0x1F,
  kModelSpaceBlock = 0x20,
  kModelSpaceEnd = 0x21,
  kDimstyleStandard = 0x27,
  kVportActive = 0x29,
  kFirstFree = 0x100,
};

struct Extents {
  double min[3] = {std::numeric_limits<double>::infinity(),
                   std::numeric_limits<double>::infinity(), 0};
  double max[3] = {-std::numeric_limits<double>::infinity(),
                   -std::numeric_limits<double>::infinity(), 0};
  void Add(double x, double y, double z) {
    const double p[3] = {x, y, z};
    for (int i = 0; i < 3; ++i) min[i] = std::min(min[i], p[i]), max[i] = std::max(max[i], p[i]);
  }
  bool empty() const { return !(min[0] <= max[0]); }
};

// A character that GBK lacks, as the \U+XXXX escape(s) of its UTF-16 form.
std::string Escaped(char32_t cp) {
  char text[24];
  if (cp >= 0x10000) {
    const unsigned v = static_cast<unsigned>(cp) - 0x10000;
    std::snprintf(text, sizeof text, "\\U+%04X\\U+%04X", 0xD800 + (v >> 10), 0xDC00 + (v & 0x3FF));
  } else {
    std::snprintf(text, sizeof text, "\\U+%04X", static_cast<unsigned>(cp));
  }
  return text;
}

// A text as one value line of a release-2000 drawing whose code page is GBK (ANSI_936,
// as Chinese AutoCAD writes them): control characters (line breaks among them) become
// blanks, characters GBK lacks \U+ escapes.
std::string DxfText(std::string_view utf8) {
  std::string clean = IsValidUtf8(utf8) ? std::string(utf8) : SanitizeUtf8(utf8);
  for (char& c : clean) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) c = ' ';
  }
  return EncodeFromUtf8(clean, "CP936", Escaped);
}

class Writer {
 public:
  void Group(int code, std::string_view value) {
    char text[8];
    const auto end = std::to_chars(text, text + sizeof text, code).ptr;
    out_.append(text, end);
    out_ += "\r\n";
    out_ += value;
    out_ += "\r\n";
  }
  void Int(int code, long long value) {
    char text[24];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    Group(code, std::string_view(text, static_cast<size_t>(end - text)));
  }
  // The shortest text that reads back as the same double; never "-0".
  void Real(int code, double value) {
    if (value == 0) value = 0;
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    Group(code, std::string_view(text, static_cast<size_t>(end - text)));
  }
  void Point(int code, double x, double y, double z) {
    Real(code, x);
    Real(code + 10, y);
    Real(code + 20, z);
  }
  void Hex(int code, unsigned handle) {
    char text[16];
    const auto end = std::to_chars(text, text + sizeof text, handle, 16).ptr;
    std::string s(text, end);
    for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c);
    Group(code, s);
  }
  unsigned Next() { return next_++; }
  unsigned seed() const { return next_; }
  std::string& bytes() { return out_; }

 private:
  std::string out_;
  unsigned next_ = kFirstFree;
};

}  // namespace

std::string DxfLayerName(std::string_view name) {
  std::string out;
  for (char c : name) {
    const bool refused = static_cast<unsigned char>(c) < 0x20 || c == 0x7F ||
                         std::string_view("<>/\\\":;?*|=`").find(c) != std::string_view::npos;
    out += refused ? '_' : c;
  }
  const size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return "0";
  return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

namespace {

struct LayerEntry {
  std::string name;
  int color;
  unsigned handle;
};

class DrawingWriter {
 public:
  DrawingWriter(const std::vector<Layer>& layers, const std::vector<Entity>& entities)
      : entities_(entities) {
    AddLayer("0", 7);
    for (const Layer& l : layers) AddLayer(DxfLayerName(l.name), l.color);
    for (const Entity& e : entities) AddLayer(DxfLayerName(e.layer), 7);
    for (LayerEntry& l : layers_) l.handle = w_.Next();
    for (const Entity& e : entities) Measure(e);
  }

  std::string Write() {
    // Entities first, so that the header's handle seed counts their handles.
    Section("ENTITIES");
    for (const Entity& e : entities_) WriteEntity(e);
    End();
    const std::string body = std::move(w_.bytes());
    w_.bytes().clear();
    Header(w_.seed());
    Section("CLASSES");
    End();
    Tables();
    Blocks();
    w_.bytes() += body;
    Objects();
    w_.Group(0, "EOF");
    return std::move(w_.bytes());
  }

 private:
  void AddLayer(const std::string& name, int color) {
    for (const LayerEntry& l : layers_) {
      if (EqualsIgnoringAsciiCase(l.name, name)) return;
    }
    layers_.push_back({name, color >= 1 && color <= 255 ? color : 7, 0});
  }

  const std::string& LayerOf(const Entity& e) {
    const std::string name = DxfLayerName(e.layer);
    for (const LayerEntry& l : layers_) {
      if (EqualsIgnoringAsciiCase(l.name, name)) return l.name;
    }
    return layers_.front().name;
  }

  void Measure(const Entity& e) {
    std::visit(Overloaded{
                   [&](const LwPolyline& p) {
                     for (const LwVertex& v : p.vertices) extents_.Add(v.x, v.y, p.elevation);
                   },
                   [&](const Polyline3d& p) {
                     for (const Point3& v : p.vertices) extents_.Add(v[0], v[1], v[2]);
                   },
                   [&](const varnolt::Point& p) {
                     extents_.Add(p.position[0], p.position[1], p.position[2]);
                   },
                   [&](const Text& t) { extents_.Add(t.insertion[0], t.insertion[1], t.insertion[2]); },
                   [&](const Line& l) {
                     extents_.Add(l.start[0], l.start[1], l.start[2]);
                     extents_.Add(l.end[0], l.end[1], l.end[2]);
                   },
                   [&](const auto&) {},
               },
               e.geometry);
  }

  void Section(const char* name) {
    w_.Group(0, "SECTION");
    w_.Group(2, name);
  }
  void End() { w_.Group(0, "ENDSEC"); }

  void Header(unsigned seed);
  void Tables();
  void Table(const char* name, unsigned handle, int count);
  void Record(const char* type, unsigned handle, unsigned owner, const char* subclass);
  void Vport();
  void Ltypes();
  void Blocks();
  void Block(const char* name, unsigned record, unsigned begin, unsigned end, bool paper);
  void Objects();
  void Common(const char* type, unsigned handle, unsigned owner, const Entity& e);
  void WriteEntity(const Entity& e);

  const std::vector<Entity>& entities_;
  std::vector<LayerEntry> layers_;
  Extents extents_;
  Writer w_;
};

void DrawingWriter::Header(unsigned seed) {
  Section("HEADER");
  w_.Group(9, "$ACADVER");
  w_.Group(1, "AC1015");
  w_.Group(9, "$DWGCODEPAGE");
  w_.Group(3, "ANSI_936");
  w_.Group(9, "$INSBASE");
  w_.Point(10, 0, 0, 0);
  const bool none = extents_.empty();
  w_.Group(9, "$EXTMIN");
  w_.Point(10, none ? 0 : extents_.min[0], none ? 0 : extents_.min[1], none ? 0 : extents_.min[2]);
  w_.Group(9, "$EXTMAX");
  w_.Point(10, none ? 0 : extents_.max[0], none ? 0 : extents_.max[1], none ? 0 : extents_.max[2]);
  w_.Group(9, "$CLAYER");
  w_.Group(8, "0");
  w_.Group(9, "$TEXTSTYLE");
  w_.Group(7, "Standard");
  w_.Group(9, "$INSUNITS");  // metres, the plane's unit
  w_.Int(70, 6);
  w_.Group(9, "$MEASUREMENT");
  w_.Int(70, 1);
  w_.Group(9, "$HANDSEED");
  w_.Hex(5, seed);
  End();
}

void DrawingWriter::Table(const char* name, unsigned handle, int count) {
  w_.Group(0, "TABLE");
  w_.Group(2, name);
  w_.Hex(5, handle);
  w_.Hex(330, 0);
  w_.Group(100, "AcDbSymbolTable");
  w_.Int(70, count);
}

void DrawingWriter::Record(const char* type, unsigned handle, unsigned owner,
                           const char* subclass) {
  w_.Group(0, type);
  w_.Hex(std::string_view(type) == "DIMSTYLE" ? 105 : 5, handle);
  w_.Hex(330, owner);
  w_.Group(100, "AcDbSymbolTableRecord");
  w_.Group(100, subclass);
}

void DrawingWriter::Vport() {
  Table("VPORT", kVportTable, 1);
  Record("VPORT", kVportActive, kVportTable, "AcDbViewportTableRecord");
  w_.Group(2, "*Active");
  w_.Int(70, 0);
  w_.Real(10, 0), w_.Real(20, 0), w_.Real(11, 1), w_.Real(21, 1);
  // The view opens on the drawing's extents.
  const bool none = extents_.empty();
  const double cx = none ? 0 : (extents_.min[0] + extents_.max[0]) / 2;
  const double cy = none ? 0 : (extents_.min[1] + extents_.max[1]) / 2;
  const double height = none ? 10 : std::max({extents_.max[1] - extents_.min[1],
                                              (extents_.max[0] - extents_.min[0]) / 1.5, 1.0});
  w_.Real(12, cx), w_.Real(22, cy);
  w_.Real(13, 0), w_.Real(23, 0), w_.Real(14, 10), w_.Real(24, 10), w_.Real(15, 10), w_.Real(25, 10);
  w_.Point(16, 0, 0, 1);
  w_.Point(17, 0, 0, 0);
  w_.Real(40, height * 1.1);
  w_.Real(41, 1.5);
  w_.Real(42, 50);
  w_.Real(43, 0), w_.Real(44, 0), w_.Real(50, 0), w_.Real(51, 0);
  w_.Int(71, 0), w_.Int(72, 100), w_.Int(73, 1), w_.Int(74, 3);
  w_.Int(75, 0), w_.Int(76, 0), w_.Int(77, 0), w_.Int(78, 0);
  w_.Group(0, "ENDTAB");
}

void DrawingWriter::Ltypes() {
  Table("LTYPE", kLtypeTable, 3);
  const std::pair<const char*, unsigned> types[] = {
      {"ByBlock", kLtypeByBlock}, {"ByLayer", kLtypeByLayer}, {"Continuous", kLtypeContinuous}};
  for (const auto& [name, handle] : types) {
    Record("LTYPE", handle, kLtypeTable, "AcDbLinetypeTableRecord");
    w_.Group(2, name);
    w_.Int(70, 0);
    w_.Group(3, std::string_view(name) == "Continuous" ? "Solid line" : "");
    w_.Int(72, 65);
    w_.Int(73, 0);
    w_.Real(40, 0);
  }
  w_.Group(0, "ENDTAB");
}

void DrawingWriter::Tables() {
  Section("TABLES");
  Vport();
  Ltypes();
  Table("LAYER", kLayerTable, static_cast<int>(layers_.size()));
  for (const LayerEntry& l : layers_) {
    Record("LAYER", l.handle, kLayerTable, "AcDbLayerTableRecord");
    w_.Group(2, DxfText(l.name));
    w_.Int(70, 0);
    w_.Int(62, l.color);
    w_.Group(6, "Continuous");
  }
  w_.Group(0, "ENDTAB");
  Table("STYLE", kStyleTable, 1);
  Record("STYLE", kStyleStandard, kStyleTable, "AcDbTextStyleTableRecord");
  w_.Group(2, "Standard");
  w_.Int(70, 0);
  w_.Real(40, 0), w_.Real(41, 1), w_.Real(50, 0);
  w_.Int(71, 0);
  w_.Real(42, 2.5);
  // The Chinese big font beside the plain one, as Chinese drawings carry them.
  w_.Group(3, "txt");
  w_.Group(4, "gbcbig.shx");
  w_.Group(0, "ENDTAB");
  Table("VIEW", kViewTable, 0);
  w_.Group(0, "ENDTAB");
  Table("UCS", kUcsTable, 0);
  w_.Group(0, "ENDTAB");
  Table("APPID", kAppidTable, 1);
  Record("APPID", kAppidAcad, kAppidTable, "AcDbRegAppTableRecord");
  w_.Group(2, "ACAD");
  w_.Int(70, 0);
  w_.Group(0, "ENDTAB");
  Table("DIMSTYLE", kDimstyleTable, 1);
  w_.Group(100, "AcDbDimStyleTable");
  Record("DIMSTYLE", kDimstyleStandard, kDimstyleTable, "AcDbDimStyleTableRecord");
  w_.Group(2, "Standard");
  w_.Int(70, 0);
  w_.Group(0, "ENDTAB");
  Table("BLOCK_RECORD", kBlockRecordTable, 2);
  Record("BLOCK_RECORD", kModelSpaceRecord, kBlockRecordTable, "AcDbBlockTableRecord");
  w_.Group(2, "*Model_Space");
  Record("BLOCK_RECORD", kPaperSpaceRecord, kBlockRecordTable, "AcDbBlockTableRecord");
  w_.Group(2, "*Paper_Space");
  w_.Group(0, "ENDTAB");
  End();
}

void DrawingWriter::Block(const char* name, unsigned record, unsigned begin, unsigned end,
                          bool paper) {
  // BLOCK and ENDBLK share their head: handle, owner, layer "0", paper space or not.
  const auto head = [&](const char* type, unsigned handle, const char* subclass) {
    w_.Group(0, type);
    w_.Hex(5, handle);
    w_.Hex(330, record);
    w_.Group(100, "AcDbEntity");
    if (paper) w_.Int(67, 1);
    w_.Group(8, "0");
    w_.Group(100, subclass);
  };
  head("BLOCK", begin, "AcDbBlockBegin");
  w_.Group(2, name);
  w_.Int(70, 0);
  w_.Point(10, 0, 0, 0);
  w_.Group(3, name);
  w_.Group(1, "");
  head("ENDBLK", end, "AcDbBlockEnd");
}

void DrawingWriter::Blocks() {
  Section("BLOCKS");
  Block("*Model_Space", kModelSpaceRecord, kModelSpaceBlock, kModelSpaceEnd, false);
  Block("*Paper_Space", kPaperSpaceRecord, kPaperSpaceBlock, kPaperSpaceEnd, true);
  End();
}

void DrawingWriter::Objects() {
  Section("OBJECTS");
  w_.Group(0, "DICTIONARY");
  w_.Hex(5, kRootDictionary);
  w_.Hex(330, 0);
  w_.Group(100, "AcDbDictionary");
  w_.Int(281, 1);
  w_.Group(3, "ACAD_GROUP");
  w_.Hex(350, kGroupDictionary);
  w_.Group(0, "DICTIONARY");
  w_.Hex(5, kGroupDictionary);
  w_.Hex(330, kRootDictionary);
  w_.Group(100, "AcDbDictionary");
  w_.Int(281, 1);
  End();
}

void DrawingWriter::Common(const char* type, unsigned handle, unsigned owner, const Entity& e) {
  w_.Group(0, type);
  w_.Hex(5, handle);
  w_.Hex(330, owner);
  w_.Group(100, "AcDbEntity");
  w_.Group(8, DxfText(LayerOf(e)));
  if (e.color >= 0 && e.color <= 255) w_.Int(62, e.color);
}

void DrawingWriter::WriteEntity(const Entity& e) {
  const unsigned handle = w_.Next();
  std::visit(
      Overloaded{
          [&](const LwPolyline& p) {
            Common("LWPOLYLINE", handle, kModelSpaceRecord, e);
            w_.Group(100, "AcDbPolyline");
            w_.Int(90, static_cast<long long>(p.vertices.size()));
            w_.Int(70, p.closed ? 1 : 0);
            if (p.elevation != 0) w_.Real(38, p.elevation);
            for (const LwVertex& v : p.vertices) {
              w_.Real(10, v.x);
              w_.Real(20, v.y);
            }
          },
          [&](const Polyline3d& p) {
            Common("POLYLINE", handle, kModelSpaceRecord, e);
            w_.Group(100, "AcDb3dPolyline");
            w_.Int(66, 1);
            w_.Point(10, 0, 0, 0);
            w_.Int(70, p.closed ? 9 : 8);
            for (const Point3& v : p.vertices) {
              Common("VERTEX", w_.Next(), handle, e);
              w_.Group(100, "AcDbVertex");
              w_.Group(100, "AcDb3dPolylineVertex");
              w_.Point(10, v[0], v[1], v[2]);
              w_.Int(70, 32);
            }
            Common("SEQEND", w_.Next(), handle, e);
          },
          [&](const varnolt::Point& p) {
            Common("POINT", handle, kModelSpaceRecord, e);
            w_.Group(100, "AcDbPoint");
            w_.Point(10, p.position[0], p.position[1], p.position[2]);
          },
          [&](const Text& t) {
            Common("TEXT", handle, kModelSpaceRecord, e);
            w_.Group(100, "AcDbText");
            w_.Point(10, t.insertion[0], t.insertion[1], t.insertion[2]);
            w_.Real(40, t.height);
            w_.Group(1, DxfText(t.textstring));
            if (t.rotation != 0) w_.Real(50, t.rotation * 180 / 3.14159265358979323846);
            w_.Group(7, "Standard");
            w_.Group(100, "AcDbText");
          },
          [&](const Line& l) {
            Common("LINE", handle, kModelSpaceRecord, e);
            w_.Group(100, "AcDbLine");
            w_.Point(10, l.start[0], l.start[1], l.start[2]);
            w_.Point(11, l.end[0], l.end[1], l.end[2]);
          },
          [&](const auto&) {
            throw Error(ErrorKind::kGeneral, std::string("cannot write a ") +
                                                 std::string(NamesOf(e.type()).english) +
                                                 " to DXF");
          },
      },
      e.geometry);
}

}  // namespace

std::string WriteDxf(const std::vector<Layer>& layers, const std::vector<Entity>& entities) {
  return DrawingWriter(layers, entities).Write();
}

}  // namespace varnolt
