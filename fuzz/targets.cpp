#include "fuzz/targets.h"

#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/files.h"
#include "cad/dxf.h"
#include "cad/entity.h"
#include "calc/correction.h"
#include "geodesy/plane.h"
#include "import/import.h"
#include "import/xml.h"
#include "cad/dxf_writer.h"
#include "kml/document.h"
#include "run/run.h"
#include "settings/settings.h"
#include "text/encoding.h"
#include "text/numtext.h"

namespace varnolt::fuzz {
namespace {

namespace fs = std::filesystem;

// A broken invariant: say which and stop, so that the fuzzer keeps the input.
[[noreturn]] void Finding(const std::string& what) {
  std::fprintf(stderr, "varnolt fuzz finding: %s\n", what.c_str());
  std::abort();
}

void Expect(bool ok, const char* what) {
  if (!ok) Finding(what);
}

// Every message the program shows must say something, in UTF-8.
void CheckMessage(const Error& e) {
  const std::string_view what = e.what();
  Expect(!what.empty(), "an error without a message");
  Expect(IsValidUtf8(what), "an error message that is not UTF-8");
}

// One scratch folder per fuzzing process, in memory where the system has a tmpfs,
// removed at exit. Not part of the program: the core keeps no such state.
const fs::path& ScratchDir() {
  // Never destroyed: the removal at exit, registered while this is made, runs after
  // the destructors of statics made before it returned.
  static const fs::path& dir = *new fs::path([] {
    const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm")
                                                        : fs::temp_directory_path();
#ifdef _WIN32
    // No mkdtemp: a random name, claimed by create_directory (which fails on one that
    // exists).
    std::random_device random;
    fs::path made;
    for (int attempt = 0; attempt < 100 && made.empty(); ++attempt) {
      const fs::path candidate = base / ("varnolt-fuzz-" + std::to_string(random()));
      std::error_code ec;
      if (fs::create_directory(candidate, ec)) made = candidate;
    }
    if (made.empty()) Finding("cannot create the scratch folder");
    const std::string pattern = made.string();
#else
    std::string pattern = (base / "varnolt-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) Finding("cannot create the scratch folder");
#endif
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(ScratchDir(), ec);
    });
    return fs::path(pattern);
  }());
  return dir;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> FolderNames(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

class SilentReporter : public RunReporter {
 public:
  void Prompt(const std::string& text) override {
    Expect(IsValidUtf8(text), "a prompt that is not UTF-8");
  }
  void Warning(const RunWarning& warning) override {
    for (const std::string& text : {warning.english, warning.chinese}) {
      Expect(!text.empty() && IsValidUtf8(text), "an empty or non-UTF-8 warning");
    }
  }
};

// An upper bound on the points a run writes before it stops, with `L` the spacing of
// Text1. A stretch past the per-Placemark limit fails at once and costs nothing.
// Inputs that would write millions of valid points only make the fuzzer slow; the
// limits themselves are tested in tests/reliability.
double PointBudget(const std::vector<Entity>& entities, double L) {
  if (L == 0 || !std::isfinite(L)) return 0;
  const double spacing = std::fabs(L);
  auto stretch = [spacing](double d) {
    const double n = d / spacing;
    return (!std::isfinite(n) || n > 1.1e7) ? 0.0 : n + 2;
  };
  double total = 0;
  for (const Entity& e : entities) {
    if (const auto* line = e.As<varnolt::Line>()) {
      total += stretch(pt_pt(line->start, line->end));
    } else if (const auto* p = e.As<LwPolyline>()) {
      const size_t n = p->vertices.size();
      for (size_t i = 0; i < n; ++i) {
        const LwVertex& a = p->vertices[i];
        const LwVertex& b = p->vertices[(i + 1) % n];
        const double dx = std::fabs(b.x) - std::fabs(a.x);
        const double dy = std::fabs(b.y) - std::fabs(a.y);
        total += stretch(std::sqrt(dx * dx + dy * dy)) + 101;
      }
    } else if (const auto* p3 = e.As<Polyline3d>()) {
      total += static_cast<double>(p3->vertices.size());
    } else if (const auto* mesh = e.As<Mesh>()) {
      total += 5 * static_cast<double>(mesh->faces.size());
    } else if (const auto* leader = e.As<varnolt::Leader>()) {
      for (const auto& line : leader->lines) total += static_cast<double>(line.size());
    } else if (const auto* frame = e.As<Frame>()) {
      total += static_cast<double>(frame->boundary.size()) + 1;
    } else {
      total += 101;
    }
  }
  return total;
}

constexpr double kPointBudget = 2e6;

// Runs the conversion into the scratch folder over an earlier document, and checks
// what a run promises: a complete document on success; on failure a message, the
// earlier document untouched and no other file left behind.
void ConvertAndCheck(EntitySource& source, const Settings& settings, bool zipped) {
  const fs::path out = ScratchDir() / (zipped ? "out.kmz" : "out.kml");
  const std::string earlier = "an earlier document";
  {
    std::ofstream(out, std::ios::binary) << earlier;
  }
  SilentReporter reporter;
  bool ok = false;
  try {
    const RunResult result = RunConversion(source, settings, out, reporter);
    Expect(result.entities > 0, "a run that succeeded without a Placemark");
    ok = true;
  } catch (const Error& e) {
    CheckMessage(e);
  }
  const std::vector<std::string> names = FolderNames(ScratchDir());
  Expect(names.size() == 1 && names[0] == out.filename().string(),
         "a run left a stray file in the output folder");
  const std::string doc = ReadAll(out);
  if (!ok) {
    Expect(doc == earlier, "a failed run damaged the earlier document");
  } else if (!zipped) {
    Expect(doc.starts_with("<?xml"), "a document without its XML declaration");
    Expect(doc.ends_with(kDocumentClose), "a document without its close");
    Expect(IsValidUtf8(doc), "a document that is not UTF-8");
  }
  fs::remove(out);
}

// A small drawing of all seven families, about 200 m across, near 3380 km north.
std::vector<Entity> SmallDrawing() {
  std::vector<Entity> entities;
  auto add = [&](Geometry g, int color, std::string layer = "") {
    Entity e;
    e.color = color;
    e.layer = std::move(layer);
    e.geometry = std::move(g);
    entities.push_back(std::move(e));
  };
  add(varnolt::Line{{500100, 3380100, 5}, {500250, 3380200, 8}}, 1);
  add(Circle{{500300, 3380300, 0}, 25}, 3);
  add(Arc{{500300, 3380300, 0}, 25, 0.5, 2.5}, 3);
  LwPolyline pline;
  pline.vertices = {{500000, 3380000, 0}, {500080, 3380000, 0.5}, {500080, 3380060, 0},
                    {500000, 3380060, -1}};
  pline.closed = true;
  pline.elevation = 2;
  add(pline, 5);
  add(Polyline3d{{{500000, 3380000, 1}, {500010, 3380020, 2}, {500030, 3380025, 3}}}, 256, "0");
  Text text;
  text.insertion = {500050, 3380050, 0};
  text.textstring = "测站 A&B";
  add(text, 0);
  MText mtext;
  mtext.insertion = text.insertion;
  mtext.textstring = "{\\fSimSun|b0;多行}\\P文本";
  add(mtext, 0);
  return entities;
}

// The file read in pieces of a few lines on two threads gives what the serial
// reading gave: the same entities, layers and skipped kinds, or the same error.
void CheckReadInPieces(std::string_view bytes, DxfLimits limits, const DxfDrawing& serial,
                       const std::string& error) {
  const fs::path file = ScratchDir() / "fuzz.dxf";
  {
    std::ofstream(file, std::ios::binary) << bytes;
  }
  limits.pieceBytes = 1 + bytes.size() % 97;
  limits.threads = 2;
  std::string streamedError;
  std::unique_ptr<DxfSource> source;
  try {
    source = std::make_unique<DxfSource>(file, limits);
  } catch (const Error& e) {
    streamedError = e.what();
  }
  fs::remove(file);
  Expect(streamedError == error, "read in pieces, the file fails otherwise");
  if (!source) return;
  Expect(source->Layers().size() == serial.layers.size(), "read in pieces, other layers");
  for (size_t k = 0; k < serial.layers.size(); ++k) {
    Expect(source->Layers()[k].name == serial.layers[k].name &&
               source->Layers()[k].color == serial.layers[k].color,
           "read in pieces, other layers");
  }
  const std::vector<SkippedKind> skipped = source->Skipped();
  Expect(skipped.size() == serial.skipped.size(), "read in pieces, other kinds skipped");
  for (size_t k = 0; k < skipped.size(); ++k) {
    Expect(skipped[k].kind == serial.skipped[k].kind && skipped[k].count == serial.skipped[k].count &&
               skipped[k].reason == serial.skipped[k].reason &&
               skipped[k].refusal == serial.skipped[k].refusal,
           "read in pieces, other kinds skipped");
  }
  const std::unique_ptr<EntityList> picked = source->Pick();
  Expect(picked->size() == serial.entities.size(), "read in pieces, another entity count");
  Entity scratch;
  for (size_t k = 0; k < picked->size(); ++k) {
    Expect(SameReading(picked->Get(k, scratch), serial.entities[k]),
           "read in pieces, another entity");
  }
}

}  // namespace

int DxfConvert(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  DxfDrawing drawing;
  // Two inputs in three are read with every kind included (blocks exploded); the
  // placed entities are bounded lower than by default so that a unit stays small.
  DxfLimits limits;
  if (size % 3 != 0) {
    limits.include = kIncludeAll | kIncludeMeshes | kIncludeLeaders | kIncludeFrames;
    limits.maxPlacedEntities = 20'000;
  }
  std::string error;
  try {
    drawing = ParseDxf(bytes, "fuzz.dxf", limits);
  } catch (const Error& e) {
    CheckMessage(e);
    error = e.what();
  }
  CheckReadInPieces(bytes, limits, drawing, error);
  if (!error.empty()) return 0;
  for (const Layer& layer : drawing.layers) {
    Expect(IsValidUtf8(layer.name), "a layer name that is not UTF-8");
  }
  for (const Entity& e : drawing.entities) {
    Expect(IsValidUtf8(e.layer) && IsValidUtf8(TextOf(e)) && IsValidUtf8(e.handle),
           "entity text that is not UTF-8");
    Expect((e.insertId > 0) == !e.blockPath.empty() || e.type() == EntityType::kText,
           "an exploded entity without its block path");
    if (const Spline* spline = e.As<Spline>()) {
      for (size_t k = 1; k < spline->knots.size(); ++k) {
        Expect(spline->knots[k - 1] <= spline->knots[k], "spline knots that decrease");
      }
      Expect(!spline->control.empty() || spline->fit.size() >= 2, "a spline of nothing");
    }
    if (const auto* leader = e.As<varnolt::Leader>()) {
      for (const auto& line : leader->lines) Expect(line.size() >= 2, "a leader line of one point");
    }
    if (const Mesh* mesh = e.As<Mesh>()) Expect(!mesh->faces.empty(), "a mesh of no face");
  }
  for (const SkippedKind& s : drawing.skipped) {
    Expect(s.count > 0 && IsValidUtf8(s.kind) && IsValidUtf8(s.reason) &&
               IsValidUtf8(s.reasonChinese) && IsValidUtf8(s.refusal),
           "a skipped kind without count or not in UTF-8");
  }
  Expect(limits.include == 0 ||
             static_cast<int64_t>(drawing.entities.size()) <=
                 limits.maxPlacedEntities + static_cast<int64_t>(size),
         "more entities placed than the limit allows");
  Settings settings;
  settings.Text1 = "10";
  settings.Check1 = 1;  // bulges too
  // The run is told what was read; some inputs name texts plainly, some are strict.
  settings.SetExtra("include", IncludeListText(limits.include));
  if (size % 5 == 1) settings.SetExtra("plain_text", "yes");
  if (size % 7 == 2) settings.SetExtra("strict", "yes");
  if (PointBudget(drawing.entities, ReadLeadingNumber(settings.Text1)) > kPointBudget) {
    return 0;
  }
  DxfSource source(std::move(drawing), "fuzz.dxf");
  ConvertAndCheck(source, settings, size % 8 == 7);
  return 0;
}

int SettingsFile(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Settings parsed;
  const bool valid = ParseSettings(bytes, parsed);
  const Settings settings = valid ? parsed : Settings{};

  // The loader reads the same from a file, and falls back to the defaults silently.
  const fs::path file = ScratchDir() / "Varnolt.ini";
  {
    std::ofstream(file, std::ios::binary) << bytes;
  }
  Expect(LoadSettings(file) == settings, "LoadSettings differs from ParseSettings");
  fs::remove(file);

  // What is saved loads back the same (a text starting with a byte-order mark of
  // its own is the one exception: the mark at the start of a file is dropped).
  if (!settings.Text1.starts_with("\xEF\xBB\xBF")) {
    Settings again;
    Expect(ParseSettings(SettingsFileText(settings), again) && again == settings,
           "saved settings do not load back the same");
  }

  const std::vector<Entity> entities = SmallDrawing();
  if (PointBudget(entities, ReadLeadingNumber(settings.Text1)) > kPointBudget) return 0;
  MemorySource source({Layer{"0", 7}}, entities, "small drawing");
  ConvertAndCheck(source, settings, false);
  return 0;
}

int ControlPoints(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = DecodeUserText(bytes);
  Expect(IsValidUtf8(text), "decoded user text that is not UTF-8");
  std::vector<ControlPoint> points;
  try {
    points = ParseControlPoints(text);
  } catch (const Error& e) {
    CheckMessage(e);
    return 0;
  }
  Settings settings;
  settings.Text2 = "114.3";
  try {
    const CorrectionResult result = ComputeCorrections(settings, points);
    Expect(result.points.size() == points.size(), "a table that lost points");
    Expect(std::isfinite(result.latAverage) && std::isfinite(result.lonAverage),
           "averages that are not finite");
    size_t lines = 0;
    for (size_t at = result.table.find("\r\n"); at != std::string::npos;
         at = result.table.find("\r\n", at + 2)) {
      ++lines;
    }
    Expect(lines >= points.size() + 4 && result.table.ends_with("\r\n"),
           "a table without its header, hyphen line or averages");
  } catch (const Error& e) {
    CheckMessage(e);
  }
  return 0;
}

int LeadingNumber(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const double lead = ReadLeadingNumber(text);
  Expect(!std::isnan(lead), "a leading number that is NaN");
  double strict = 0;
  if (ParseNumber(text, strict)) {
    Expect(std::isfinite(strict), "a strict number that is not finite");
    Expect(lead == strict, "leading and strict reading disagree on a plain number");
  }
  // The texts the program writes read back as the 15-digit value.
  if (size >= 8) {
    double value = 0;
    std::memcpy(&value, data, sizeof value);
    if (std::isfinite(value)) {
      const double rounded = Round15(value);
      Expect(std::isnan(rounded) == false && Round15(rounded) == rounded,
             "Round15 is not a fixed point");
      for (const std::string& written : {GeneralText(value), BareText(value)}) {
        double back = 0;
        if (std::isinf(rounded)) {
          // Only the largest doubles: their 15-digit text lies past the range.
          Expect(std::fabs(value) > 1.79769313486231e308, "Round15 overflowed");
          Expect(!ParseNumber(written, back), "a number past the range read back");
          Expect(ReadLeadingNumber(written) == rounded, "leading reading past the range");
          continue;
        }
        Expect(ParseNumber(written, back), "a written number does not read back");
        Expect(back == rounded, "a written number reads back as another value");
        Expect(ReadLeadingNumber(written) == rounded, "leading reading of a written number");
      }
      const std::string fixed = FixedText(value, 5);
      double back = 0;
      Expect(ParseNumber(fixed, back), "fixed text does not read back");
    }
  }
  // The point writers (two values at once, into a buffer) say what the one-value
  // texts say, and Round15 of several values gives the bits of one at a time.
  if (size >= 16) {
    double pair[2];
    std::memcpy(pair, data + size - 16, sizeof pair);
    char buffer[2 * kMaxNumberText + 1];
    const std::string both(buffer, WriteGeneralTexts(buffer, pair[0], ',', pair[1]));
    Expect(both == GeneralText(pair[0]) + "," + GeneralText(pair[1]),
           "a point's two texts differ from the texts one at a time");
    Expect(std::string(buffer, WriteGeneralText(buffer, pair[0])) == GeneralText(pair[0]),
           "buffer general text differs");
    Expect(std::string(buffer, WriteBareText(buffer, pair[1])) == BareText(pair[1]),
           "buffer bare text differs");
    double each[3] = {pair[0], pair[1], pair[0] * 0.5};
    Round15Each(each, 3);
    const double one[3] = {Round15(pair[0]), Round15(pair[1]), Round15(pair[0] * 0.5)};
    Expect(std::memcmp(each, one, sizeof each) == 0,
           "Round15 of several values differs from one at a time");
  }
  return 0;
}

namespace {

// Every call an XML handler hears, in one text, ended by the failure if any.
class XmlCalls : public XmlHandler {
 public:
  void Start(std::string_view name, const char** attributes) override {
    calls.append("<").append(name);
    for (size_t k = 0; attributes[k] != nullptr; ++k) calls.append(" ").append(attributes[k]);
  }
  void End(std::string_view name, std::string_view text) override {
    calls.append("</").append(name).append(">").append(text);
  }
  bool WantsText(std::string_view name) const override { return name.size() % 2 == 0; }
  std::string calls;
};

// Read in pieces (as small as they come, on a few threads), XML tells the handler
// exactly what one parser tells it, failure and all.
void CompareXmlPieces(std::string_view bytes) {
  auto fail = [](XmlCalls& log, const Error& e) { log.calls.append("!").append(e.what()); };
  XmlCalls whole;
  try {
    ParseXml(bytes, "fuzz", whole);
  } catch (const Error& e) {
    fail(whole, e);
  }
  std::unique_ptr<XmlCalls> pieces;
  try {
    ParseXmlInPieces(
        bytes, "fuzz",
        [&]() -> XmlHandler& {
          pieces = std::make_unique<XmlCalls>();
          return *pieces;
        },
        XmlPieces{3, 1});
  } catch (const Error& e) {
    fail(*pieces, e);
  }
  Expect(pieces->calls == whole.calls, "XML read in pieces tells otherwise than read whole");
}

}  // namespace

int GeoImport(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CompareXmlPieces(bytes);
  // The default settings on the meridian 114 deg 30 min, made once.
  static const SettingsPlane& plane = *new SettingsPlane([] {
    Settings s;
    s.Text2 = "114.3";
    return s;
  }());
  try {
    const GeoDocument doc = ReadGeoBytes(bytes, "fuzz", uint64_t{1} << 20);
    Expect(!doc.features.empty(), "a document without geometry was accepted");
    ImportOptions options;
    options.threads = 1;
    const ImportedDrawing drawing = ImportDocument(doc, plane.finder(), options, "fuzz");
    // What is written reads back as the same entities.
    DxfLimits limits;
    limits.include = kIncludePoints;
    const DxfDrawing back =
        ParseDxf(WriteDxf(drawing.layers, drawing.entities), "fuzz.dxf", limits);
    Expect(back.entities.size() == drawing.entities.size(), "the DXF lost entities");
    for (size_t k = 0; k < back.entities.size(); ++k) {
      Expect(back.entities[k].geometry == drawing.entities[k].geometry,
             "an entity reads back otherwise from the DXF");
    }
  } catch (const Error& e) {
    CheckMessage(e);
  }
  return 0;
}

}  // namespace varnolt::fuzz
