// Blocks and the kinds beyond the seven families: exploded placement against ezdxf
// (data/make_blocks.py wrote the drawing and what ezdxf places), CAD's colour and
// layer rules, what is counted as skipped, and drawings that must be refused.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/error.h"
#include "cad/dxf.h"
#include "cad/ocs.h"
#include "dxf_groups.h"
#include "entity_access.h"

namespace varnolt {
namespace {

const double kPi = 4 * std::atan(1.0);

std::filesystem::path Data(const char* name) {
  return std::filesystem::path(VARNOLT_SOURCE_DIR) / "tests" / "cad" / "data" / name;
}

void Put(std::vector<double>& v, const Point3& p) { v.insert(v.end(), {p[0], p[1], p[2]}); }

Point3 Plus(const Point3& a, const Point3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }

Point3 ArcPoint(const Arc& e, double a) {
  return Plus(e.center, OcsToWcs({e.radius * std::cos(a), e.radius * std::sin(a), 0}, e.normal));
}

Point3 EllipsePoint(const Ellipse& e, double t) {
  const Point3& m = e.majorAxis;
  const double n = std::sqrt(e.normal[0] * e.normal[0] + e.normal[1] * e.normal[1] +
                             e.normal[2] * e.normal[2]);
  const Point3 u{e.normal[0] / n, e.normal[1] / n, e.normal[2] / n};
  const Point3 minor{(u[1] * m[2] - u[2] * m[1]) * e.ratio, (u[2] * m[0] - u[0] * m[2]) * e.ratio,
                     (u[0] * m[1] - u[1] * m[0]) * e.ratio};
  return {e.center[0] + m[0] * std::cos(t) + minor[0] * std::sin(t),
          e.center[1] + m[1] * std::cos(t) + minor[1] * std::sin(t),
          e.center[2] + m[2] * std::cos(t) + minor[2] * std::sin(t)};
}

double Span(double s, double e) {
  double span = std::fmod(e - s, 2 * kPi);
  if (span < 0) span += 2 * kPi;
  return span == 0 ? 2 * kPi : span;
}

// The same description of a placed entity as make_blocks.py writes for ezdxf's.
struct Description {
  std::vector<double>& v;

  // The ends of an arc or ellipse in either order: it may be kept the other way round.
  void Ends(Point3 a, Point3 b) const {
    if (b < a) std::swap(a, b);
    Put(v, a);
    Put(v, b);
  }
  std::string operator()(const varnolt::Line& e) const {
    Put(v, e.start);
    Put(v, e.end);
    return "LINE";
  }
  std::string operator()(const Arc& e) const {
    v.push_back(e.radius);
    Put(v, ArcPoint(e, e.startAngle));
    Put(v, ArcPoint(e, e.endAngle));
    Put(v, ArcPoint(e, e.startAngle + Span(e.startAngle, e.endAngle) / 2));
    return "ARC";
  }
  std::string operator()(const Circle& e) const {
    Put(v, e.center);
    v.push_back(e.radius);
    return "CIRCLE";
  }
  std::string operator()(const Ellipse& e) const {
    const Point3& m = e.majorAxis;
    Put(v, e.center);
    v.push_back(std::sqrt(m[0] * m[0] + m[1] * m[1] + m[2] * m[2]));
    v.push_back(e.ratio);
    Ends(EllipsePoint(e, e.startAngle), EllipsePoint(e, e.endAngle));
    Put(v, EllipsePoint(e, e.startAngle + Span(e.startAngle, e.endAngle) / 2));
    return "ELLIPSE";
  }
  // The world vertices, each followed by its segment's middle.
  std::string operator()(const LwPolyline& e) const {
    const size_t n = e.vertices.size();
    for (size_t k = 0; k < n; ++k) {
      const LwVertex& p = e.vertices[k];
      Put(v, OcsToWcs({p.x, p.y, e.elevation}, e.normal));
      if (k + 1 < n || e.closed) {
        const LwVertex& q = e.vertices[(k + 1) % n];
        const double dx = q.x - p.x, dy = q.y - p.y;
        Put(v, OcsToWcs({(p.x + q.x) / 2 + dy * p.bulge / 2, (p.y + q.y) / 2 - dx * p.bulge / 2,
                         e.elevation},
                        e.normal));
      }
    }
    return "LWPOLYLINE";
  }
  std::string operator()(const Text& e) const {
    Put(v, e.insertion);
    v.push_back(e.height);
    return "TEXT";
  }
  std::string operator()(const Point& e) const {
    Put(v, e.position);
    return "POINT";
  }
  std::string operator()(const Solid& e) const {
    v = test::Xyz(e.corners);
    return "SOLID";
  }
  std::string operator()(const Spline& e) const {
    v = test::Xyz(e.control.empty() ? e.fit : e.control);
    return "SPLINE";
  }
  std::string operator()(const Hatch& e) const {
    for (const HatchLoop& loop : e.loops) {
      for (const HatchEdge& edge : loop.edges) {
        if (const auto* p = std::get_if<LwPolyline>(&edge)) {
          for (const LwVertex& q : p->vertices) {
            Put(v, OcsToWcs({q.x, q.y, p->elevation}, p->normal));
          }
        } else if (const auto* l = std::get_if<varnolt::Line>(&edge)) {
          Put(v, l->start);
          Put(v, l->end);
        } else if (const auto* a = std::get_if<Arc>(&edge)) {
          Ends(ArcPoint(*a, a->startAngle), ArcPoint(*a, a->endAngle));
        } else if (const auto* el = std::get_if<Ellipse>(&edge)) {
          Ends(EllipsePoint(*el, el->startAngle), EllipsePoint(*el, el->endAngle));
        }
      }
    }
    return "HATCH";
  }
  std::string operator()(const Polyline3d&) const { return "OTHER"; }
  std::string operator()(const MText&) const { return "OTHER"; }
  std::string operator()(const Mesh&) const { return "OTHER"; }
  std::string operator()(const Leader&) const { return "OTHER"; }
  std::string operator()(const Frame&) const { return "OTHER"; }
};

std::string Describe(const Entity& e, std::vector<double>& v) {
  return std::visit(Description{v}, e.geometry);
}

DxfLimits All() {
  DxfLimits l;
  l.include = kIncludeAll;
  return l;
}

// Rotation, negative and non-uniform scale (arcs becoming ellipses, a bulged
// polyline exploding into lines and ellipses), extrusions (0, 0, -1) and oblique,
// three levels of nesting, a MINSERT grid and an attribute.
TEST(DxfBlocks, PlacedAsEzdxfPlacesThem) {
  const DxfDrawing d = ReadDxfFile(Data("blocks.dxf"), All());
  std::ifstream in(Data("blocks_expected.txt"));
  std::string line;
  size_t k = 0;
  for (; std::getline(in, line); ++k) {
    std::istringstream words(line);
    std::string kind;
    words >> kind;
    std::vector<double> expected;
    for (double x; words >> x;) expected.push_back(x);
    ASSERT_LT(k, d.entities.size());
    std::vector<double> got;
    EXPECT_EQ(Describe(d.entities[k], got), kind) << "entity " << k;
    ASSERT_EQ(got.size(), expected.size()) << "entity " << k << " " << kind;
    for (size_t j = 0; j < got.size(); ++j) {
      EXPECT_NEAR(got[j], expected[j], 1e-9) << "entity " << k << " " << kind << " value " << j;
    }
  }
  EXPECT_EQ(k, d.entities.size());
  // Five references and a grid of six: the insert numbers run 1..6 in file order.
  EXPECT_EQ(d.entities.front().insertId, 1);
  EXPECT_EQ(d.entities.front().blockPath, "TOP");
  EXPECT_EQ(d.entities[2].blockPath, "TOP/MID/LEAF");
  EXPECT_EQ(d.entities.back().insertId, 6);
  EXPECT_EQ(d.entities.back().blockPath, "LEAF");
}

using test::Cat;
using test::Drawing;
using test::Groups;

Groups Block(const std::string& name, const Groups& body) {
  Groups g{{0, "BLOCK"}, {2, name}, {10, "0"}, {20, "0"}};
  g.insert(g.end(), body.begin(), body.end());
  g.push_back({0, "ENDBLK"});
  return g;
}

Groups Insert(const std::string& name, const std::string& layer = "0", const std::string& color = "256") {
  return {{0, "INSERT"}, {8, layer}, {62, color}, {2, name}, {10, "1"}, {20, "2"}};
}

// ByBlock takes the colour of the nearest reference that has one; layer 0 inside a
// block takes the layer of the reference that places it, along the chain.
TEST(DxfBlocks, ByBlockColourAndLayerZeroFollowTheReference) {
  const Groups line0{{0, "LINE"}, {8, "0"}, {62, "0"}, {10, "0"}, {11, "1"}};
  const Groups lineOwn{{0, "LINE"}, {8, "KERB"}, {62, "3"}, {10, "0"}, {11, "1"}};
  const std::string dxf = Drawing(
      Cat({Block("INNER", Cat({line0, lineOwn})), Block("OUTER", Insert("INNER", "0", "0"))}),
      Insert("OUTER", "ROAD", "4"));
  const DxfDrawing d = ParseDxf(dxf, "t.dxf", All());
  ASSERT_EQ(d.entities.size(), 2u);
  EXPECT_EQ(d.entities[0].color, 4);
  EXPECT_EQ(d.entities[0].layer, "ROAD");
  EXPECT_EQ(d.entities[0].blockPath, "OUTER/INNER");
  EXPECT_EQ(d.entities[1].color, 3);
  EXPECT_EQ(d.entities[1].layer, "KERB");
  // Without blocks the reference is only counted.
  const DxfDrawing plain = ParseDxf(dxf, "t.dxf");
  EXPECT_TRUE(plain.entities.empty());
  ASSERT_EQ(plain.skipped.size(), 1u);
  EXPECT_EQ(plain.skipped[0].kind, "INSERT");
  EXPECT_EQ(plain.skipped[0].count, 1);
}

// Not read: counted by name in the order first met; never VERTEX, SEQEND or
// ATTRIB, nor anything in paper space. A block's hatch stays out unless included.
TEST(DxfBlocks, SkippedKindsAreCounted) {
  const Groups fitted{{0, "POLYLINE"}, {70, "2"}, {0, "VERTEX"}, {10, "0"}, {20, "0"},
                      {0, "VERTEX"}, {10, "1"}, {20, "1"}, {0, "SEQEND"}};
  const Groups point{{0, "POINT"}, {10, "1"}, {20, "1"}};
  const Groups hatch{{0, "HATCH"}, {91, "0"}};
  const Groups paper{{0, "POINT"}, {67, "1"}, {10, "1"}, {20, "1"}};
  const Groups attribs = {{0, "INSERT"}, {2, "B"}, {66, "1"}, {0, "ATTRIB"}, {1, "x"},
                          {0, "SEQEND"}};
  const std::string dxf = Drawing(Block("B", Cat({hatch, Groups{{0, "LINE"}, {11, "1"}}})),
                                  Cat({point, fitted, attribs, point, Groups{{0, "LEADER"}},
                                       paper, hatch}));
  DxfLimits blocksOnly;
  blocksOnly.include = kIncludeBlocks;
  const DxfDrawing d = ParseDxf(dxf, "t.dxf", blocksOnly);
  std::string got;
  for (const SkippedKind& s : d.skipped) got += s.kind + "=" + std::to_string(s.count) + " ";
  EXPECT_EQ(got, "POINT=2 POLYLINE (fitted)=1 LEADER=1 HATCH=1 ");
  ASSERT_EQ(d.entities.size(), 2u);  // the block's line and the attribute
  EXPECT_EQ(d.entities[0].type(), EntityType::kLine);
  EXPECT_EQ(d.entities[1].type(), EntityType::kText);
  EXPECT_EQ(TextOf(d.entities[1]), "x");
}

void ExpectRefused(const std::string& dxf, const std::string& part, const DxfLimits& limits = All()) {
  try {
    ParseDxf(dxf, "bad.dxf", limits);
    ADD_FAILURE() << "accepted; expected: " << part;
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kGeneral);
    EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
  }
}

// The limits that protect the machine refuse a drawing, strict or not: nesting,
// entities placed, edges of one hatch.
TEST(DxfBlocks, HostileDrawingsAreRefused) {
  const Groups line{{0, "LINE"}, {11, "1"}};
  Groups deep = Block("L0", line);
  for (int k = 1; k <= 1000; ++k) {
    deep = Cat({deep, Block("L" + std::to_string(k), Insert("L" + std::to_string(k - 1)))});
  }
  ExpectRefused(Drawing(deep, Insert("L1000")), "more than 200 levels deep");
  // 10 000 x 10 000 copies: refused before any is made.
  const Groups grid{{0, "INSERT"}, {2, "G"}, {70, "10000"}, {71, "10000"}, {44, "1"}, {45, "1"}};
  ExpectRefused(Drawing(Block("G", line), grid), "place more than 1000000 entities");
  DxfLimits few = All();
  few.maxHatchEdges = 3;
  const Groups edges{{0, "HATCH"}, {91, "1"}, {92, "1"}, {93, "4"}};
  ExpectRefused(Drawing({}, edges), "the HATCH has more than 3 edges", few);
}

// What one entity's own numbers cannot draw is left out, counted with its reason and
// the refusal strict reading gives (the drawing's other entities are read): a
// spline without fit points whose numbers make no B-spline, blocks that insert each
// other (the reference that closes the loop is cut), a hatch edge of no known type,
// a leader of one vertex, a polyface face naming a vertex the mesh lacks. A
// dimension whose block is missing is left out without a refusal, as it always was.
TEST(DxfBlocks, DegenerateEntitiesAreLeftOutWithTheirReason) {
  DxfLimits all = All();
  all.include |= kIncludeMeshes | kIncludeLeaders | kIncludeFrames;
  const Groups line{{0, "LINE"}, {11, "1"}};
  const Groups knots{{0, "SPLINE"}, {71, "1"}, {40, "0"}, {40, "1"}, {40, "0.5"}, {10, "0"},
                     {20, "0"}, {10, "1"}, {20, "1"}};
  const Groups degree{{0, "SPLINE"}, {71, "3"}, {40, "0"}, {40, "1"}, {10, "0"}, {20, "0"},
                      {10, "1"}, {20, "1"}};
  const Groups edge{{0, "HATCH"}, {91, "1"}, {92, "1"}, {93, "1"}, {72, "9"}};
  const Groups leader{{0, "LEADER"}, {10, "1"}, {20, "1"}};
  const Groups face{{0, "POLYLINE"}, {70, "64"}, {71, "3"}, {72, "1"},
                    {0, "VERTEX"}, {70, "192"}, {10, "0"}, {20, "0"},
                    {0, "VERTEX"}, {70, "192"}, {10, "1"}, {20, "0"},
                    {0, "VERTEX"}, {70, "192"}, {10, "1"}, {20, "1"},
                    {0, "VERTEX"}, {70, "128"}, {71, "1"}, {72, "2"}, {73, "-9"}, {0, "SEQEND"}};
  const Groups dimension{{0, "DIMENSION"}, {2, "*D7"}};
  const DxfDrawing d = ParseDxf(
      Drawing(Cat({Block("A", Cat({line, Insert("B")})), Block("B", Cat({line, Insert("A")}))}),
              Cat({knots, line, degree, Insert("A"), edge, leader, face, dimension})),
      "bad.dxf", all);
  // The model's line, then A's line and B's; nothing else.
  ASSERT_EQ(d.entities.size(), 3u);
  EXPECT_EQ(d.entities[2].blockPath, "A/B");
  std::string got;
  for (const SkippedKind& s : d.skipped) {
    got += s.kind + "=" + std::to_string(s.count) + " (" + s.reason + ") ";
  }
  EXPECT_EQ(got,
            "SPLINE=1 (knots decrease) SPLINE=1 (degree 3 for 2 control points) "
            "HATCH=1 (an edge of unknown type 9) LEADER=1 (fewer than two vertices) "
            "POLYLINE (polyface)=1 (a face names vertex 9 of 3) "
            "INSERT=1 (inserts itself: A -> B -> A) DIMENSION=1 (its block is missing) ");
  ASSERT_EQ(d.skipped.size(), 7u);
  EXPECT_EQ(d.skipped[0].refusal, "bad.dxf, line 63: the SPLINE's knots decrease (knot 3 is "
                                  "less than knot 2); such a drawing cannot be converted.");
  EXPECT_NE(d.skipped[5].refusal.find(
                ": the block \"A\" contains itself (\"A\" -> \"B\" -> \"A\"); such a drawing"),
            std::string::npos)
      << d.skipped[5].refusal;
  EXPECT_EQ(d.skipped[5].reasonChinese, "插入自身：A -> B -> A");
  EXPECT_EQ(d.skipped[6].refusal, "");
  // A block that holds only a reference to itself places nothing but is still said.
  const DxfDrawing self = ParseDxf(Drawing(Block("SELF", Insert("SELF")), Insert("SELF")),
                                   "self.dxf", all);
  EXPECT_TRUE(self.entities.empty());
  ASSERT_EQ(self.skipped.size(), 1u);
  EXPECT_EQ(self.skipped[0].reason, "inserts itself: SELF -> SELF");
}

// Numbers that make no B-spline beside two fit points or more: the spline is drawn
// through its fit points, closed when it is (a closed spline of 5 fit points and 7
// control points without knots).
TEST(DxfBlocks, SplineWithoutUsableKnotsKeepsItsFitPoints) {
  Groups spline{{0, "SPLINE"}, {70, "11"}, {71, "3"}, {72, "0"}, {73, "7"}, {74, "5"}};
  for (int k = 0; k < 7; ++k) {
    spline.insert(spline.end(), {{10, std::to_string(k)}, {20, std::to_string(k * k)}});
  }
  for (int k = 0; k < 5; ++k) {
    spline.insert(spline.end(), {{11, std::to_string(10 * k)}, {21, std::to_string(k % 2)}});
  }
  const DxfDrawing d = ParseDxf(Drawing({}, spline), "s.dxf", All());
  ASSERT_EQ(d.entities.size(), 1u);
  EXPECT_TRUE(d.skipped.empty());
  const Spline& s = test::As<Spline>(d.entities[0]);
  EXPECT_TRUE(s.control.empty() && s.knots.empty());
  EXPECT_EQ(s.fit.size(), 5u);
  EXPECT_TRUE(s.closed);
}

}  // namespace
}  // namespace varnolt
