// The drawing view's mouse and keys without a display: what a click, a window, a
// crossing window, Shift, the keys and the wheel do to the picks and the view.
#include "picking/picking_view.h"

#include <gtest/gtest.h>

#include <memory>

#include "entity_access.h"

namespace varnolt {
namespace {

using Button = PickingView::Button;
using Key = PickingView::Key;

Entity Line(double x1, double y1, double x2, double y2) {
  return test::Make(varnolt::Line{{x1, y1, 0}, {x2, y2, 0}});
}

// Three lines across a 100 x 100 square, shown 1:1 in a 140 x 140 view (the
// 20-pixel margin): world (x, y) is at screen (20 + x, 120 - y).
class PickingViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto drawing = std::make_shared<DxfDrawing>();
    drawing->entities = {Line(0, 0, 100, 0), Line(0, 50, 40, 50), Line(0, 100, 100, 100)};
    view_.SetDrawing(drawing, {});
    view_.Resize(140, 140);
    view_.BeginSelection();
  }
  static Point2 At(double x, double y) { return {20 + x, 120 - y}; }
  // A drag from one world point to another.
  PickingView::Change Drag(Point2 from, Point2 to, bool shift = false) {
    view_.Press(Button::kLeft, At(from.x, from.y), shift);
    view_.Move(At(to.x, to.y));
    return view_.Release(Button::kLeft, At(to.x, to.y), shift);
  }
  PickingView view_;
};

TEST_F(PickingViewTest, AClickPicksTheNearestAndOnEmptySpaceStartsABox) {
  EXPECT_DOUBLE_EQ(view_.viewport().scale, 1);  // fitted once it had a size
  // Within the pick box of the middle line: it alone.
  view_.Press(Button::kLeft, At(20, 53), false);
  const PickingView::Change picked = view_.Release(Button::kLeft, At(20, 53), false);
  EXPECT_TRUE(picked.picksChanged);
  EXPECT_EQ(view_.picked(), (std::vector<size_t>{1}));
  // Empty space: the first corner of a box; the second click, to its lower left, a
  // crossing window that catches the bottom line.
  view_.Press(Button::kLeft, At(70, 30), false);
  view_.Release(Button::kLeft, At(70, 30), false);
  EXPECT_EQ(view_.picked().size(), 1u);
  ASSERT_TRUE(view_.Band().has_value());
  view_.Press(Button::kLeft, At(-10, -10), false);
  EXPECT_EQ(view_.picked(), (std::vector<size_t>{1, 0}));
  EXPECT_FALSE(view_.Band().has_value());
}

TEST_F(PickingViewTest, WindowTakesWhatIsInsideCrossingWhatItTouchesShiftRemoves) {
  // Left to right: only the short middle line lies wholly inside.
  Drag({-5, 105}, {45, 45});
  EXPECT_EQ(view_.picked(), (std::vector<size_t>{1}));
  // Right to left over the top line's left part: touching is enough.
  Drag({60, 105}, {-5, 95});
  EXPECT_EQ(view_.picked(), (std::vector<size_t>{1, 2}));
  // The same with Shift over the middle line takes it out again.
  Drag({60, 55}, {-5, 45}, true);
  EXPECT_EQ(view_.picked(), (std::vector<size_t>{2}));
}

TEST_F(PickingViewTest, KeysEndCancelAndSelectAll) {
  view_.KeyPress(Key::kSelectAll);
  EXPECT_EQ(view_.picked(), (std::vector<size_t>{0, 1, 2}));
  // Esc while a box is being spanned drops only the box.
  view_.Press(Button::kLeft, At(70, 30), false);
  view_.Release(Button::kLeft, At(70, 30), false);
  EXPECT_FALSE(view_.KeyPress(Key::kEscape).ended.has_value());
  EXPECT_TRUE(view_.selecting());
  // Enter ends with the picks kept.
  const PickingView::Change ended = view_.KeyPress(Key::kEnd);
  ASSERT_TRUE(ended.ended.has_value());
  EXPECT_FALSE(*ended.ended);
  EXPECT_EQ(view_.picked().size(), 3u);
  EXPECT_FALSE(view_.selecting());
  // Esc cancels: nothing picked.
  view_.BeginSelection();
  view_.KeyPress(Key::kSelectAll);
  const PickingView::Change cancelled = view_.KeyPress(Key::kEscape);
  ASSERT_TRUE(cancelled.ended.has_value());
  EXPECT_TRUE(*cancelled.ended);
  EXPECT_TRUE(view_.picked().empty());
  // A right click ends, as Enter does; outside a selection the left button pans.
  view_.BeginSelection();
  EXPECT_EQ(view_.Press(Button::kRight, At(0, 0), false).ended, std::optional<bool>(false));
  view_.Press(Button::kLeft, At(0, 0), false);
  view_.Release(Button::kLeft, At(0, 0), false);
  EXPECT_TRUE(view_.picked().empty());
}

TEST_F(PickingViewTest, WheelZoomsAboutTheCursorMiddleDragPansDoubleMiddleFits) {
  view_.Wheel(1, At(0, 0));
  EXPECT_DOUBLE_EQ(view_.viewport().scale, PickingView::kWheelZoom);
  Point2 w = view_.viewport().ToWorld(At(0, 0));
  EXPECT_NEAR(w.x, 0, 1e-9);
  EXPECT_NEAR(w.y, 0, 1e-9);
  // The point under the cursor follows the drag.
  const Point2 grabbed = view_.viewport().ToWorld(At(30, 30));
  view_.Press(Button::kMiddle, At(30, 30), false);
  EXPECT_EQ(view_.cursor(), PickingView::Cursor::kHand);
  view_.Move(At(45, 20));
  view_.Release(Button::kMiddle, At(45, 20), false);
  EXPECT_EQ(view_.cursor(), PickingView::Cursor::kCross);
  w = view_.viewport().ToWorld(At(45, 20));
  EXPECT_NEAR(w.x, grabbed.x, 1e-9);
  EXPECT_NEAR(w.y, grabbed.y, 1e-9);
  EXPECT_TRUE(view_.picked().empty());  // panning picks nothing
  view_.DoubleClick(Button::kMiddle);
  EXPECT_DOUBLE_EQ(view_.viewport().scale, 1);
  EXPECT_DOUBLE_EQ(view_.viewport().center.x, 50);
  EXPECT_DOUBLE_EQ(view_.viewport().center.y, 50);
}

}  // namespace
}  // namespace varnolt
