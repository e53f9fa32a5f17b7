#include "geodesy/plane.h"

#include <gtest/gtest.h>

#include <cmath>

namespace varnolt {
namespace {

const double kPi = 4 * std::atan(1.0);

TEST(Plane, DistanceUsesAllThreeComponents) {
  EXPECT_EQ(pt_pt({0, 0, 0}, {3, 4, 0}), 5);
  EXPECT_EQ(pt_pt({0, 0, 0}, {0, 0, 2}), 2);
  EXPECT_EQ(pt_pt({7, 8, 9}, {7, 8, 9}), 0);
}

TEST(Plane, MidpointLeavesTheThirdComponent) {
  Point3 p{5, 5, 5};
  pp_mid({0, 0, 7}, {2, 4, 9}, p);
  EXPECT_EQ(p, (Point3{1, 2, 5}));
}

TEST(Plane, DirectionAngleInAllOctants) {
  const Point3 o{0, 0, 0};
  EXPECT_EQ(fwjjs(o, {1, 0, 0}), 0);
  EXPECT_DOUBLE_EQ(fwjjs(o, {1, 1, 0}), kPi / 4);
  EXPECT_DOUBLE_EQ(fwjjs(o, {0, 1, 0}), kPi / 2);
  EXPECT_DOUBLE_EQ(fwjjs(o, {-1, 1, 0}), 3 * kPi / 4);
  EXPECT_DOUBLE_EQ(fwjjs(o, {-1, 0, 0}), kPi);
  EXPECT_DOUBLE_EQ(fwjjs(o, {-1, -1, 0}), 5 * kPi / 4);
  EXPECT_DOUBLE_EQ(fwjjs(o, {0, -1, 0}), 3 * kPi / 2);
  EXPECT_DOUBLE_EQ(fwjjs(o, {1, -1, 0}), 7 * kPi / 4);
  EXPECT_DOUBLE_EQ(fwjjs(o, o), 3 * kPi / 2);  // coincident points
}

TEST(Plane, PointAtDistanceAlongTheLine) {
  Point3 p{};
  xnd({0, 0, 0}, {10, 0, 0}, p, 4);
  EXPECT_EQ(p, (Point3{4, 0, 0}));
  xnd({0, 0, 0}, {10, 0, 0}, p, 15);  // beyond p2
  EXPECT_EQ(p, (Point3{15, 0, 0}));
  xnd({0, 0, 0}, {10, 0, 0}, p, 0);
  EXPECT_EQ(p, (Point3{0, 0, 0}));
  xnd({0, 0, 0}, {0, 30, 40}, p, 10);  // z is interpolated too
  EXPECT_NEAR(p[1], 6, 1e-12);
  EXPECT_NEAR(p[2], 8, 1e-12);
  xnd({3, 4, 0}, {3, 4, 0}, p, 12);  // coincident ends give p1
  EXPECT_EQ(p, (Point3{3, 4, 0}));
}

TEST(Plane, OutputMayAliasAnInput) {
  Point3 a{0, 0, 0};
  xnd(a, {10, 0, 0}, a, 4);
  EXPECT_EQ(a, (Point3{4, 0, 0}));
}

}  // namespace
}  // namespace varnolt
