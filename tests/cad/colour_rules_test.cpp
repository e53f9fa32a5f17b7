// The one colour rule against the DXF reader: every colour number, in range or not,
// on an entity and on a layer, reads as the reader reads group 62.
#include "cad/colour_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "cad/dxf.h"

namespace varnolt {
namespace {

TEST(ColourRules, AreTheDxfReadersForEveryNumber) {
  std::vector<int64_t> numbers;
  for (int64_t c = -300; c <= 300; ++c) numbers.push_back(c);
  for (int64_t c : {int64_t{32767}, int64_t{65536}, int64_t{1} << 40, -(int64_t{1} << 40)}) {
    numbers.push_back(c);
  }
  std::string layers, lines;
  for (size_t k = 0; k < numbers.size(); ++k) {
    const std::string name = "L" + std::to_string(k), c = std::to_string(numbers[k]);
    layers += "0\nLAYER\n2\n" + name + "\n70\n0\n62\n" + c + "\n6\nCONTINUOUS\n";
    lines += "0\nLINE\n8\n0\n62\n" + c + "\n10\n0\n20\n0\n11\n1\n21\n1\n";
  }
  const DxfDrawing d = ParseDxf("0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n" + layers +
                                    "0\nENDTAB\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n" + lines +
                                    "0\nENDSEC\n0\nEOF\n",
                                "colours.dxf");
  ASSERT_EQ(d.entities.size(), numbers.size());
  ASSERT_GE(d.layers.size(), numbers.size());
  for (size_t k = 0; k < numbers.size(); ++k) {
    EXPECT_EQ(d.entities[k].color, EntityColorAsRead(numbers[k])) << numbers[k];
    EXPECT_EQ(d.layers[k].name, "L" + std::to_string(k));
    EXPECT_EQ(d.layers[k].color, LayerColorAsRead(numbers[k])) << numbers[k];
  }
  // A number the reader's own parsing allows but whose negation overflows.
  EXPECT_EQ(LayerColorAsRead(std::numeric_limits<int64_t>::min()), 7);
}

}  // namespace
}  // namespace varnolt
