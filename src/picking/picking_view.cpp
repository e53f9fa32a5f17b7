#include "picking/picking_view.h"

#include <cmath>

#include "kml/style.h"

namespace varnolt {

namespace {

double Distance(Point2 a, Point2 b) { return std::hypot(a.x - b.x, a.y - b.y); }

}  // namespace

void PickingView::SetDrawing(std::shared_ptr<const DxfDrawing> drawing, const Measure& measure) {
  drawing_ = std::move(drawing);
  shapes_.clear();
  colours_.clear();
  picks_.Clear();
  selecting_ = false;
  boxStart_.reset();
  boxFromClick_ = false;
  panFrom_.reset();
  if (drawing_) {
    const LayerColors layers = BuildLayerColors(drawing_->layers);
    shapes_.reserve(drawing_->entities.size());
    for (const Entity& e : drawing_->entities) {
      Shape s = ShapeOf(e);
      if (s.isText && measure) {
        const LabelSize size = measure(s.label);
        s.labelWidthPx = size.width;
        s.labelHeightPx = size.height;
        s.labelAscentPx = size.ascent;
      }
      shapes_.push_back(std::move(s));
      colours_.push_back(colchuli(e, layers));
    }
  }
  // Fitted by the next Resize(), once the window knows the view's size.
  zoomPending_ = true;
}

PaletteRgb PickingView::Colour(size_t i) const {
  const int c = i < colours_.size() ? colours_[i] : 0;
  if (c < 1 || c > 255) return {160, 160, 160};
  return kAciPalette[static_cast<size_t>(c - 1)];
}

void PickingView::Resize(double width, double height) {
  viewport_.width = width;
  viewport_.height = height;
  if (zoomPending_ && width > 0 && height > 0) ZoomExtents();
}

void PickingView::ZoomExtents() {
  zoomPending_ = false;
  const std::optional<Rect2> extents = Extents(shapes_);
  if (!extents) {
    viewport_ = Viewport{1, {0, 0}, viewport_.width, viewport_.height};
  } else {
    viewport_ = varnolt::ZoomToExtents(*extents, viewport_.width, viewport_.height,
                                       kExtentsMarginPx);
  }
}

PickingView::Change PickingView::BeginSelection() {
  picks_.Clear();
  boxStart_.reset();
  boxFromClick_ = false;
  selecting_ = true;
  return {true, true, std::nullopt};
}

PickingView::Change PickingView::EndSelection(bool cancelled) {
  if (!selecting_) return {};
  selecting_ = false;
  boxStart_.reset();
  boxFromClick_ = false;
  if (cancelled) picks_.Clear();
  return {true, cancelled, cancelled};
}

PickingView::Change PickingView::Picked(const std::vector<size_t>& hits, bool remove) {
  if (remove) {
    picks_.Remove(hits);
  } else {
    picks_.Add(hits);
  }
  return {true, true, std::nullopt};
}

PickingView::Change PickingView::PickAtPoint(Point2 at, bool remove) {
  const std::optional<size_t> hit = PickAt(shapes_, viewport_, at, kPickBoxPx);
  if (!hit) return {};
  return Picked(WholeInserts(drawing_->entities, {*hit}, false), remove);
}

PickingView::Change PickingView::SelectInBox(Point2 press, Point2 release, bool remove) {
  if (!drawing_) return {};
  const Rect2 r = Rect2::FromCorners(press, release);
  const bool window = BoxModeOf(press, release) == BoxMode::kWindow;
  const std::vector<size_t> hits =
      window ? WindowSelect(shapes_, viewport_, r) : CrossingSelect(shapes_, viewport_, r);
  return Picked(WholeInserts(drawing_->entities, hits, window), remove);
}

PickingView::Change PickingView::Press(Button button, Point2 at, bool shift) {
  if (button == Button::kMiddle || (button == Button::kLeft && !selecting_)) {
    panFrom_ = at;
    return {};
  }
  if (!selecting_) return {};
  if (button == Button::kRight) return EndSelection(false);
  if (boxFromClick_ && boxStart_) {
    // The second corner of a box begun by a click on empty space.
    const Point2 start = *boxStart_;
    boxStart_.reset();
    boxFromClick_ = false;
    return SelectInBox(start, at, shift);
  }
  pressAt_ = at;
  boxStart_ = at;
  boxEnd_ = at;
  return {};
}

PickingView::Change PickingView::Move(Point2 at) {
  if (panFrom_) {
    viewport_.center.x -= (at.x - panFrom_->x) / viewport_.scale;
    viewport_.center.y += (at.y - panFrom_->y) / viewport_.scale;
    panFrom_ = at;
    return {true, false, std::nullopt};
  }
  if (!boxStart_) return {};
  boxEnd_ = at;
  return {true, false, std::nullopt};
}

PickingView::Change PickingView::Release(Button button, Point2 at, bool shift) {
  if (panFrom_ && button != Button::kRight) {
    panFrom_.reset();
    return {};
  }
  if (!selecting_ || button != Button::kLeft || !boxStart_ || boxFromClick_) return {};
  if (Distance(pressAt_, at) > kClickSlopPx) {
    const Point2 start = *boxStart_;
    boxStart_.reset();
    return SelectInBox(start, at, shift);
  }
  // A click: the entity under the pick box, or else the first corner of a box.
  if (PickAt(shapes_, viewport_, at, kPickBoxPx)) {
    boxStart_.reset();
    return PickAtPoint(at, shift);
  }
  boxFromClick_ = true;
  boxEnd_ = at;
  return {true, false, std::nullopt};
}

PickingView::Change PickingView::DoubleClick(Button button) {
  if (button != Button::kMiddle) return {};
  panFrom_.reset();
  ZoomExtents();
  return {true, false, std::nullopt};
}

PickingView::Change PickingView::Wheel(double notches, Point2 at) {
  if (notches == 0) return {};
  const Point2 before = viewport_.ToWorld(at);
  viewport_.scale *= std::pow(kWheelZoom, notches);
  const Point2 after = viewport_.ToWorld(at);
  // The point under the cursor stays where it is.
  viewport_.center.x += before.x - after.x;
  viewport_.center.y += before.y - after.y;
  return {true, false, std::nullopt};
}

PickingView::Change PickingView::KeyPress(Key key) {
  if (!selecting_) return {};
  switch (key) {
    case Key::kEnd:
      return EndSelection(false);
    case Key::kEscape:
      if (!boxStart_) return EndSelection(true);
      boxStart_.reset();
      boxFromClick_ = false;
      return {true, false, std::nullopt};
    case Key::kSelectAll: {
      std::vector<size_t> all(shapes_.size());
      for (size_t i = 0; i < all.size(); ++i) all[i] = i;
      return Picked(all, false);
    }
  }
  return {};
}

std::optional<std::pair<Rect2, BoxMode>> PickingView::Band() const {
  if (!selecting_ || !boxStart_) return std::nullopt;
  if (!boxFromClick_ && Distance(*boxStart_, boxEnd_) <= kClickSlopPx) return std::nullopt;
  return std::make_pair(Rect2::FromCorners(*boxStart_, boxEnd_), BoxModeOf(*boxStart_, boxEnd_));
}

PickingView::Cursor PickingView::cursor() const {
  if (panFrom_) return Cursor::kHand;
  return selecting_ ? Cursor::kCross : Cursor::kArrow;
}

}  // namespace varnolt
