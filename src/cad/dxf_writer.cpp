#include "cad/dxf_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <thread>
#include <unordered_map>

#include "base/error.h"
#include "base/files.h"
#include "base/ordered_work.h"
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

// Group lines appended to a text: each group its code and its value on lines of their
// own, ending CR LF.
class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}
  void Group(int code, std::string_view value) {
    // Built on the stack and appended at once: most values are short numbers.
    char text[64];
    char* at = std::to_chars(text, text + 8, code).ptr;
    if (value.size() > sizeof text - 16) {
      out_.append(text, at);
      out_ += "\r\n";
      out_ += value;
      out_ += "\r\n";
      return;
    }
    *at++ = '\r', *at++ = '\n';
    at = std::copy(value.begin(), value.end(), at);
    *at++ = '\r', *at++ = '\n';
    out_.append(text, at);
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
    char* end = std::to_chars(text, text + sizeof text, handle, 16).ptr;
    for (char* c = text; c != end; ++c) {
      if (*c >= 'a' && *c <= 'f') *c = static_cast<char>(*c - 'a' + 'A');
    }
    Group(code, std::string_view(text, static_cast<size_t>(end - text)));
  }

 private:
  std::string& out_;
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
  std::string text;  // the name as the drawing's value line holds it
};

// Entities formatted together on one thread; a few thousand records each.
constexpr size_t kPieceRecords = 16384;

// A drawing's plan, made before a byte is written: its layers and their handles, its
// extents and the handle of every entity, which the header needs ahead of them all.
// The entities are then written in pieces, on several threads if need be.
class DrawingWriter {
 public:
  DrawingWriter(const std::vector<Layer>& layers, const std::vector<Entity>& entities)
      : entities_(entities) {
    AddLayer("0", 7);
    for (const Layer& l : layers) AddLayer(DxfLayerName(l.name), l.color);
    entityLayer_.reserve(entities.size());
    size_t handles = 0;
    for (const Entity& e : entities) {
      CheckKind(e);
      entityLayer_.push_back(LayerIndex(e.layer));
      Measure(e);
      handles += HandlesOf(e);
    }
    unsigned next = kFirstFree;
    for (LayerEntry& l : layers_) {
      l.handle = next++;
      l.text = DxfText(l.name);
    }
    firstEntityHandle_ = next;
    seed_ = next + static_cast<unsigned>(handles);
  }

  // HEADER up to the head of the ENTITIES section.
  std::string Head() const;
  // From the end of ENTITIES to the end of the file.
  std::string Tail() const;

  // Consecutive entities and the handle of the first.
  struct Piece {
    size_t first = 0, end = 0;
    unsigned handle = 0;
  };
  std::vector<Piece> Pieces() const {
    std::vector<Piece> pieces;
    Piece piece{0, 0, firstEntityHandle_};
    unsigned handle = firstEntityHandle_;
    size_t records = 0;
    for (size_t k = 0; k < entities_.size(); ++k) {
      records += Records(entities_[k]);
      handle += HandlesOf(entities_[k]);
      if (records >= kPieceRecords || k + 1 == entities_.size()) {
        piece.end = k + 1;
        pieces.push_back(piece);
        piece = Piece{k + 1, k + 1, handle};
        records = 0;
      }
    }
    return pieces;
  }

  // The piece's records; safe on several threads at once.
  std::string Entities(const Piece& piece) const {
    std::string out;
    size_t records = 0;
    for (size_t k = piece.first; k < piece.end; ++k) records += Records(entities_[k]);
    out.reserve(records * 20);  // about the bytes of a group line
    unsigned handle = piece.handle;
    for (size_t k = piece.first; k < piece.end; ++k) {
      WriteEntity(out, entities_[k], layers_[entityLayer_[k]].text, handle);
      handle += HandlesOf(entities_[k]);
    }
    return out;
  }

  size_t size() const { return entities_.size(); }

 private:
  static unsigned HandlesOf(const Entity& e) {
    // A 3D polyline's vertices and its SEQEND have handles of their own.
    const auto* p = e.As<Polyline3d>();
    return p != nullptr ? static_cast<unsigned>(p->vertices.size()) + 2 : 1;
  }
  // About the number of group lines, to cut pieces of like size.
  static size_t Records(const Entity& e) {
    if (const auto* p = e.As<Polyline3d>()) return p->vertices.size() * 10 + 20;
    if (const auto* p = e.As<LwPolyline>()) return p->vertices.size() * 2 + 10;
    return 10;
  }

  static void CheckKind(const Entity& e) {
    if (e.As<LwPolyline>() || e.As<Polyline3d>() || e.As<varnolt::Point>() || e.As<Text>() ||
        e.As<Line>()) {
      return;
    }
    throw Error(ErrorKind::kGeneral, std::string("cannot write a ") +
                                         std::string(NamesOf(e.type()).english) + " to DXF");
  }

  void AddLayer(const std::string& name, int color) {
    if (byKey_.count(FoldAscii(name)) != 0) return;
    byKey_.emplace(FoldAscii(name), layers_.size());
    layers_.push_back({name, color >= 1 && color <= 255 ? color : 7, 0, {}});
  }

  // The table's entry of a layer name (ASCII case aside), added when it has none.
  size_t LayerIndex(const std::string& layer) {
    if (const auto known = byName_.find(layer); known != byName_.end()) return known->second;
    const std::string name = DxfLayerName(layer);
    AddLayer(name, 7);
    const size_t index = byKey_.at(FoldAscii(name));
    byName_.emplace(layer, index);
    return index;
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

  static void Section(Writer& w, const char* name) {
    w.Group(0, "SECTION");
    w.Group(2, name);
  }
  static void End(Writer& w) { w.Group(0, "ENDSEC"); }

  void Header(Writer& w) const;
  void Tables(Writer& w) const;
  static void Table(Writer& w, const char* name, unsigned handle, int count);
  static void Record(Writer& w, const char* type, unsigned handle, unsigned owner,
                     const char* subclass);
  void Vport(Writer& w) const;
  static void Ltypes(Writer& w);
  static void Blocks(Writer& w);
  static void Block(Writer& w, const char* name, unsigned record, unsigned begin, unsigned end,
                    bool paper);
  static void Objects(Writer& w);
  static void Common(Writer& w, const char* type, unsigned handle, unsigned owner,
                     std::string_view layer, const Entity& e);
  static void WriteEntity(std::string& out, const Entity& e, std::string_view layer,
                          unsigned handle);

  const std::vector<Entity>& entities_;
  std::vector<LayerEntry> layers_;
  std::unordered_map<std::string, size_t> byKey_;   // folded name -> layers_ index
  std::unordered_map<std::string, size_t> byName_;  // an entity's layer as given -> index
  std::vector<size_t> entityLayer_;
  Extents extents_;
  unsigned firstEntityHandle_ = kFirstFree;
  unsigned seed_ = kFirstFree;
};

std::string DrawingWriter::Head() const {
  std::string out;
  Writer w(out);
  Header(w);
  Section(w, "CLASSES");
  End(w);
  Tables(w);
  Blocks(w);
  Section(w, "ENTITIES");
  return out;
}

std::string DrawingWriter::Tail() const {
  std::string out;
  Writer w(out);
  End(w);
  Objects(w);
  w.Group(0, "EOF");
  return out;
}

void DrawingWriter::Header(Writer& w) const {
  Section(w, "HEADER");
  w.Group(9, "$ACADVER");
  w.Group(1, "AC1015");
  w.Group(9, "$DWGCODEPAGE");
  w.Group(3, "ANSI_936");
  w.Group(9, "$INSBASE");
  w.Point(10, 0, 0, 0);
  const bool none = extents_.empty();
  w.Group(9, "$EXTMIN");
  w.Point(10, none ? 0 : extents_.min[0], none ? 0 : extents_.min[1], none ? 0 : extents_.min[2]);
  w.Group(9, "$EXTMAX");
  w.Point(10, none ? 0 : extents_.max[0], none ? 0 : extents_.max[1], none ? 0 : extents_.max[2]);
  w.Group(9, "$CLAYER");
  w.Group(8, "0");
  w.Group(9, "$TEXTSTYLE");
  w.Group(7, "Standard");
  w.Group(9, "$INSUNITS");  // metres, the plane's unit
  w.Int(70, 6);
  w.Group(9, "$MEASUREMENT");
  w.Int(70, 1);
  w.Group(9, "$HANDSEED");
  w.Hex(5, seed_);
  End(w);
}

void DrawingWriter::Table(Writer& w, const char* name, unsigned handle, int count) {
  w.Group(0, "TABLE");
  w.Group(2, name);
  w.Hex(5, handle);
  w.Hex(330, 0);
  w.Group(100, "AcDbSymbolTable");
  w.Int(70, count);
}

void DrawingWriter::Record(Writer& w, const char* type, unsigned handle, unsigned owner,
                           const char* subclass) {
  w.Group(0, type);
  w.Hex(std::string_view(type) == "DIMSTYLE" ? 105 : 5, handle);
  w.Hex(330, owner);
  w.Group(100, "AcDbSymbolTableRecord");
  w.Group(100, subclass);
}

void DrawingWriter::Vport(Writer& w) const {
  Table(w, "VPORT", kVportTable, 1);
  Record(w, "VPORT", kVportActive, kVportTable, "AcDbViewportTableRecord");
  w.Group(2, "*Active");
  w.Int(70, 0);
  w.Real(10, 0), w.Real(20, 0), w.Real(11, 1), w.Real(21, 1);
  // The view opens on the drawing's extents.
  const bool none = extents_.empty();
  const double cx = none ? 0 : (extents_.min[0] + extents_.max[0]) / 2;
  const double cy = none ? 0 : (extents_.min[1] + extents_.max[1]) / 2;
  const double height = none ? 10 : std::max({extents_.max[1] - extents_.min[1],
                                              (extents_.max[0] - extents_.min[0]) / 1.5, 1.0});
  w.Real(12, cx), w.Real(22, cy);
  w.Real(13, 0), w.Real(23, 0), w.Real(14, 10), w.Real(24, 10), w.Real(15, 10), w.Real(25, 10);
  w.Point(16, 0, 0, 1);
  w.Point(17, 0, 0, 0);
  w.Real(40, height * 1.1);
  w.Real(41, 1.5);
  w.Real(42, 50);
  w.Real(43, 0), w.Real(44, 0), w.Real(50, 0), w.Real(51, 0);
  w.Int(71, 0), w.Int(72, 100), w.Int(73, 1), w.Int(74, 3);
  w.Int(75, 0), w.Int(76, 0), w.Int(77, 0), w.Int(78, 0);
  w.Group(0, "ENDTAB");
}

void DrawingWriter::Ltypes(Writer& w) {
  Table(w, "LTYPE", kLtypeTable, 3);
  const std::pair<const char*, unsigned> types[] = {
      {"ByBlock", kLtypeByBlock}, {"ByLayer", kLtypeByLayer}, {"Continuous", kLtypeContinuous}};
  for (const auto& [name, handle] : types) {
    Record(w, "LTYPE", handle, kLtypeTable, "AcDbLinetypeTableRecord");
    w.Group(2, name);
    w.Int(70, 0);
    w.Group(3, std::string_view(name) == "Continuous" ? "Solid line" : "");
    w.Int(72, 65);
    w.Int(73, 0);
    w.Real(40, 0);
  }
  w.Group(0, "ENDTAB");
}

void DrawingWriter::Tables(Writer& w) const {
  Section(w, "TABLES");
  Vport(w);
  Ltypes(w);
  Table(w, "LAYER", kLayerTable, static_cast<int>(layers_.size()));
  for (const LayerEntry& l : layers_) {
    Record(w, "LAYER", l.handle, kLayerTable, "AcDbLayerTableRecord");
    w.Group(2, l.text);
    w.Int(70, 0);
    w.Int(62, l.color);
    w.Group(6, "Continuous");
  }
  w.Group(0, "ENDTAB");
  Table(w, "STYLE", kStyleTable, 1);
  Record(w, "STYLE", kStyleStandard, kStyleTable, "AcDbTextStyleTableRecord");
  w.Group(2, "Standard");
  w.Int(70, 0);
  w.Real(40, 0), w.Real(41, 1), w.Real(50, 0);
  w.Int(71, 0);
  w.Real(42, 2.5);
  // The Chinese big font beside the plain one, as Chinese drawings carry them.
  w.Group(3, "txt");
  w.Group(4, "gbcbig.shx");
  w.Group(0, "ENDTAB");
  Table(w, "VIEW", kViewTable, 0);
  w.Group(0, "ENDTAB");
  Table(w, "UCS", kUcsTable, 0);
  w.Group(0, "ENDTAB");
  Table(w, "APPID", kAppidTable, 1);
  Record(w, "APPID", kAppidAcad, kAppidTable, "AcDbRegAppTableRecord");
  w.Group(2, "ACAD");
  w.Int(70, 0);
  w.Group(0, "ENDTAB");
  Table(w, "DIMSTYLE", kDimstyleTable, 1);
  w.Group(100, "AcDbDimStyleTable");
  Record(w, "DIMSTYLE", kDimstyleStandard, kDimstyleTable, "AcDbDimStyleTableRecord");
  w.Group(2, "Standard");
  w.Int(70, 0);
  w.Group(0, "ENDTAB");
  Table(w, "BLOCK_RECORD", kBlockRecordTable, 2);
  Record(w, "BLOCK_RECORD", kModelSpaceRecord, kBlockRecordTable, "AcDbBlockTableRecord");
  w.Group(2, "*Model_Space");
  Record(w, "BLOCK_RECORD", kPaperSpaceRecord, kBlockRecordTable, "AcDbBlockTableRecord");
  w.Group(2, "*Paper_Space");
  w.Group(0, "ENDTAB");
  End(w);
}

void DrawingWriter::Block(Writer& w, const char* name, unsigned record, unsigned begin,
                              unsigned end, bool paper) {
  // BLOCK and ENDBLK share their head: handle, owner, layer "0", paper space or not.
  const auto head = [&](const char* type, unsigned handle, const char* subclass) {
    w.Group(0, type);
    w.Hex(5, handle);
    w.Hex(330, record);
    w.Group(100, "AcDbEntity");
    if (paper) w.Int(67, 1);
    w.Group(8, "0");
    w.Group(100, subclass);
  };
  head("BLOCK", begin, "AcDbBlockBegin");
  w.Group(2, name);
  w.Int(70, 0);
  w.Point(10, 0, 0, 0);
  w.Group(3, name);
  w.Group(1, "");
  head("ENDBLK", end, "AcDbBlockEnd");
}

void DrawingWriter::Blocks(Writer& w) {
  Section(w, "BLOCKS");
  Block(w, "*Model_Space", kModelSpaceRecord, kModelSpaceBlock, kModelSpaceEnd, false);
  Block(w, "*Paper_Space", kPaperSpaceRecord, kPaperSpaceBlock, kPaperSpaceEnd, true);
  End(w);
}

void DrawingWriter::Objects(Writer& w) {
  Section(w, "OBJECTS");
  w.Group(0, "DICTIONARY");
  w.Hex(5, kRootDictionary);
  w.Hex(330, 0);
  w.Group(100, "AcDbDictionary");
  w.Int(281, 1);
  w.Group(3, "ACAD_GROUP");
  w.Hex(350, kGroupDictionary);
  w.Group(0, "DICTIONARY");
  w.Hex(5, kGroupDictionary);
  w.Hex(330, kRootDictionary);
  w.Group(100, "AcDbDictionary");
  w.Int(281, 1);
  End(w);
}

void DrawingWriter::Common(Writer& w, const char* type, unsigned handle, unsigned owner,
                           std::string_view layer, const Entity& e) {
  w.Group(0, type);
  w.Hex(5, handle);
  w.Hex(330, owner);
  w.Group(100, "AcDbEntity");
  w.Group(8, layer);
  if (e.color >= 0 && e.color <= 255) w.Int(62, e.color);
}

void DrawingWriter::WriteEntity(std::string& out, const Entity& e, std::string_view layer,
                                unsigned handle) {
  Writer w(out);
  std::visit(
      Overloaded{
          [&](const LwPolyline& p) {
            Common(w, "LWPOLYLINE", handle, kModelSpaceRecord, layer, e);
            w.Group(100, "AcDbPolyline");
            w.Int(90, static_cast<long long>(p.vertices.size()));
            w.Int(70, p.closed ? 1 : 0);
            if (p.elevation != 0) w.Real(38, p.elevation);
            for (const LwVertex& v : p.vertices) {
              w.Real(10, v.x);
              w.Real(20, v.y);
            }
          },
          [&](const Polyline3d& p) {
            Common(w, "POLYLINE", handle, kModelSpaceRecord, layer, e);
            w.Group(100, "AcDb3dPolyline");
            w.Int(66, 1);
            w.Point(10, 0, 0, 0);
            w.Int(70, p.closed ? 9 : 8);
            // What every VERTEX has alike, after its handle: made once per polyline.
            std::string same;
            Writer sw(same);
            sw.Hex(330, handle);
            sw.Group(100, "AcDbEntity");
            sw.Group(8, layer);
            if (e.color >= 0 && e.color <= 255) sw.Int(62, e.color);
            sw.Group(100, "AcDbVertex");
            sw.Group(100, "AcDb3dPolylineVertex");
            unsigned next = handle + 1;
            for (const Point3& v : p.vertices) {
              w.Group(0, "VERTEX");
              w.Hex(5, next++);
              out += same;
              w.Point(10, v[0], v[1], v[2]);
              w.Int(70, 32);
            }
            Common(w, "SEQEND", next, handle, layer, e);
          },
          [&](const varnolt::Point& p) {
            Common(w, "POINT", handle, kModelSpaceRecord, layer, e);
            w.Group(100, "AcDbPoint");
            w.Point(10, p.position[0], p.position[1], p.position[2]);
          },
          [&](const Text& t) {
            Common(w, "TEXT", handle, kModelSpaceRecord, layer, e);
            w.Group(100, "AcDbText");
            w.Point(10, t.insertion[0], t.insertion[1], t.insertion[2]);
            w.Real(40, t.height);
            w.Group(1, DxfText(t.textstring));
            if (t.rotation != 0) w.Real(50, t.rotation * 180 / 3.14159265358979323846);
            w.Group(7, "Standard");
            w.Group(100, "AcDbText");
          },
          [&](const Line& l) {
            Common(w, "LINE", handle, kModelSpaceRecord, layer, e);
            w.Group(100, "AcDbLine");
            w.Point(10, l.start[0], l.start[1], l.start[2]);
            w.Point(11, l.end[0], l.end[1], l.end[2]);
          },
          [&](const auto&) {},  // refused by CheckKind before anything was written
      },
      e.geometry);
}

}  // namespace

void WriteDxf(const std::vector<Layer>& layers, const std::vector<Entity>& entities,
              const DxfSink& sink, unsigned threads, const DxfProgress& progress) {
  const DrawingWriter writer(layers, entities);
  const std::vector<DrawingWriter::Piece> pieces = writer.Pieces();
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  // Two pieces ahead per thread: the writing thread never waits long, memory stays small.
  OrderedWork<std::string> work(pieces.size(), threads, 2,
                                [&](size_t i) { return writer.Entities(pieces[i]); });
  sink(writer.Head());
  for (size_t i = 0; i < pieces.size(); ++i) {
    sink(work.Take(i));
    if (progress) progress(pieces[i].end, entities.size());
  }
  sink(writer.Tail());
}

void WriteDxfFile(const std::filesystem::path& path, const std::vector<Layer>& layers,
                  const std::vector<Entity>& entities, unsigned threads,
                  const DxfProgress& progress) {
  AtomicFile file(path);
  WriteDxf(layers, entities, [&](std::string_view bytes) { file.Write(bytes); }, threads,
           progress);
  file.Commit();
}

std::string WriteDxf(const std::vector<Layer>& layers, const std::vector<Entity>& entities) {
  std::string out;
  WriteDxf(layers, entities, [&](std::string_view bytes) { out += bytes; }, 1);
  return out;
}

}  // namespace varnolt
