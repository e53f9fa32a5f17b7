// Picking entities on screen as a CAD program does, without Qt: the plan outline of
// each entity, the view's mapping between drawing units and pixels, and the three
// hit tests (pick with a pick box, window, crossing window).
//
// World coordinates are drawing units (x easting, y northing, y up); screen
// coordinates are pixels of the view (y down). Tolerances are in pixels, so a pick
// feels the same at every zoom.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "cad/entity.h"

namespace varnolt {

struct Point2 {
  double x = 0;
  double y = 0;
};

// An axis-aligned rectangle; any two opposite corners, in any order.
struct Rect2 {
  double left = 0, top = 0, right = 0, bottom = 0;
  static Rect2 FromCorners(Point2 a, Point2 b);
  bool Contains(Point2 p) const;  // borders included
};

// The view's mapping: `scale` pixels per drawing unit, the world point `center`
// shown at the middle of a view `width` by `height` pixels.
struct Viewport {
  double scale = 1;
  Point2 center;
  double width = 0, height = 0;

  Point2 ToScreen(Point2 world) const;
  Point2 ToWorld(Point2 screen) const;
};

// An entity as drawn in plan: polylines in world coordinates, or a text label at
// its anchor. The view measures a label in its label font: its box in those pixels
// relative to the anchor (left edge at the anchor, `labelAscentPx` above the
// baseline). A text with a height is drawn as CAD shows it, that font scaled so that
// its ascent is the height in drawing units and turned by its rotation; a text
// without one keeps the font's own size at every zoom.
struct Shape {
  std::vector<std::vector<Point2>> paths;
  bool isText = false;
  Point2 anchor;
  std::string label;  // UTF-8, formatting codes removed, lines split by '\n'
  double labelWidthPx = 0, labelHeightPx = 0, labelAscentPx = 0;
  double textHeight = 0;    // drawing units; 0: a fixed-size label
  double textRotation = 0;  // radians, counter-clockwise in plan
};

// How much the label font is scaled on screen at this view: 1 for a fixed-size
// label, else the text's height in pixels over the font's ascent.
double LabelScale(const Shape& s, const Viewport& vp);

// The corners of a label's box on screen, counter-clockwise from the top left as
// the text reads; false when the label has not been measured.
bool LabelCorners(const Shape& s, const Viewport& vp, Point2 (&corners)[4]);

// The plan outline of an entity: lines as one segment, circles and arcs as chords
// of at most 5 degrees, polylines with their bulges, 3D polylines flattened, texts
// at the anchor the converter uses (the alignment point of a text unless its x and
// y are both 0, the insertion point otherwise and for multiline texts).
Shape ShapeOf(const Entity& entity);


// World bounds of all shapes (texts by their anchor); nullopt when there is nothing.
std::optional<Rect2> Extents(const std::vector<Shape>& shapes);

// The viewport that shows `extents` whole in a view of the given size, with
// `marginPx` pixels free on every side. A degenerate extent gets a scale of 1.
Viewport ZoomToExtents(const Rect2& extents, double widthPx, double heightPx,
                       double marginPx);

// Distance from p to the segment ab.
double DistanceToSegment(Point2 p, Point2 a, Point2 b);

// True when the segment ab touches the rectangle (an end inside, or crossing an edge).
bool SegmentTouchesRect(Point2 a, Point2 b, const Rect2& r);

// Window or crossing window, as the drag's direction tells: left to right is a
// window, right to left a crossing window.
enum class BoxMode { kWindow, kCrossing };
BoxMode BoxModeOf(Point2 pressScreen, Point2 releaseScreen);

// The entity under the screen point `at`: the nearest within `tolerancePx` pixels
// (inside a label's box counts as distance 0); on a tie the one drawn last, which
// lies on top. nullopt when none is that near.
std::optional<size_t> PickAt(const std::vector<Shape>& shapes, const Viewport& vp,
                             Point2 at, double tolerancePx);

// Entities lying wholly inside the screen rectangle, in drawing order.
std::vector<size_t> WindowSelect(const std::vector<Shape>& shapes, const Viewport& vp,
                                 const Rect2& screen);
// Entities inside or touching the screen rectangle, in drawing order.
std::vector<size_t> CrossingSelect(const std::vector<Shape>& shapes, const Viewport& vp,
                                   const Rect2& screen);

// Block references pick as one entity, as in CAD: every hit on an entity exploded
// from an insert stands for all the insert's entities (they lie side by side, with
// the same insertId). With `whole`, as a window selects, an insert counts only when
// all its entities were hit. The result keeps the hits' order, each index once.
std::vector<size_t> WholeInserts(const std::vector<Entity>& entities,
                                 const std::vector<size_t>& hits, bool whole);

// The picked entities in the order they were picked; picking one again does not
// move it.
class PickList {
 public:
  void Add(size_t index);
  void Add(const std::vector<size_t>& indices);
  void Remove(size_t index);
  void Remove(const std::vector<size_t>& indices);
  void Clear() { order_.clear(); flags_.clear(); }
  bool Contains(size_t index) const;
  const std::vector<size_t>& Order() const { return order_; }

 private:
  std::vector<size_t> order_;
  std::vector<bool> flags_;
};

}  // namespace varnolt
