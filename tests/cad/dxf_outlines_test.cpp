// Meshes, leaders, a multileader, images and a wipeout, in model space and placed
// from a rotated, scaled block, against what ezdxf reads of them
// (data/make_outlines.py wrote the drawing and ezdxf's readings).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cad/dxf.h"

namespace varnolt {
namespace {

std::filesystem::path Data(const char* name) {
  return std::filesystem::path(VARNOLT_SOURCE_DIR) / "tests" / "cad" / "data" / name;
}

// One reading: "FACE k", "LINE k" or "TEXT k" with its points (and the text).
struct Item {
  std::string what;
  std::vector<Point3> points;
  std::string text;
};

// A face's distinct corners in one order: sorted by coordinates taken to a
// micrometre, so that two readings that differ in the last bits sort alike.
std::vector<Point3> Corners(std::vector<Point3> c) {
  auto key = [](const Point3& p) {
    return std::array<double, 3>{std::round(p[0] * 1e6), std::round(p[1] * 1e6),
                                 std::round(p[2] * 1e6)};
  };
  std::sort(c.begin(), c.end(), [&](const Point3& a, const Point3& b) { return key(a) < key(b); });
  c.erase(std::unique(c.begin(), c.end(),
                      [&](const Point3& a, const Point3& b) { return key(a) == key(b); }),
          c.end());
  return c;
}

std::vector<Item> Ours(const DxfDrawing& d) {
  std::vector<Item> items;
  for (size_t k = 0; k < d.entities.size(); ++k) {
    const std::string n = " " + std::to_string(k);
    const Entity& e = d.entities[k];
    if (const Mesh* m = e.As<Mesh>()) {
      for (const MeshFace& f : m->faces) items.push_back({"FACE" + n, Corners({f.begin(), f.end()}), ""});
    } else if (const Leader* l = e.As<Leader>()) {
      for (const std::vector<Point3>& line : l->lines) items.push_back({"LINE" + n, line, ""});
    } else if (const Frame* f = e.As<Frame>()) {
      std::vector<Point3> ring = f->boundary;
      ring.push_back(ring.front());
      items.push_back({"LINE" + n, ring, ""});
    } else if (const MText* t = e.As<MText>()) {
      items.push_back({"TEXT" + n, {t->insertion}, t->textstring});
    } else {
      items.push_back({"OTHER" + n, {}, ""});
    }
  }
  return items;
}

std::vector<Item> Expected() {
  std::ifstream in(Data("outlines_expected.txt"));
  std::vector<Item> items;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string kind, k;
    words >> kind >> k;
    Item item{kind + " " + k, {}, ""};
    const size_t values = kind == "TEXT" ? 3 : static_cast<size_t>(-1);
    Point3 p{};
    for (size_t j = 0; j < values && words >> p[j % 3]; ++j) {
      if (j % 3 == 2) item.points.push_back(p);
    }
    if (kind == "TEXT") std::getline(words >> std::ws, item.text);
    if (kind == "FACE") item.points = Corners(item.points);
    items.push_back(std::move(item));
  }
  return items;
}

// Faces come in any order: both sides sorted by entity, an entity's faces by their
// corners (its lines keep their order).
void SortFaces(std::vector<Item>& items) {
  std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
    if (a.what != b.what) return a.what < b.what;
    if (a.what.rfind("FACE", 0) != 0) return false;
    const std::vector<Point3> ka = Corners(a.points), kb = Corners(b.points);
    for (size_t j = 0; j < std::min(ka.size(), kb.size()); ++j) {
      for (size_t c = 0; c < 3; ++c) {
        const double x = std::round(ka[j][c] * 1e6), y = std::round(kb[j][c] * 1e6);
        if (x != y) return x < y;
      }
    }
    return ka.size() < kb.size();
  });
}

TEST(DxfOutlines, ReadAsEzdxfReadsThem) {
  DxfLimits limits;
  limits.include = kIncludeBlocks | kIncludeMeshes | kIncludeLeaders | kIncludeFrames;
  const DxfDrawing d = ReadDxfFile(Data("outlines.dxf"), limits);
  EXPECT_TRUE(d.skipped.empty());
  std::vector<Item> got = Ours(d), expected = Expected();
  SortFaces(got);
  SortFaces(expected);
  ASSERT_EQ(got.size(), expected.size());
  for (size_t j = 0; j < got.size(); ++j) {
    SCOPED_TRACE(expected[j].what + " (item " + std::to_string(j) + ")");
    EXPECT_EQ(got[j].what, expected[j].what);
    EXPECT_EQ(got[j].text, expected[j].text);
    ASSERT_EQ(got[j].points.size(), expected[j].points.size());
    for (size_t p = 0; p < got[j].points.size(); ++p) {
      for (size_t c = 0; c < 3; ++c) EXPECT_NEAR(got[j].points[p][c], expected[j].points[p][c], 1e-6);
    }
  }
  // Left out unless included: each counted under its own kind.
  const DxfDrawing plain = ReadDxfFile(Data("outlines.dxf"));
  std::string skipped;
  for (const SkippedKind& s : plain.skipped) skipped += s.kind + "=" + std::to_string(s.count) + " ";
  EXPECT_EQ(skipped,
            "POLYLINE (polyface)=1 POLYLINE (mesh)=1 LEADER=1 MULTILEADER=1 IMAGE=2 WIPEOUT=1 "
            "INSERT=1 ");
}

}  // namespace
}  // namespace varnolt
