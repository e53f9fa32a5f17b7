// Lightweight polylines and 3D polylines.
#include <cmath>

#include "convert/common.h"
#include "geodesy/plane.h"
#include "kml/document.h"

namespace varnolt {

using convert_detail::PointLines;

namespace {

constexpr int kArcPoints = 101;

// One polyline's segment walk, writing point lines at the polyline's elevation.
class PlineWriter {
 public:
  PlineWriter(const ConvertContext& ctx, PointLines& lines, double elevation)
      : ctx_(ctx), lines_(lines), elevation_(elevation) {}

  int64_t written() const { return written_; }

  void Write(double x, double y) {
    lines_.Add(x, y, elevation_);
    ++written_;
  }

  // p1, a point every Text1 metres toward p2 (none exactly at p2), p2.
  void Straight(const Point3& p1, const Point3& p2) {
    const double d = pt_pt(p1, p2);
    const int64_t k = convert_detail::PieceCount(d, ctx_);
    Write(p1[0], p1[1]);
    Point3 p{};
    for (int64_t j = 1; j <= k - 1; ++j) {
      const double a = static_cast<double>(j) * ctx_.segmentLength;
      if (a == d) continue;  // xnd is undefined there; p2 follows anyway
      xnd(p1, p2, p, a);
      Write(p[0], p[1]);
    }
    Write(p2[0], p2[1]);
  }

  // The segment p1 -> p2 with bulge b = tan(included angle / 4), b != 0; b > 0 turns
  // counter-clockwise. Short chords stay straight, without intermediate points.
  void Bulged(const Point3& p1, const Point3& p2, double b) {
    const double pi = ctx_.pi;
    const double c = pt_pt(p1, p2);
    if (ctx_.arcChordLength >= c) {
      Write(p1[0], p1[1]);
      Write(p2[0], p2[1]);
      return;
    }
    // Signed radius c (1 + b^2) / (4 b) and sagitta c b / 2, in this order of
    // operations; R - s is the signed distance from the chord's midpoint to the
    // centre, to the left of p1 -> p2.
    const double R = c / 4 / b + c * b / 4;
    const double s = c * b / 2;
    Point3 m{};
    pp_mid(p1, p2, m);
    const double az = fwjjs(p1, p2);
    Point3 centre{};
    centre[0] = m[0] + (R - s) * std::cos(az + pi / 2);
    centre[1] = m[1] + (R - s) * std::sin(az + pi / 2);
    const double a1 = fwjjs(centre, p1);
    const double a2 = fwjjs(centre, p2);
    double start = b > 0 ? a1 : a2;
    double end = b > 0 ? a2 : a1;
    if (start > end) end = end + 2 * pi;
    const double step = (end - start) / 100;
    const double absR = std::fabs(R);
    // Always from the segment's start to its end: backwards for a clockwise arc.
    for (int i = 0; i < kArcPoints; ++i) {
      const int n = b > 0 ? i + 1 : kArcPoints - i;
      const double angle = start + static_cast<double>(n - 1) * step;
      Write(absR * std::cos(angle) + centre[0], absR * std::sin(angle) + centre[1]);
    }
  }

 private:
  const ConvertContext& ctx_;
  PointLines& lines_;
  double elevation_;
  int64_t written_ = 0;
};

// Counts the points a walk will write, so that an entity beyond the limit fails
// before any work is done.
class PlineCounter {
 public:
  explicit PlineCounter(const ConvertContext& ctx) : ctx_(ctx) {}
  double total() const { return total_; }

  void Straight(const Point3& p1, const Point3& p2) {
    const double d = pt_pt(p1, p2);
    const int64_t k = convert_detail::PieceCount(d, ctx_);
    Add(2 + static_cast<double>(convert_detail::InnerPoints(k, d, ctx_.segmentLength)));
  }
  void Bulged(const Point3& p1, const Point3& p2, double /*b*/) {
    Add(ctx_.arcChordLength >= pt_pt(p1, p2) ? 2 : kArcPoints);
  }

 private:
  void Add(double n) {
    total_ += n;
    convert_detail::CheckPointCount(total_);
  }
  const ConvertContext& ctx_;
  double total_ = 0;
};

// The segment walk of a lightweight polyline: vertex i - 1 to vertex i for i = 1 to
// nv - 1, then the closing segment. Vertices enter as absolute values with z = 0, so
// distances are plane distances.
template <class Visitor>
void WalkSegments(const LwPolyline& ent, const ConvertContext& ctx, Visitor& visitor) {
  const std::vector<LwVertex>& v = ent.vertices;
  const size_t nv = v.size();
  auto vertex = [&](size_t i) { return Point3{std::fabs(v[i].x), std::fabs(v[i].y), 0.0}; };
  for (size_t i = 1; i < nv; ++i) {
    const Point3 p1 = vertex(i - 1);
    const Point3 p2 = vertex(i);
    if (!ctx.honourBulges) {
      visitor.Straight(p1, p2);
      continue;
    }
    const double b = v[i - 1].bulge;
    if (std::isnan(b)) continue;  // an indefinite bulge: the segment draws nothing
    if (b == 0) {
      visitor.Straight(p1, p2);
    } else {
      visitor.Bulged(p1, p2, b);
    }
  }
  // The closing segment is straight whatever the last bulge and Check1 say.
  if (ent.closed && nv >= 1) visitor.Straight(vertex(nv - 1), vertex(0));
}

}  // namespace

int64_t topline(const LwPolyline& ent, const ConvertContext& ctx, std::string_view qstab,
                std::string_view plinename, std::string_view plinestyle, std::string& out,
                const PlacemarkLayout& layout) {
  PlineCounter counter(ctx);
  WalkSegments(ent, ctx, counter);

  AppendLineStringOpen(out, qstab, plinename, plinestyle, layout);
  int64_t written = 0;
  PointLines::Write(ctx, qstab, out, [&](PointLines& lines) {
    PlineWriter writer(ctx, lines, ent.elevation);
    WalkSegments(ent, ctx, writer);
    written = writer.written();
  });
  AppendLineStringClose(out, qstab);
  return written;
}

int64_t toswpline(const Polyline3d& ent, const ConvertContext& ctx, std::string_view qstab,
                  std::string_view plinename, std::string_view plinestyle, std::string& out,
                  const PlacemarkLayout& layout) {
  const size_t nv = ent.vertices.size();
  convert_detail::CheckPointCount(static_cast<double>(nv));
  AppendLineStringOpen(out, qstab, plinename, plinestyle, layout);
  PointLines::Write(ctx, qstab, out, [&](PointLines& lines) {
    for (const Point3& p : ent.vertices) lines.Add(std::fabs(p[0]), std::fabs(p[1]), p[2]);
  });
  AppendLineStringClose(out, qstab);
  return static_cast<int64_t>(nv);
}

}  // namespace varnolt
