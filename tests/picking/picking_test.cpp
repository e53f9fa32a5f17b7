// Picking without a display: outlines, the view mapping and the three hit tests.
#include "picking/picking.h"

#include <gtest/gtest.h>

#include <cmath>

#include "cad/plain_text.h"
#include "entity_access.h"

namespace varnolt {
namespace {

constexpr double kPi = 3.14159265358979323846;

Entity Line(double x1, double y1, double x2, double y2) {
  return test::Make(varnolt::Line{{x1, y1, 0}, {x2, y2, 0}});
}

Entity Circle(double cx, double cy, double r) {
  return test::Make(varnolt::Circle{{cx, cy, 0}, r});
}

// The shape of an entity of this kind.
template <class Kind>
Shape ShapeOfKind(const Kind& kind) {
  return ShapeOf(test::Make(kind));
}

// 1 pixel per unit, world origin at the top-left corner of a 200 x 200 view: the
// world point (x, y) is at screen (x, 200 - y).
Viewport UnitView() { return Viewport{1, {100, 100}, 200, 200}; }

TEST(PickingGeometry, DistanceToSegment) {
  EXPECT_DOUBLE_EQ(DistanceToSegment({5, 3}, {0, 0}, {10, 0}), 3);    // perpendicular foot
  EXPECT_DOUBLE_EQ(DistanceToSegment({13, 4}, {0, 0}, {10, 0}), 5);   // beyond the end
  EXPECT_DOUBLE_EQ(DistanceToSegment({-3, -4}, {0, 0}, {10, 0}), 5);  // before the start
  EXPECT_DOUBLE_EQ(DistanceToSegment({3, 4}, {0, 0}, {0, 0}), 5);     // degenerate segment
}

TEST(PickingGeometry, SegmentTouchesRect) {
  const Rect2 r{10, 10, 20, 20};
  EXPECT_TRUE(SegmentTouchesRect({0, 15}, {30, 15}, r));   // through, both ends outside
  EXPECT_TRUE(SegmentTouchesRect({15, 15}, {50, 50}, r));  // one end inside
  EXPECT_TRUE(SegmentTouchesRect({0, 10}, {30, 10}, r));   // along the top edge
  EXPECT_TRUE(SegmentTouchesRect({5, 25}, {15, 20}, r));   // ends on the border
  EXPECT_FALSE(SegmentTouchesRect({0, 0}, {30, 5}, r));    // passes above
  EXPECT_FALSE(SegmentTouchesRect({0, 25}, {9, 40}, r));   // beside it
  EXPECT_FALSE(SegmentTouchesRect({0, 19}, {9.9, 30}, r));  // diagonal missing a corner
}

TEST(PickingGeometry, ViewportRoundTripAndYUp) {
  const Viewport vp{2.5, {512300, 3380400}, 800, 600};
  const Point2 s = vp.ToScreen({512310, 3380404});
  EXPECT_DOUBLE_EQ(s.x, 425);  // 400 + 10 * 2.5
  EXPECT_DOUBLE_EQ(s.y, 290);  // 300 - 4 * 2.5: north is up
  const Point2 w = vp.ToWorld(s);
  EXPECT_NEAR(w.x, 512310, 1e-9);
  EXPECT_NEAR(w.y, 3380404, 1e-9);
}

TEST(PickingGeometry, ZoomToExtentsFitsTheLimitingSide) {
  const Viewport vp = ZoomToExtents({0, 0, 200, 50}, 420, 420, 10);
  EXPECT_DOUBLE_EQ(vp.scale, 2);  // 400 px for 200 units across; height is not limiting
  EXPECT_DOUBLE_EQ(vp.center.x, 100);
  EXPECT_DOUBLE_EQ(vp.center.y, 25);
  // A single point cannot be fitted: scale 1 about it.
  const Viewport point = ZoomToExtents({5, 5, 5, 5}, 100, 100, 10);
  EXPECT_DOUBLE_EQ(point.scale, 1);
  EXPECT_DOUBLE_EQ(point.center.x, 5);
}

TEST(PickingShapes, CircleReachesItsFourExtremes) {
  const auto ext = Extents({ShapeOf(Circle(10, 20, 5))});
  ASSERT_TRUE(ext);
  EXPECT_NEAR(ext->left, 5, 1e-12);
  EXPECT_NEAR(ext->right, 15, 1e-12);
  EXPECT_NEAR(ext->top, 15, 1e-12);
  EXPECT_NEAR(ext->bottom, 25, 1e-12);
}

TEST(PickingShapes, ArcRunsCounterClockwiseAndMirrorsForNegativeExtrusion) {
  Arc arc{{0, 0, 0}, 10, 0, kPi / 2};  // first quadrant
  Shape s = ShapeOfKind(arc);
  ASSERT_EQ(s.paths.size(), 1u);
  EXPECT_NEAR(s.paths[0].front().x, 10, 1e-12);
  EXPECT_NEAR(s.paths[0].back().y, 10, 1e-12);
  for (const Point2& p : s.paths[0]) EXPECT_GE(p.x, -1e-9);

  arc.normal = {0, 0, -1};  // seen from below: second quadrant in plan
  s = ShapeOfKind(arc);
  for (const Point2& p : s.paths[0]) {
    EXPECT_LE(p.x, 1e-9);
    EXPECT_GE(p.y, -1e-9);
  }
  // An arc across angle 0 (300 to 60 degrees) goes the short way, through east.
  arc.normal = {0, 0, 1};
  arc.startAngle = 5 * kPi / 3;
  arc.endAngle = kPi / 3;
  s = ShapeOfKind(arc);
  for (const Point2& p : s.paths[0]) EXPECT_GT(p.x, 4.99);
}

TEST(PickingShapes, PolylineBulgesAndClosingSegment) {
  // A semicircle from (0,0) to (10,0), counter-clockwise: below.
  const Shape s = ShapeOfKind(test::Pline({0, 0, 10, 0, 10, 10}, {1, 0, 0}, true));
  ASSERT_EQ(s.paths.size(), 1u);
  const auto& path = s.paths[0];
  double lowest = 0;
  for (const Point2& p : path) lowest = std::min(lowest, p.y);
  EXPECT_NEAR(lowest, -5, 1e-9);  // the semicircle's radius
  // Closed: the outline ends where it began.
  EXPECT_DOUBLE_EQ(path.back().x, 0);
  EXPECT_DOUBLE_EQ(path.back().y, 0);
}

TEST(PickingShapes, TextAnchorsAsTheConverterTakesThem) {
  Text t;
  t.insertion = {1, 2, 0};
  t.textstring = "K0+120";
  EXPECT_DOUBLE_EQ(ShapeOfKind(t).anchor.x, 1);  // no alignment point: insertion
  t.alignment = {7, 8, 0};
  EXPECT_DOUBLE_EQ(ShapeOfKind(t).anchor.x, 7);
  EXPECT_DOUBLE_EQ(ShapeOfKind(t).anchor.y, 8);
  MText m;
  m.insertion = {3, 4, 0};
  m.textstring = "雨水管线\\P管径 DN600";
  const Shape s = ShapeOfKind(m);
  EXPECT_TRUE(s.isText);
  EXPECT_DOUBLE_EQ(s.anchor.x, 3);
  EXPECT_EQ(s.label, "雨水管线\n管径 DN600");
}

TEST(PickingShapes, PlainMTextDropsFormattingCodes) {
  EXPECT_EQ(PlainMText("{\\fSimSun|b0|i0|c134;道路}\\P宽\\~6m"), "道路\n宽 6m");
  EXPECT_EQ(PlainMText("\\H2.5x;\\LA\\lB\\\\C"), "AB\\C");
  EXPECT_EQ(PlainMText("1\\S1^ 2;"), "11/2");  // a caret is stored as "^ "
}

TEST(PickingHits, PickTakesTheNearestWithinThePickBox) {
  // Two horizontal lines 6 px apart.
  const std::vector<Shape> shapes = {ShapeOf(Line(0, 100, 200, 100)),
                                     ShapeOf(Line(0, 106, 200, 106))};
  const Viewport vp = UnitView();
  EXPECT_EQ(PickAt(shapes, vp, {50, 101}, 4), 0u);    // 1 px from line 0, 5 from line 1
  EXPECT_EQ(PickAt(shapes, vp, {50, 95}, 4), 1u);     // screen y 95 is world y 105
  EXPECT_FALSE(PickAt(shapes, vp, {50, 88}, 4));      // 6 px above line 1
  EXPECT_FALSE(PickAt(shapes, vp, {205, 100}, 4));    // 5 px beyond the end
  // Equally near: the one drawn last, on top.
  const std::vector<Shape> twins = {ShapeOf(Line(0, 100, 200, 100)),
                                    ShapeOf(Line(0, 100, 200, 100))};
  EXPECT_EQ(PickAt(twins, vp, {10, 100}, 4), 1u);
}

TEST(PickingHits, PickTolerancesAreInPixelsAtAnyZoom) {
  const std::vector<Shape> shapes = {ShapeOf(Line(0, 0, 10, 0))};
  Viewport vp{10, {5, 0}, 200, 200};  // 10 px per unit
  // 0.3 units off is 3 px at this zoom: hit; 0.5 units is 5 px: miss.
  EXPECT_TRUE(PickAt(shapes, vp, vp.ToScreen({5, 0.3}), 4));
  EXPECT_FALSE(PickAt(shapes, vp, vp.ToScreen({5, 0.5}), 4));
}

TEST(PickingHits, PickInsideALabelBox) {
  Text t;
  t.insertion = {50, 50, 0};
  t.textstring = "1号楼";
  Shape s = ShapeOfKind(t);
  s.labelWidthPx = 40;
  s.labelHeightPx = 16;
  s.labelAscentPx = 12;
  const Viewport vp = UnitView();  // anchor at screen (50, 150); box 50..90 x 138..154
  EXPECT_EQ(PickAt({s}, vp, {85, 145}, 4), 0u);
  EXPECT_FALSE(PickAt({s}, vp, {100, 145}, 4));
}

TEST(PickingHits, WindowTakesOnlyWhatIsWhollyInside) {
  const std::vector<Shape> shapes = {
      ShapeOf(Line(20, 20, 60, 20)),   // inside
      ShapeOf(Line(20, 40, 120, 40)),  // crosses the right edge
      ShapeOf(Circle(50, 60, 10)),     // inside
      ShapeOf(Circle(50, 60, 100)),    // encloses the window without touching it
  };
  const Viewport vp = UnitView();
  // World x 10..100, y 10..80 is screen x 10..100, y 120..190.
  const Rect2 r = Rect2::FromCorners(vp.ToScreen({10, 10}), vp.ToScreen({100, 80}));
  EXPECT_EQ(WindowSelect(shapes, vp, r), (std::vector<size_t>{0, 2}));
  EXPECT_EQ(CrossingSelect(shapes, vp, r), (std::vector<size_t>{0, 1, 2}));
  // A circle that touches the window only at its rim is crossed.
  const std::vector<Shape> rim = {ShapeOf(Circle(110, 50, 10))};
  EXPECT_EQ(CrossingSelect(rim, vp, r), (std::vector<size_t>{0}));
  EXPECT_TRUE(WindowSelect(rim, vp, r).empty());
}

TEST(PickingHits, DragDirectionChoosesTheMode) {
  EXPECT_EQ(BoxModeOf({10, 50}, {90, 10}), BoxMode::kWindow);
  EXPECT_EQ(BoxModeOf({90, 10}, {10, 50}), BoxMode::kCrossing);
}

TEST(PickingHits, LabelsAreWindowedByTheirWholeBox) {
  Text t;
  t.insertion = {50, 50, 0};
  Shape s = ShapeOfKind(t);
  s.labelWidthPx = 40;
  s.labelHeightPx = 16;
  s.labelAscentPx = 12;
  const Viewport vp = UnitView();  // box 50..90 x 138..154 on screen
  EXPECT_TRUE(WindowSelect({s}, vp, {40, 130, 95, 160}).size() == 1);
  EXPECT_TRUE(WindowSelect({s}, vp, {40, 130, 80, 160}).empty());  // cuts the label
  EXPECT_EQ(CrossingSelect({s}, vp, {80, 100, 85, 140}).size(), 1u);
  EXPECT_TRUE(CrossingSelect({s}, vp, {91, 100, 95, 140}).empty());
}

// A text with a height grows with the zoom and turns with its rotation: 2 units high
// at 3 px a unit is 6 px of ascent, the font's 12 halved; turned a quarter, the
// label runs up the screen from the anchor.
TEST(PickingHits, TextsAtTheirHeightAndRotation) {
  Text t;
  t.insertion = {50, 50, 0};
  t.height = 2;
  t.rotation = std::acos(-1.0) / 2;
  Shape s = ShapeOfKind(t);
  s.labelWidthPx = 40;
  s.labelHeightPx = 16;
  s.labelAscentPx = 12;
  Viewport vp = UnitView();
  vp.scale = 3;
  EXPECT_DOUBLE_EQ(LabelScale(s, vp), 0.5);
  const Point2 a = vp.ToScreen({50, 50});
  // Along the text 20 px (40 halved) upward, 6 px of ascent to the left of it.
  EXPECT_EQ(PickAt({s}, vp, {a.x - 3, a.y - 15}, 0), std::optional<size_t>(0));
  EXPECT_EQ(PickAt({s}, vp, {a.x + 10, a.y - 3}, 0), std::nullopt);
  EXPECT_EQ(WindowSelect({s}, vp, {a.x - 7, a.y - 21, a.x + 3, a.y + 1}).size(), 1u);
  EXPECT_TRUE(WindowSelect({s}, vp, {a.x - 7, a.y - 15, a.x + 3, a.y + 1}).empty());
}

TEST(PickList, KeepsPickOrderWithoutRepeats) {
  PickList picks;
  picks.Add(std::vector<size_t>{4, 1});
  picks.Add(7);
  picks.Add(4);  // again: stays where it was
  EXPECT_EQ(picks.Order(), (std::vector<size_t>{4, 1, 7}));
  picks.Remove(1);
  picks.Remove(9);  // never picked
  EXPECT_EQ(picks.Order(), (std::vector<size_t>{4, 7}));
  EXPECT_FALSE(picks.Contains(1));
  picks.Add(1);  // picked again after removal: goes to the end
  EXPECT_EQ(picks.Order(), (std::vector<size_t>{4, 7, 1}));
}

// A block reference picks as one: a hit on any of its entities takes them all, a
// window only an insert it holds whole, a crossing any insert it touches.
TEST(PickingHits, InsertsPickAsOne) {
  std::vector<Entity> e(7);
  for (size_t k : {1, 2, 3}) e[k].insertId = 1;
  for (size_t k : {5, 6}) e[k].insertId = 2;
  EXPECT_EQ(WholeInserts(e, {2, 0}, false), (std::vector<size_t>{1, 2, 3, 0}));
  EXPECT_EQ(WholeInserts(e, {3, 4, 5, 6, 1}, true), (std::vector<size_t>{4, 5, 6}));
  EXPECT_EQ(WholeInserts(e, {3, 4, 5, 6, 1}, false), (std::vector<size_t>{1, 2, 3, 4, 5, 6}));
}

}  // namespace
}  // namespace varnolt
