// Micro-benchmarks of the per-point path: number text, the projection of one point
// alone and of points as the converters queue them, each converter, and the floor
// under them all, the libm calls the projection formulas cannot do without.
//
// Points are taken from a fixed grid around the central meridian 114 deg 30 min on
// Beijing 1954 (northings 3 355 to 3 405 km, eastings +-25 km), cycled through so
// that no benchmark times one lucky value.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "cad/entity.h"
#include "convert/common.h"
#include "convert/convert.h"
#include "geodesy/datum.h"
#include "geodesy/projection.h"
#include "settings/settings.h"
#include "text/numtext.h"

namespace varnolt {
namespace {

constexpr size_t kPoints = 1024;

struct PlanePoint {
  double X;  // northing
  double Y;  // easting with the false easting
};

const std::vector<PlanePoint>& Points() {
  static const std::vector<PlanePoint> points = [] {
    std::vector<PlanePoint> p;
    p.reserve(kPoints);
    for (size_t i = 0; i < kPoints; ++i) {
      const double a = static_cast<double>(i % 32) / 31, b = static_cast<double>(i / 32) / 31;
      p.push_back({3355000.0 + 50000.0 * b + 0.123 * static_cast<double>(i),
                   475000.0 + 50000.0 * a + 0.457 * static_cast<double>(i)});
    }
    return p;
  }();
  return points;
}

Settings BenchSettings() {
  Settings s;
  s.Text2 = "114.3";
  s.Check1 = 1;
  return s;
}

// The numbers one point's texts are made of: longitude and latitude in degrees
// (corrected) and an altitude.
std::vector<double> TextValues() {
  const ConvertContext ctx = MakeConvertContext(BenchSettings());
  std::vector<double> v;
  for (const PlanePoint& p : Points()) {
    double lon = 0, lat = 0;
    ctx.projector.LonLat(p.X, p.Y, lon, lat);
    v.push_back(lon);
    v.push_back(lat);
  }
  return v;
}

void BM_GeneralText(benchmark::State& state) {
  const std::vector<double> values = TextValues();
  std::string out;
  size_t i = 0;
  for (auto _ : state) {
    out.clear();
    AppendGeneralText(out, values[i]);
    benchmark::DoNotOptimize(out.data());
    i = (i + 1) % values.size();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GeneralText);

void BM_BareTextAltitude(benchmark::State& state) {
  const double altitudes[] = {0, 12.5, 43.217, -3, 0, 57.80000000000001, 0.5, 0};
  std::string out;
  size_t i = 0;
  for (auto _ : state) {
    out.clear();
    AppendBareText(out, altitudes[i]);
    benchmark::DoNotOptimize(out.data());
    i = (i + 1) % 8;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BareTextAltitude);

void BM_Round15(benchmark::State& state) {
  const std::vector<double> values = TextValues();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Round15(values[i] * 1.0000001));
    i = (i + 1) % values.size();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Round15);

// Lstr and Bstr as the formulas describe them: each on its own, central meridian
// converted on every call.
void BM_LstrBstr(benchmark::State& state) {
  const DatumParameters datum = SelectDatum(true);
  const auto& points = Points();
  size_t i = 0;
  for (auto _ : state) {
    const PlanePoint& p = points[i];
    std::string lon = Lstr(datum, p.X, p.Y, 114.3, 0.039);
    std::string lat = Bstr(datum, p.X, p.Y, 114.3, -0.0335);
    benchmark::DoNotOptimize(lon.data());
    benchmark::DoNotOptimize(lat.data());
    i = (i + 1) % points.size();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LstrBstr);

// One point alone: longitude and latitude texts from one shared footpoint, and the
// altitude text. The converters no longer project one point at a time (see below).
void BM_PointTexts(benchmark::State& state) {
  const ConvertContext ctx = MakeConvertContext(BenchSettings());
  const auto& points = Points();
  std::string out;
  out.reserve(256);
  size_t i = 0;
  for (auto _ : state) {
    const PlanePoint& p = points[i];
    out.clear();
    ctx.projector.AppendLonLat(out, p.X, p.Y);
    out += ',';
    AppendBareText(out, 0.0);
    benchmark::DoNotOptimize(out.data());
    i = (i + 1) % points.size();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PointTexts);

// One point with its three texts as the converters really write them: a
// Placemark's points queued (PointLines), projected Projector::kBatch side by side,
// then written as point lines in order. Reported per point.
void BM_PointTextsBatch(benchmark::State& state) {
  const ConvertContext ctx = MakeConvertContext(BenchSettings());
  const auto& points = Points();
  std::string out;
  out.reserve(64 * points.size());
  for (auto _ : state) {
    out.clear();
    convert_detail::PointLines::Write(ctx, "", out, [&](convert_detail::PointLines& lines) {
      for (const PlanePoint& p : points) lines.Add(p.Y, p.X, 0.0);
    });
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(points.size()));
}
BENCHMARK(BM_PointTextsBatch);

// The projection alone as the converters queue it: corrected degrees of the
// points, kBatch side by side, no text. Reported per point.
void BM_DegreesBatch(benchmark::State& state) {
  const ConvertContext ctx = MakeConvertContext(BenchSettings());
  const auto& points = Points();
  std::vector<double> X, Y, lon(points.size()), lat(points.size());
  for (const PlanePoint& p : points) {
    X.push_back(p.X);
    Y.push_back(p.Y);
  }
  for (auto _ : state) {
    ctx.projector.Degrees(X.data(), Y.data(), X.size(), lon.data(), lat.data());
    benchmark::DoNotOptimize(lon.data());
    benchmark::DoNotOptimize(lat.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(points.size()));
}
BENCHMARK(BM_DegreesBatch);

// The floor: exactly the sin, cos, tan and sqrt calls the formulas make for one
// point (three sines per pass of the footpoint iteration, then sin, cos and tan of
// the footpoint latitude and the two square roots), on the arguments they get for
// that point, computed beforehand. Nothing else is timed.
struct FloorArgs {
  std::vector<double> passArgs;  // 2b, 4b, 6b of every pass
  double Bf = 0;
  double sqrtN = 0;  // 1 - e^2 sin^2 Bf
  double sqrtV = 0;  // 1 + eta^2
};

std::vector<FloorArgs> FloorArguments() {
  const DatumParameters p = SelectDatum(true);
  std::vector<FloorArgs> all;
  for (const PlanePoint& pt : Points()) {
    FloorArgs f;
    double B = pt.X / p.K0;
    for (;;) {
      const double Bprev = B;
      const double b = B * p.pi / 180;
      f.passArgs.insert(f.passArgs.end(), {2 * b, 4 * b, 6 * b});
      B = (pt.X - ((p.K1 * std::sin(2 * b) + p.K2 * std::sin(4 * b)) +
                   p.K3 * std::sin(6 * b))) /
          p.K0;
      if (std::fabs(B - Bprev) < 1e-7) break;
    }
    f.Bf = B * p.pi / 180;
    const double s = std::sin(f.Bf), c = std::cos(f.Bf);
    f.sqrtN = 1 - p.e2 * s * s;
    f.sqrtV = 1 + (c * c * p.e2) / (1 - p.e2);
    all.push_back(f);
  }
  return all;
}

void BM_Floor(benchmark::State& state) {
  const std::vector<FloorArgs> args = FloorArguments();
  size_t i = 0;
  for (auto _ : state) {
    const FloorArgs& f = args[i];
    double sum = 0;
    for (double a : f.passArgs) sum += std::sin(a);
    sum += std::sin(f.Bf);
    sum += std::cos(f.Bf);
    sum += std::tan(f.Bf);
    sum += std::sqrt(f.sqrtN);
    sum += std::sqrt(f.sqrtV);
    benchmark::DoNotOptimize(sum);
    i = (i + 1) % args.size();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Floor);

// ---- converters: one entity each, points written per second ----

// Copy i of an entity, moved by a few hundred metres so that the projection sees
// other numbers.
struct Shift {
  double dx, dy;
  void Move(Point3& p) const {
    p[0] += dx;
    p[1] += dy;
  }
  void operator()(varnolt::Line& e) const {
    Move(e.start);
    Move(e.end);
  }
  void operator()(Arc& e) const { Move(e.center); }
  void operator()(Circle& e) const { Move(e.center); }
  void operator()(LwPolyline& e) const {
    for (LwVertex& v : e.vertices) {
      v.x += dx;
      v.y += dy;
    }
  }
  void operator()(Polyline3d& e) const {
    for (Point3& p : e.vertices) Move(p);
  }
  void operator()(Text& e) const {
    Move(e.insertion);
    Move(e.alignment);
  }
  void operator()(MText& e) const { Move(e.insertion); }
};

template <class Kind>
Kind Shifted(Kind e, size_t i) {
  Shift{37.0 * static_cast<double>(i % 97), 53.0 * static_cast<double>(i % 89)}(e);
  return e;
}

template <class Kind, class Convert>
void RunConverter(benchmark::State& state, Convert f, const Kind& base) {
  const ConvertContext ctx = MakeConvertContext(BenchSettings());
  std::vector<Kind> entities;
  for (size_t i = 0; i < 64; ++i) entities.push_back(Shifted(base, i));
  std::string out;
  out.reserve(1 << 16);
  int64_t points = 0;
  size_t i = 0;
  for (auto _ : state) {
    out.clear();
    points += f(entities[i], ctx, "\t\t", "line1", "#m_color1_width6", out, PlacemarkLayout{});
    benchmark::DoNotOptimize(out.data());
    i = (i + 1) % entities.size();
  }
  state.SetItemsProcessed(points);
  state.counters["points/entity"] =
      static_cast<double>(points) / static_cast<double>(state.iterations());
}

constexpr double E0 = 512300.0, N0 = 3380400.0;

void BM_toline(benchmark::State& state) {
  RunConverter(state, toline, varnolt::Line{{E0, N0, 0}, {E0 + 180.0, N0 + 170.0, 12.5}});  // about 248 m
}
BENCHMARK(BM_toline);

void BM_toarc(benchmark::State& state) {
  RunConverter(state, toarc, Arc{{E0, N0, 0}, 80, 0.3, 2.9});
}
BENCHMARK(BM_toarc);

void BM_tocircle(benchmark::State& state) {
  RunConverter(state, tocircle, Circle{{E0, N0, 45.5}, 25});
}
BENCHMARK(BM_tocircle);

void BM_topline(benchmark::State& state) {
  LwPolyline e;
  // One bulged segment of about 67 m chord.
  e.vertices = {{E0, N0, 0}, {E0 + 60, N0 + 10, 0.4}, {E0 + 90, N0 + 70, 0}, {E0 + 40, N0 + 120, 0}};
  e.closed = true;
  RunConverter(state, topline, e);
}
BENCHMARK(BM_topline);

void BM_toswpline(benchmark::State& state) {
  Polyline3d e;
  for (int k = 0; k < 12; ++k) e.vertices.push_back({E0 + 17.0 * k, N0 - 9.0 * k, 40.0 + 0.25 * k});
  RunConverter(state, toswpline, e);
}
BENCHMARK(BM_toswpline);

void BM_totext(benchmark::State& state) {
  Text e;
  e.insertion = {E0, N0, 0};
  e.textstring = "幸福小区K12+300";
  RunConverter(state, totext, e);
}
BENCHMARK(BM_totext);

void BM_tomtext(benchmark::State& state) {
  MText e;
  e.insertion = {E0, N0, 12};
  e.textstring = "\\A1;北京路\\P第三中学";
  RunConverter(state, tomtext, e);
}
BENCHMARK(BM_tomtext);

}  // namespace
}  // namespace varnolt

BENCHMARK_MAIN();
