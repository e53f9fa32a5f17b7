// A drawing view's mouse and keys as CAD users know them, without a toolkit: the
// window hands over its events in pixels and draws what this holds.
//
// Always: the middle button drags the view, a double middle click fits the drawing,
// the wheel zooms about the cursor, and outside a selection the left button drags
// too. While selecting: a click picks the entity under the pick box; a drag (or a
// click on empty space and a second click) spans a box, left to right a window for
// entities wholly inside, right to left a crossing window for every entity it
// touches; Shift removes instead of adding; select-all takes everything; Enter,
// Space or a right click end the selection and Esc cancels it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cad/dxf.h"
#include "kml/palette.h"
#include "picking/picking.h"

namespace varnolt {

class PickingView {
 public:
  static constexpr double kPickBoxPx = 4;        // half the side of the pick box
  static constexpr double kClickSlopPx = 3;      // a shorter drag is a click
  static constexpr double kExtentsMarginPx = 20; // free on every side when fitted
  static constexpr double kWheelZoom = 1.25;     // per notch of the wheel

  enum class Button { kLeft, kMiddle, kRight };
  enum class Key { kEnd, kEscape, kSelectAll };  // Enter or Space; Esc; Ctrl+A
  enum class Cursor { kArrow, kCross, kHand };

  // What an event changed, for the window to act on.
  struct Change {
    bool redraw = false;
    bool picksChanged = false;
    std::optional<bool> ended;  // the selection ended; true when it was cancelled
  };

  // A label measured in the window's label font, in pixels: its widest line, the
  // height of all its lines and the font's ascent.
  struct LabelSize {
    double width = 0, height = 0, ascent = 0;
  };
  using Measure = std::function<LabelSize(const std::string& label)>;

  // Shows `drawing` (null: none), fitted at the next Resize(); the picks and any
  // selection start again.
  void SetDrawing(std::shared_ptr<const DxfDrawing> drawing, const Measure& measure);
  const std::shared_ptr<const DxfDrawing>& drawing() const { return drawing_; }
  const std::vector<Shape>& shapes() const { return shapes_; }
  // Entity i's colour through the palette; grey for a colour outside it.
  PaletteRgb Colour(size_t i) const;

  // The view's size in pixels; a drawing waiting to be fitted is fitted.
  void Resize(double width, double height);
  void ZoomExtents();
  const Viewport& viewport() const { return viewport_; }

  Change BeginSelection();
  Change CancelSelection() { return EndSelection(true); }
  bool selecting() const { return selecting_; }
  // Indices into the drawing's entities, in pick order.
  const std::vector<size_t>& picked() const { return picks_.Order(); }
  bool IsPicked(size_t i) const { return picks_.Contains(i); }

  Change Press(Button button, Point2 at, bool shift);
  Change Move(Point2 at);
  Change Release(Button button, Point2 at, bool shift);
  Change DoubleClick(Button button);
  Change Wheel(double notches, Point2 at);
  Change KeyPress(Key key);
  // A box from `press` to `release`, as a drag spans it.
  Change SelectInBox(Point2 press, Point2 release, bool remove);

  // The box being spanned, to be drawn: its screen rectangle and kind.
  std::optional<std::pair<Rect2, BoxMode>> Band() const;
  Cursor cursor() const;

 private:
  Change EndSelection(bool cancelled);
  Change PickAtPoint(Point2 at, bool remove);
  Change Picked(const std::vector<size_t>& hits, bool remove);

  std::shared_ptr<const DxfDrawing> drawing_;
  std::vector<Shape> shapes_;
  std::vector<int> colours_;  // effective colour number of each entity
  Viewport viewport_;
  bool zoomPending_ = false;

  bool selecting_ = false;
  PickList picks_;
  std::optional<Point2> panFrom_;
  std::optional<Point2> boxStart_;
  Point2 boxEnd_;
  bool boxFromClick_ = false;  // first corner set by a click, waiting for the second
  Point2 pressAt_;
};

}  // namespace varnolt
