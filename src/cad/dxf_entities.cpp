// Each entity kind read from its groups into its own type.
#include <algorithm>
#include <cmath>
#include <utility>

#include "base/error.h"
#include "cad/dxf_parser.h"
#include "geodesy/angles.h"
#include "text/ascii.h"

namespace varnolt::dxf_detail {
namespace {

// SPLINE flags (group 70): closed, periodic.
constexpr int64_t kSplineClosed = 1;
constexpr int64_t kSplinePeriodic = 2;

// HATCH boundary path flags (group 92) and edge types (group 72).
constexpr int64_t kPathPolyline = 2;
enum class HatchEdgeType : int64_t { kLine = 1, kCircularArc = 2, kEllipticArc = 3, kSpline = 4 };

// Degrees from the file into radians, in this order: degrees * pi / 180.
double Radians(double degrees) { return degrees * SystemPi() / 180; }

}  // namespace

std::string_view Parser::ReadLine(size_t begin, size_t end, RawEntity& e, bool& paper,
                          std::string_view, bool) {
  Line line;
  for (size_t k = begin; k < end; ++k) {
    const DxfToken& t = t_[k];
    if (Common(t, e, paper) || PointGroup(t, 10, line.start)) continue;
    PointGroup(t, 11, line.end);
  }
  e.entity.geometry = line;
  return {};
}

std::string_view Parser::ReadArc(size_t begin, size_t end, RawEntity& e, bool& paper,
                         std::string_view kind, bool) {
  const bool arc = kind == "ARC";
  Point3 center{}, normal{0, 0, 1};
  double radius = 0, start = 0, finish = 0;
  for (size_t k = begin; k < end; ++k) {
    const DxfToken& t = t_[k];
    if (Common(t, e, paper) || PointGroup(t, 10, center) || Extrusion(t, normal)) continue;
    if (t.code == 40) {
      radius = Real(t);
    } else if (arc && t.code == 50) {
      start = Radians(Real(t));
    } else if (arc && t.code == 51) {
      finish = Radians(Real(t));
    }
  }
  const Point3 wcs = OcsToWcs(center, normal);
  if (arc) {
    e.entity.geometry = Arc{wcs, radius, start, finish, normal};
  } else {
    e.entity.geometry = Circle{wcs, radius, normal};
  }
  return {};
}

Text Parser::ReadTextGroups(size_t begin, size_t end, RawEntity& e, bool& paper) const {
  Text text;
  Point3 insertion{}, alignment{};
  bool aligned = false;
  for (size_t k = begin; k < end; ++k) {
    const DxfToken& t = t_[k];
    if (Common(t, e, paper) || PointGroup(t, 10, insertion) || Extrusion(t, text.normal)) {
      continue;
    }
    if (PointGroup(t, 11, alignment)) {
      aligned = true;
    } else if (t.code == 1) {
      e.text = std::string(Raw(t));
    } else if (t.code == 40) {
      text.height = Real(t);
    } else if (t.code == 50) {
      text.rotation = Radians(Real(t));
    }
  }
  text.insertion = OcsToWcs(insertion, text.normal);
  // Without group 11 the host reports the alignment point as (0, 0, 0).
  if (aligned) text.alignment = OcsToWcs(alignment, text.normal);
  return text;
}

std::string_view Parser::ReadText(size_t begin, size_t end, RawEntity& e, bool& paper,
                          std::string_view, bool) {
  e.entity.geometry = ReadTextGroups(begin, end, e, paper);
  return {};
}

std::string_view Parser::ReadMText(size_t begin, size_t end, RawEntity& e, bool& paper,
                           std::string_view, bool) {
  MText m;
  std::string last;
  Point3 direction{};
  bool directed = false;
  std::string_view app;
  bool inColumns = false;
  for (size_t k = begin; k < end; ++k) {
    const DxfToken& t = t_[k];
    if (t.code >= 1000) {
      if (t.code == 1001) {
        app = DxfName(t);
      } else if (app == "ACAD" && t.code == 1000) {
        const std::string_view what = DxfName(t);
        if (what == "ACAD_MTEXT_COLUMNS_BEGIN") inColumns = true;
        if (what == "ACAD_MTEXT_COLUMNS_END") inColumns = false;
      } else if (app == "ACAD" && inColumns && t.code == 1005) {
        e.columns.push_back(DxfName(t));
      }
      continue;
    }
    if (Common(t, e, paper) || PointGroup(t, 10, m.insertion) || Extrusion(t, m.normal)) {
      continue;
    }
    if (PointGroup(t, 11, direction)) {
      directed = true;
    } else if (t.code == 3) {
      e.text += Raw(t);
    } else if (t.code == 1) {
      last = std::string(Raw(t));
    } else if (t.code == 40) {
      m.height = Real(t);
    } else if (t.code == 50) {
      m.rotation = Radians(Real(t));
    }
  }
  e.text += last;
  // The x-axis direction, when present, decides the rotation.
  if (directed && (direction[0] != 0 || direction[1] != 0)) {
    m.rotation = std::atan2(direction[1], direction[0]);
  }
  e.entity.geometry = std::move(m);
  return {};
}

std::string_view Parser::ReadLwPolyline(size_t begin, size_t end, RawEntity& e, bool& paper,
                                std::string_view, bool) {
  LwPolyline p;
  size_t count = 0;
  for (size_t k = begin; k < end; ++k) count += t_[k].code == 10;
  CheckVertexCount(count, e, "LWPOLYLINE");
  p.vertices.reserve(count);
  for (size_t k = begin; k < end; ++k) {
    const DxfToken& t = t_[k];
    if (Common(t, e, paper) || Extrusion(t, p.normal)) continue;
    switch (t.code) {
      case 10:
        p.vertices.push_back({Real(t), 0, 0});
        break;
      case 20:
        if (!p.vertices.empty()) p.vertices.back().y = Real(t);
        break;
      case 42:
        if (!p.vertices.empty()) p.vertices.back().bulge = Real(t);
        break;
      case 38:
        p.elevation = Real(t);
        break;
      case 70:
        p.closed = (Int(t) & kPolyClosed) != 0;
        break;
      case 90: {
        // The declared count is only checked; the vertices present are used.
        const int64_t declared = Int(t);
        if (declared > 0) CheckVertexCount(static_cast<size_t>(declared), e, "LWPOLYLINE");
        break;
      }
      default:
        break;
    }
  }
  e.entity.geometry = std::move(p);
  return {};
}

std::string_view Parser::ReadPolyline(size_t begin, size_t end, RawEntity& e, bool& paper,
                              std::string_view, bool model) {
  int64_t flags = 0;
  int64_t counts[4] = {0, 0, 0, 0};  // groups 71 to 74
  Point3 base{}, normal{0, 0, 1};
  for (size_t k = begin; k < end; ++k) {
    const DxfToken& t = t_[k];
    if (Common(t, e, paper) || Extrusion(t, normal)) continue;
    if (t.code == 70) {
      flags = Int(t);
    } else if (t.code == 30) {
      base[2] = Real(t);
    } else if (t.code >= 71 && t.code <= 74) {
      counts[t.code - 71] = Int(t);
    }
  }
  if ((flags & (kPolyMesh | kPolyFaceMesh)) != 0) return ReadMesh(e, paper, model, flags, counts);
  const bool is3d = (flags & kPoly3d) != 0;
  const bool fitted = !is3d && (flags & (kPolyCurveFit | kPolySplineFit)) != 0;
  std::string_view skipped;
  if (fitted && !Included(kIncludeFitted)) skipped = "POLYLINE (fitted)";
  const bool keep = skipped.empty() && !(paper && model && !Picking());
  Polyline3d p3;
  LwPolyline p2;
  p3.closed = p2.closed = (flags & kPolyClosed) != 0;
  p2.elevation = base[2];
  p2.normal = normal;
  size_t count = 0;
  ReadVertices(keep, [&](size_t vbegin, size_t vend) {
    Point3 v{};
    double bulge = 0;
    int64_t vflags = 0;
    for (size_t k = vbegin; k < vend; ++k) {
      const DxfToken& t = t_[k];
      if (PointGroup(t, 10, v)) continue;
      if (t.code == 42) {
        bulge = Real(t);
      } else if (t.code == 70) {
        vflags = Int(t);
      }
    }
    // A spline-fit polyline stores its frame as well; the curve is the rest.
    if ((is3d || fitted) && (vflags & kVertexSplineFrame) != 0) return;
    CheckVertexCount(++count, e, "POLYLINE");
    if (is3d) {
      p3.vertices.push_back(v);
    } else {
      p2.vertices.push_back({v[0], v[1], bulge});
    }
  });
  if (is3d) {
    e.entity.geometry = std::move(p3);
  } else {
    e.entity.geometry = std::move(p2);
  }
  return skipped;
}

std::string_view Parser::ReadInsert(size_t begin, size_t end, RawEntity& e, bool& paper,
                            std::string_view kind, bool) {
  const bool dimension = kind == "DIMENSION";
  const bool read = Included(kIncludeBlocks);
  RawInsert ins;
  ins.dimension = dimension;
  ins.where = e.entity.sourceLine;
  for (size_t k = begin; k < end && read; ++k) {
    const DxfToken& t = t_[k];
    if (Common(t, e, paper) || Extrusion(t, ins.extrusion)) continue;
    if (t.code == 2) {
      ins.block = Raw(t);
    } else if (dimension) {
      continue;  // a dimension's block is drawn where it stands
    } else if (PointGroup(t, 10, ins.insertion)) {
      continue;
    } else if (t.code >= 41 && t.code <= 43) {
      ins.scale[static_cast<size_t>(t.code - 41)] = Real(t);
    } else if (t.code == 50) {
      ins.rotation = Radians(Real(t));
    } else if (t.code == 70) {
      ins.columns = Int(t);
    } else if (t.code == 71) {
      ins.rows = Int(t);
    } else if (t.code == 44) {
      ins.columnSpacing = Real(t);
    } else if (t.code == 45) {
      ins.rowSpacing = Real(t);
    }
  }
  if (!read) {
    for (size_t k = begin; k < end; ++k) {
      if (t_[k].code == 67) paper = Int(t_[k]) == 1;
    }
  }
  // The attributes belong to the insert; they are texts when it is exploded.
  if (!dimension) {
    while (i_ < t_.size() && IsZero(i_, "ATTRIB")) {
      const size_t abegin = i_ + 1;
      const size_t aend = NextZero(abegin);
      size_t astop = abegin;
      while (astop < aend && t_[astop].code != 101) ++astop;
      i_ = aend;
      if (!read) continue;
      RawEntity a;
      a.entity.sourceLine = t_[abegin - 1].where;
      bool apaper = false;
      a.entity.geometry = ReadTextGroups(abegin, astop, a, apaper);
      ins.attribs.push_back(std::move(a));
    }
    if (i_ < t_.size() && IsZero(i_, "SEQEND")) i_ = NextZero(i_ + 1);
  }
  if (!read) return dimension ? "DIMENSION" : "INSERT";
  e.insert = static_cast<int>(inserts_.size());
  inserts_.push_back(std::move(ins));
  return {};
}

std::string_view Parser::ReadPoint(size_t begin, size_t end, RawEntity& e, bool& paper,
                           std::string_view, bool) {
  Point p;
  for (size_t k = begin; k < end; ++k) {
    if (!Common(t_[k], e, paper)) PointGroup(t_[k], 10, p.position);
  }
  e.entity.geometry = p;
  return {};
}

std::string_view Parser::ReadEllipse(size_t begin, size_t end, RawEntity& e, bool& paper,
                             std::string_view, bool) {
  Ellipse p;
  p.startAngle = 0;
  p.endAngle = 2 * SystemPi();
  for (size_t k = begin; k < end; ++k) {
    const DxfToken& t = t_[k];
    if (Common(t, e, paper) || PointGroup(t, 10, p.center) || PointGroup(t, 11, p.majorAxis) ||
        Extrusion(t, p.normal)) {
      continue;
    }
    if (t.code == 40) {
      p.ratio = Real(t);
    } else if (t.code == 41) {
      p.startAngle = Real(t);
    } else if (t.code == 42) {
      p.endAngle = Real(t);
    }
  }
  e.entity.geometry = p;
  return {};
}

void Parser::PointListGroup(const DxfToken& t, int base, std::vector<Point3>& points) const {
  if (t.code == base) {
    points.push_back({Real(t), 0, 0});
  } else if (!points.empty()) {
    points.back()[static_cast<size_t>((t.code - base) / 10)] = Real(t);
  }
}

std::string_view Parser::ReadSpline(size_t begin, size_t end, RawEntity& e, bool& paper,
                            std::string_view, bool) {
  Spline p;
  int64_t flags = 0;
  size_t points = 0;
  for (size_t k = begin; k < end; ++k) {
    points += t_[k].code == 10 || t_[k].code == 11 || t_[k].code == 40;
  }
  CheckCount(static_cast<int64_t>(points), e, "SPLINE", "knots and points");
  for (size_t k = begin; k < end; ++k) {
    const DxfToken& t = t_[k];
    if (Common(t, e, paper) || Extrusion(t, p.normal)) continue;
    const int code = t.code;
    if (code == 70) {
      flags = Int(t);
    } else if (code == 71) {
      p.degree = static_cast<int>(std::clamp<int64_t>(Int(t), -1, 1000));
    } else if (code >= 72 && code <= 74) {
      CheckCount(Int(t), e, "SPLINE", "knots and points");
    } else if (code == 40) {
      p.knots.push_back(Real(t));
    } else if (code == 41) {
      p.weights.push_back(Real(t));
    } else if (code == 10 || code == 20 || code == 30) {
      PointListGroup(t, 10, p.control);
    } else if (code == 11 || code == 21 || code == 31) {
      PointListGroup(t, 11, p.fit);
    } else if (!PointGroup(t, 12, p.startTangent)) {
      PointGroup(t, 13, p.endTangent);
    }
  }
  p.closed = (flags & (kSplineClosed | kSplinePeriodic)) != 0;
  FitPointsOrLeaveOut(p, e, "SPLINE", "SPLINE", {"", ""});
  e.entity.geometry = std::move(p);
  return {};
}

std::optional<Parser::SplineFault> Parser::FaultOf(const Spline& p, std::string_view kind) const {
  const std::string k(kind);
  for (size_t j = 1; j < p.knots.size(); ++j) {
    if (p.knots[j] < p.knots[j - 1]) {
      return SplineFault{"the " + k + "'s knots decrease (knot " + std::to_string(j + 1) +
                             " is less than knot " + std::to_string(j) + ")",
                         "knots decrease", "节点递减"};
    }
  }
  const size_t control = p.control.size();
  if (control == 0) {
    if (p.fit.size() >= 2) return std::nullopt;
    return SplineFault{"the " + k + " has neither control points nor two fit points",
                       "no control points and fewer than two fit points", "缺少控制点和拟合点"};
  }
  const std::string controls = std::to_string(control) + " control points";
  if (p.degree < 1 || static_cast<size_t>(p.degree) >= control) {
    const std::string degree = "degree " + std::to_string(p.degree);
    return SplineFault{"the " + k + "'s " + degree + " does not fit its " + controls,
                       degree + " for " + controls, "次数与控制点数不符"};
  }
  const size_t needed = control + static_cast<size_t>(p.degree) + 1;
  if (p.knots.size() != needed) {
    const std::string knots = std::to_string(p.knots.size()) + " knots";
    return SplineFault{"the " + k + " has " + knots + " where degree " +
                           std::to_string(p.degree) + " and " + controls + " need " +
                           std::to_string(needed),
                       knots + " where " + std::to_string(needed) + " are needed",
                       "节点数与控制点数不符"};
  }
  if (!p.weights.empty() && p.weights.size() != control) {
    const std::string weights = std::to_string(p.weights.size()) + " weights for " + controls;
    return SplineFault{"the " + k + " has " + weights, weights, "权值数与控制点数不符"};
  }
  return std::nullopt;
}

void Parser::FitPointsOrLeaveOut(Spline& p, const RawEntity& e, std::string_view kind,
                                 std::string_view leftKind, const Reason& part) const {
  std::optional<SplineFault> fault = FaultOf(p, kind);
  if (!fault) return;
  if (p.fit.size() >= 2) {
    p.control.clear();
    p.knots.clear();
    p.weights.clear();
    return;
  }
  LeaveOut(e, leftKind, std::string(part.english) + fault->english,
           std::string(part.chinese) + fault->chinese, fault->what);
}

std::string_view Parser::ReadSolid(size_t begin, size_t end, RawEntity& e, bool& paper,
                           std::string_view kind, bool) {
  const bool face = kind == "3DFACE";
  Solid p;
  Point3 c[4]{};
  bool fourth = false;
  for (size_t k = begin; k < end; ++k) {
    const DxfToken& t = t_[k];
    if (Common(t, e, paper) || Extrusion(t, p.normal)) continue;
    for (int j = 0; j < 4; ++j) {
      if (PointGroup(t, 10 + j, c[j])) {
        fourth = fourth || j == 3;
        break;
      }
    }
  }
  if (!fourth) c[3] = c[2];
  const int order[4] = {0, 1, face ? 2 : 3, face ? 3 : 2};
  const int n = c[3] == c[2] ? 3 : 4;
  for (int j = 0; j < 4; ++j) {
    if (n == 3 && order[j] == 3) continue;
    p.corners.push_back(face ? c[order[j]] : OcsToWcs(c[order[j]], p.normal));
  }
  if (face) p.normal = {0, 0, 1};
  e.entity.geometry = std::move(p);
  return {};
}

std::string_view Parser::ReadHatch(size_t begin, size_t end, RawEntity& e, bool& paper,
                           std::string_view, bool) {
  Hatch h;
  size_t k = begin;
  int64_t loops = -1;
  for (; k < end && loops < 0; ++k) {
    const DxfToken& t = t_[k];
    if (Common(t, e, paper) || Extrusion(t, h.normal)) continue;
    if (t.code == 30) h.elevation = Real(t);
    if (t.code == 91) loops = Int(t);
  }
  CheckCount(loops, e, "HATCH", "edges", limits_.maxHatchEdges);
  PathGroups groups(*this, e, k, end, h);
  for (int64_t loop = 0; loop < loops; ++loop) {
    int64_t flags = 0;
    if (!groups.NextPath(flags)) break;
    HatchLoop& path = h.loops.emplace_back();
    path.flags = static_cast<int>(flags);
    if ((flags & kPathPolyline) != 0) {
      path.edges.emplace_back(groups.PolylinePath());
      continue;
    }
    const int64_t declared = groups.Integer(93, 0);
    groups.Count(declared);
    for (int64_t j = 0; j < declared && groups.At(72); ++j) path.edges.push_back(groups.Edge());
  }
  e.entity.geometry = std::move(h);
  return {};
}


LwPolyline Parser::PathGroups::PolylinePath() {
  LwPolyline poly;
  poly.normal = h_.normal;
  poly.elevation = h_.elevation;
  Integer(72, 0);  // whether it has bulges: they are read where they stand
  poly.closed = Integer(73, 1) != 0;
  Count(Integer(93, 0));
  while (At(10) || At(20) || At(42)) {
    const DxfToken& t = p_.t_[k_++];
    if (t.code == 10) {
      poly.vertices.push_back({p_.Real(t), 0, 0});
    } else if (poly.vertices.empty()) {
      continue;
    } else if (t.code == 20) {
      poly.vertices.back().y = p_.Real(t);
    } else {
      poly.vertices.back().bulge = p_.Real(t);
    }
  }
  return poly;
}

HatchEdge Parser::PathGroups::Edge() {
  const int64_t type = p_.Int(p_.t_[k_++]);
  switch (static_cast<HatchEdgeType>(type)) {
    case HatchEdgeType::kLine: {
      const double x0 = Real(10, 0), y0 = Real(20, 0), x1 = Real(11, 0), y1 = Real(21, 0);
      return Line{Ocs(x0, y0), Ocs(x1, y1)};
    }
    case HatchEdgeType::kCircularArc:
    case HatchEdgeType::kEllipticArc:
      return Round(type);
    case HatchEdgeType::kSpline:
      return SplineEdge();
  }
  const std::string what = "an edge of unknown type " + std::to_string(type);
  p_.LeaveOut(e_, "HATCH", what, "未知类型的边界", "the HATCH has " + what);
}

// A circular or elliptic arc: centre, the end of the major axis (elliptic only), the
// radius or the axis ratio, the angles in degrees and whether they run
// counter-clockwise (else they are stored as 360 - angle).
HatchEdge Parser::PathGroups::Round(int64_t type) {
  const bool elliptic = static_cast<HatchEdgeType>(type) == HatchEdgeType::kEllipticArc;
  const double cx = Real(10, 0), cy = Real(20, 0);
  double mx = 0, my = 0;
  if (elliptic) {
    mx = Real(11, 0);
    my = Real(21, 0);
  }
  const double r = Real(40, 1);
  double s = Real(50, 0), t = Real(51, 360);
  if (Integer(73, 1) == 0) {
    const double s0 = s;
    s = 360 - t;
    t = 360 - s0;
  }
  const double degree = SystemPi() / 180;
  if (!elliptic) return Arc{Ocs(cx, cy), r, s * degree, t * degree, h_.normal};
  const bool whole = std::fabs(t - s) >= 360;
  auto param = [&](double a) {
    return std::atan2(std::sin(a * degree) / r, std::cos(a * degree));
  };
  Ellipse ellipse;
  ellipse.center = Ocs(cx, cy);
  ellipse.majorAxis = OcsToWcs({mx, my, 0}, h_.normal);
  ellipse.ratio = r;
  ellipse.startAngle = whole ? 0 : param(s);
  ellipse.endAngle = whole ? 2 * SystemPi() : param(t);
  ellipse.normal = h_.normal;
  return ellipse;
}

Spline Parser::PathGroups::SplineEdge() {
  Spline edge;
  edge.normal = h_.normal;
  edge.degree = static_cast<int>(std::clamp<int64_t>(Integer(94, 3), -1, 1000));
  const bool rational = Integer(73, 0) != 0;
  edge.closed = Integer(74, 0) != 0;
  const int64_t knots = Integer(95, 0), control = Integer(96, 0);
  Count(knots);
  Count(control);
  for (int64_t q = 0; q < knots && At(40); ++q) edge.knots.push_back(p_.Real(p_.t_[k_++]));
  for (int64_t q = 0; q < control && At(10); ++q) {
    const double x = Real(10, 0), y = Real(20, 0);
    edge.control.push_back(Ocs(x, y));
    if (rational && At(42)) edge.weights.push_back(p_.Real(p_.t_[k_++]));
  }
  if (At(97) && k_ + 1 < end_ && (p_.t_[k_ + 1].code == 11 || p_.t_[k_ + 1].code == 12)) {
    const int64_t fit = Integer(97, 0);
    Count(fit);
    for (int64_t q = 0; q < fit && At(11); ++q) {
      const double x = Real(11, 0), y = Real(21, 0);
      edge.fit.push_back(Ocs(x, y));
    }
    while (At(12) || At(22) || At(13) || At(23)) ++k_;
  }
  p_.FitPointsOrLeaveOut(edge, e_, "HATCH's spline edge", "HATCH",
                         {"a spline edge: ", "样条边界："});
  return edge;
}

}  // namespace varnolt::dxf_detail
