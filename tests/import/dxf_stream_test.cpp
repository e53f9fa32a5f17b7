// A large drawing written in pieces, on any number of threads: the same bytes as the
// drawing written whole, every handle once and below the seed, owners that exist, and
// our own reader gets the entities back.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "base/error.h"
#include "cad/dxf.h"
#include "cad/dxf_writer.h"

namespace varnolt {
namespace {

// Long 3D polylines cross the pieces' borders; layers differ in case only.
std::vector<Entity> Drawing() {
  std::vector<Entity> out;
  const char* layers[] = {"tracks", "TRACKS", "道路", "waypoints"};
  for (int k = 0; k < 60; ++k) {
    Entity e;
    e.layer = layers[k % 4];
    e.color = k % 3 == 0 ? kColorByLayer : k % 255 + 1;
    if (k % 3 == 0) {
      Polyline3d p;
      for (int i = 0; i < 2500 + k; ++i) p.vertices.push_back({500000.0 + i * 0.1, 3380000.0 + k, i * 0.01});
      p.closed = k % 2 == 0;
      e.geometry = std::move(p);
    } else if (k % 3 == 1) {
      LwPolyline p;
      for (int i = 0; i < 900; ++i) p.vertices.push_back({500000.0 - i, 3380000.0 + i * 1e-3, 0});
      e.geometry = std::move(p);
    } else {
      Text t;
      t.insertion = {500000.0 + k, 3380000.0, 1.5};
      t.textstring = "井" + std::to_string(k);
      t.height = 2.5;
      e.geometry = std::move(t);
    }
    out.push_back(std::move(e));
  }
  return out;
}

// The values of the group lines with code `code`.
std::vector<std::string> Values(const std::string& dxf, const std::string& code) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < dxf.size()) {
    const size_t codeEnd = dxf.find("\r\n", at);
    const size_t valueEnd = dxf.find("\r\n", codeEnd + 2);
    if (codeEnd == std::string::npos || valueEnd == std::string::npos) break;
    if (dxf.compare(at, codeEnd - at, code) == 0) {
      out.push_back(dxf.substr(codeEnd + 2, valueEnd - codeEnd - 2));
    }
    at = valueEnd + 2;
  }
  return out;
}

TEST(DxfStream, PiecesOnAnyThreadsGiveTheWholeDrawing) {
  const std::vector<Layer> layers = {{"道路", 3}};
  const std::vector<Entity> entities = Drawing();
  const std::string whole = WriteDxf(layers, entities);
  for (unsigned threads : {1u, 2u, 3u}) {
    SCOPED_TRACE(threads);
    std::string streamed;
    size_t pieces = 0, last = 0;
    WriteDxf(layers, entities,
             [&](std::string_view bytes) {
               streamed += bytes;
               ++pieces;
             },
             threads,
             [&](size_t written, size_t total) {
               EXPECT_GT(written, last);
               EXPECT_EQ(total, entities.size());
               last = written;
             });
    EXPECT_TRUE(streamed == whole) << "the pieces differ from the drawing written whole";
    EXPECT_GT(pieces, 4u) << "too few pieces to test their borders";
    EXPECT_EQ(last, entities.size());
  }

  // Every object's handle once, all below the seed; VERTEX and SEQEND owned by a
  // POLYLINE that is there.
  std::vector<std::string> handles = Values(whole, "5");
  for (const std::string& h : Values(whole, "105")) handles.push_back(h);
  const std::set<std::string> unique(handles.begin(), handles.end());
  EXPECT_EQ(unique.size(), handles.size()) << "a handle is used twice";
  const std::string seed = Values(whole, "5")[0];  // $HANDSEED comes first
  const unsigned long seedValue = std::stoul(seed, nullptr, 16);
  unsigned long highest = 0;
  for (const std::string& h : handles) {
    if (&h != &handles[0]) highest = std::max(highest, std::stoul(h, nullptr, 16));
  }
  EXPECT_EQ(highest + 1, seedValue);
  for (const std::string& owner : Values(whole, "330")) {
    EXPECT_TRUE(owner == "0" || unique.count(owner) == 1) << "owner " << owner << " is missing";
  }

  const DxfDrawing back = ParseDxf(whole, "stream.dxf");
  ASSERT_EQ(back.entities.size(), entities.size());
  for (size_t k = 0; k < entities.size(); ++k) {
    EXPECT_TRUE(back.entities[k].geometry == entities[k].geometry) << "entity " << k;
  }
  // "tracks" and "TRACKS" are one layer: 0, 道路, tracks, waypoints.
  EXPECT_EQ(back.layers.size(), 4u);
}

TEST(DxfStream, AKindItCannotWriteIsRefusedBeforeAByte) {
  std::vector<Entity> entities = Drawing();
  Entity circle;
  circle.geometry = Circle{{1, 2, 3}, 4};
  entities.push_back(circle);
  bool heard = false;
  EXPECT_THROW(WriteDxf({}, entities, [&](std::string_view) { heard = true; }, 2), Error);
  EXPECT_FALSE(heard);
}

}  // namespace
}  // namespace varnolt
