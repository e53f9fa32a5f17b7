// Entities compare by every value of their kind and of what all entities share, so
// that two readings of one file can be held against each other.
#include "cad/entity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "cad/dxf.h"
#include "entity_access.h"

namespace varnolt {
namespace {

// Each entity of the drawings of every kind equals its copy and nothing else there:
// no two of them agree in kind, place and data.
TEST(EntityEquality, EachEntityOfEveryKindEqualsOnlyItself) {
  const std::filesystem::path golden = std::filesystem::path(VARNOLT_SOURCE_DIR) / "tests" / "golden";
  DxfLimits all;
  all.include = kIncludeAll;
  size_t kinds = 0;
  for (const char* name : {"families", "kinds_blocks", "kinds_points", "kinds_ellipses",
                           "kinds_splines", "kinds_fitted", "kinds_hatches",
                           "kinds_solids_polygons"}) {
    SCOPED_TRACE(name);
    const DxfDrawing d = ReadDxfFile(golden / name / "drawing.dxf", all);
    for (size_t i = 0; i < d.entities.size(); ++i) {
      const Entity copy = d.entities[i];
      EXPECT_TRUE(copy == d.entities[i]) << i;
      for (size_t j = 0; j < d.entities.size(); ++j) {
        if (j != i) {
          EXPECT_FALSE(d.entities[j] == d.entities[i]) << i << " " << j;
        }
      }
    }
    kinds += d.entities.size();
  }
  EXPECT_GT(kinds, 40u);
}

// What every entity shares counts, the kind counts even where the numbers agree, and
// a NaN makes an entity equal to none, itself included, while two readings holding
// it still agree.
TEST(EntityEquality, CommonPartKindAndNaN) {
  const Entity circle = test::Make(Circle{{1, 2, 3}, 4});
  Entity other = circle;
  other.insertId = 1;
  EXPECT_FALSE(other == circle);
  other = circle;
  other.blockPath = "TREE";
  EXPECT_FALSE(other == circle);
  const Entity arc = test::Make(Arc{{1, 2, 3}, 4, 0, 0});
  EXPECT_FALSE(arc == circle);
  EXPECT_EQ(arc.type(), EntityType::kArc);

  Entity nan = test::Make(test::Pline({0, 0, 1, std::nan("")}));
  EXPECT_FALSE(nan == nan);
  EXPECT_TRUE(SameReading(nan, nan));
  EXPECT_FALSE(SameReading(nan, circle));
  EXPECT_TRUE(SameReading(circle, circle));
}

}  // namespace
}  // namespace varnolt
