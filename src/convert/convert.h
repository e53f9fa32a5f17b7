// The converters: one entity of a kind in, the text of one Placemark out.
//
// Every converter takes its kind's entity, the run's context (projection and the
// settings the converters read), the indentation `qstab` put before every line (the run
// passes two TABs), the Placemark's name (escaped here) and its style reference
// ("#m_color..."), appends the Placemark text to `out` and returns the number of
// coordinate tuples written; `layout` gives the altitude mode of its geometry and
// its ExtendedData. Line-like entities use the LineString Placemark frame;
// a point line is qstab, three TABs, longitude, ",", latitude, ",", altitude (bare
// text of the point's z), CR LF. Plane points are projected with X = northing (the
// drawing's y) and Y = easting (its x).
//
// Failures throw Error(kGeneral) without naming the entity; the run adds that.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/error.h"
#include "cad/entity.h"
#include "geodesy/projection.h"
#include "kml/document.h"
#include "settings/settings.h"

namespace varnolt {

// No Placemark may hold more points than this: a segment length far too small for
// the drawing would otherwise exhaust memory instead of failing.
inline constexpr int64_t kMaxPointsPerEntity = 10'000'000;

// No document may hold more points than this (several gigabytes of KML, more than
// Google Earth opens): a run past it stops with a clear message.
inline constexpr int64_t kMaxPointsPerRun = 100'000'000;

// An entity of an included kind whose own numbers draw nothing (a solid whose
// corners enclose no area): the run leaves it out and says why in both languages,
// or, reading strictly, fails with what() as it always has.
class UnusableEntity : public Error {
 public:
  UnusableEntity(std::string english, std::string chinese, const std::string& what)
      : Error(ErrorKind::kGeneral, what),
        english_(std::move(english)),
        chinese_(std::move(chinese)) {}
  const std::string& english() const { return english_; }
  const std::string& chinese() const { return chinese_; }

 private:
  std::string english_, chinese_;
};

// What one run's converters read, fixed when the run starts.
struct ConvertContext {
  Projector projector;            // datum (Option1), Text2, Text5, Text6
  double segmentLength = 10;      // Text1: spacing of points on straight segments, m
  std::string segmentLengthText;  // Text1 as typed, for messages
  double arcChordLength = 10;     // Text7: chord above which a bulge becomes an arc, m
  bool honourBulges = false;      // Check1 checked or greyed
  double pi = 0;                  // the datum's pi, 4 * atan(1)
};

// Builds the context from the settings: the datum (Option1, or CGCS2000 by the extra
// setting), the leading numbers of the texts, and the opt-in methods the extra
// settings choose (methods_settings.h). Throws Error(kGeneral) for a central meridian the angle units reject.
ConvertContext MakeConvertContext(const Settings& settings);

// Lines: start point, points every Text1 metres along the (sloping) line with
// interpolated z, end point.
int64_t toline(const Line& ent, const ConvertContext& ctx, std::string_view qstab,
               std::string_view plinename, std::string_view plinestyle, std::string& out,
               const PlacemarkLayout& layout = {});

// Circles: 101 points counter-clockwise from the point east of the centre, the last
// closing on the first; altitude the centre's z.
int64_t tocircle(const Circle& ent, const ConvertContext& ctx, std::string_view qstab,
                 std::string_view plinename, std::string_view plinestyle, std::string& out,
                 const PlacemarkLayout& layout = {});

// Arcs: 101 points counter-clockwise in plan from start to end angle (a normal of
// exactly (.., .., -1) mirrors the angles); altitude the centre's z.
int64_t toarc(const Arc& ent, const ConvertContext& ctx, std::string_view qstab,
              std::string_view plinename, std::string_view plinestyle, std::string& out,
              const PlacemarkLayout& layout = {});

// Lightweight polylines: vertices as absolute values (|x|, |y|); straight segments
// densified every Text1 metres, each segment writing both its ends (shared vertices
// appear twice); with Check1 checked, bulged segments whose chord exceeds Text7
// become 101-point arcs and a NaN bulge drops its segment; a closed polyline adds a
// straight closing segment. Altitude: the elevation.
int64_t topline(const LwPolyline& ent, const ConvertContext& ctx, std::string_view qstab,
                std::string_view plinename, std::string_view plinestyle, std::string& out,
                const PlacemarkLayout& layout = {});

// 3D polylines: each vertex once, (|x|, |y|) projected, z kept as altitude.
int64_t toswpline(const Polyline3d& ent, const ConvertContext& ctx, std::string_view qstab,
                  std::string_view plinename, std::string_view plinestyle, std::string& out,
                  const PlacemarkLayout& layout = {});

// Texts and multiline texts: a Point at the anchor (TextAnchor) with a LookAt over it.
int64_t totext(const Text& ent, const ConvertContext& ctx, std::string_view qstab,
               std::string_view textname, std::string_view textstyle, std::string& out,
               const PlacemarkLayout& layout = {});
int64_t tomtext(const MText& ent, const ConvertContext& ctx, std::string_view qstab,
                std::string_view textname, std::string_view textstyle, std::string& out,
                const PlacemarkLayout& layout = {});

// Points: a Point at the point, its z the altitude; no LookAt.
int64_t topoint(const Point& ent, const ConvertContext& ctx, std::string_view qstab,
                std::string_view pointname, std::string_view pointstyle, std::string& out,
                const PlacemarkLayout& layout = {});

// Ellipses and elliptic arcs: 101 points from the start to the end parameter,
// counter-clockwise about the normal (an end below the start gains 2 pi, as arcs
// do), each point at its own z.
int64_t toellipse(const Ellipse& ent, const ConvertContext& ctx, std::string_view qstab,
                  std::string_view plinename, std::string_view plinestyle, std::string& out,
                  const PlacemarkLayout& layout = {});

// Splines: samples of the B-spline (or of the cubic through its fit points when it
// has no control points, or numbers that make no B-spline) whose chords stay within
// kSplineTolerance of the curve. A closed spline drawn through its fit points ends
// where it starts. A spline that is neither throws UnusableEntity.
inline constexpr double kSplineTolerance = 0.05;  // m
int64_t tospline(const Spline& ent, const ConvertContext& ctx, std::string_view qstab,
                 std::string_view plinename, std::string_view plinestyle, std::string& out,
                 const PlacemarkLayout& layout = {});

// A ring of plane points (x easting, y northing, z altitude) in drawing order; its
// last point may or may not repeat the first.
using Ring = std::vector<Point3>;

// One polygon: an outer ring and the holes inside it.
struct PolygonShape {
  Ring outer;
  std::vector<Ring> holes;
};

// Polygons Google Earth draws from loops in any order and orientation: each ring
// loses consecutive points within a micrometre of the one before (in plan) and a
// last point repeating the first; rings left with fewer than three points or no
// area are dropped. A loop inside an odd number of others is a hole of the
// smallest loop around it; every other loop is an outer ring. Outer rings turn
// counter-clockwise in plan, holes clockwise; the rings stay open here (the writer
// closes them). Polygons come in the order of their outer loops, holes in theirs.
std::vector<PolygonShape> NestRings(const std::vector<Ring>& loops);

// A Placemark of the polygons: a Polygon, or a MultiGeometry of Polygons when there
// are several, each ring closed on its first point. Returns the points written.
// Throws when there is no polygon.
int64_t AppendPolygonPlacemark(const std::vector<PolygonShape>& shapes,
                               const ConvertContext& ctx, std::string_view qstab,
                               std::string_view name, std::string_view style,
                               std::string& out, const PlacemarkLayout& layout = {});

// The outline of a circle or a lightweight polyline drawn as a hatch boundary draws
// its edges (see tohatch), in the entity's own direction: a ring for NestRings.
Ring OutlinePoints(const Circle& ent, const ConvertContext& ctx);
Ring OutlinePoints(const LwPolyline& ent, const ConvertContext& ctx);

// Hatches: the boundary loops built from their edges (lines by their ends; arcs,
// elliptic arcs and bulged polyline segments as 101 points each; splines sampled as
// tospline does; each edge turned to continue from the end of the one before),
// nested and written as AppendPolygonPlacemark does. A hatch with no usable loop
// throws.
int64_t tohatch(const Hatch& ent, const ConvertContext& ctx, std::string_view qstab,
                std::string_view polyname, std::string_view polystyle, std::string& out,
                const PlacemarkLayout& layout = {});

// Solids, traces and 3D faces: one Polygon of their three or four corners.
int64_t tosolid(const Solid& ent, const ConvertContext& ctx, std::string_view qstab,
                std::string_view polyname, std::string_view polystyle, std::string& out,
                const PlacemarkLayout& layout = {});

// Meshes: a Polygon for each face with an area (three corners not on one line, in
// space), in its own order round, in one MultiGeometry when there are several; a
// mesh without such a face throws UnusableEntity.
int64_t tomesh(const Mesh& ent, const ConvertContext& ctx, std::string_view qstab,
               std::string_view polyname, std::string_view polystyle, std::string& out,
               const PlacemarkLayout& layout = {});

// Leaders: a LineString through each line's points (a MultiGeometry of them for a
// multileader of several).
int64_t toleader(const Leader& ent, const ConvertContext& ctx, std::string_view qstab,
                 std::string_view plinename, std::string_view plinestyle, std::string& out,
                 const PlacemarkLayout& layout = {});

// Images and wipeouts: a LineString round their boundary, closed on its first point.
int64_t toframe(const Frame& ent, const ConvertContext& ctx, std::string_view qstab,
                std::string_view plinename, std::string_view plinestyle, std::string& out,
                const PlacemarkLayout& layout = {});

// The two styles a Placemark may be drawn in: lines, and filled polygons.
struct PlacemarkStyles {
  std::string_view line;     // "#m_color..."
  std::string_view polygon;  // "#m_poly..."
};

// Converts an entity with its kind's converter: hatches and solids as polygons, and
// with `polygons` closed polylines and circles too (one whose outline encloses
// nothing stays the line its kind writes).
int64_t ConvertEntity(const Entity& ent, const ConvertContext& ctx, std::string_view qstab,
                      std::string_view name, const PlacemarkStyles& styles, bool polygons,
                      std::string& out, const PlacemarkLayout& layout = {});

// "lightweight polyline (handle 2A, line 1200 of site.dxf)", for messages.
std::string DescribeEntity(const Entity& ent, std::string_view sourceName);

}  // namespace varnolt
