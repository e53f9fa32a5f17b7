// Fixed workloads of the per-point path for counting instructions under callgrind,
// which gives the same count on a busy machine as on an idle one:
//
//   valgrind --tool=callgrind --toggle-collect=varnolt_count_work
//       build-perf/bench/varnolt_count WORKLOAD ROUNDS
//
// counts only the instructions of the workload (its points, ROUNDS times over the
// 1024 points of bench/micro.cpp); divide by ROUNDS * 1024 for a figure per point.
// WORKLOAD is one of
//   lines     point lines as the converters write them (queued, projected together)
//   batch     the projection alone as the converters queue it (corrected degrees)
//   lone      one point alone: AppendLonLat, ",", the altitude text
//   lstrbstr  Lstr and Bstr of each point
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "convert/common.h"
#include "convert/convert.h"
#include "geodesy/datum.h"
#include "geodesy/projection.h"
#include "settings/settings.h"
#include "text/numtext.h"

namespace {

using namespace varnolt;

constexpr size_t kPoints = 1024;

// The grid of bench/micro.cpp.
void MakePoints(std::vector<double>& X, std::vector<double>& Y) {
  for (size_t i = 0; i < kPoints; ++i) {
    const double a = static_cast<double>(i % 32) / 31, b = static_cast<double>(i / 32) / 31;
    X.push_back(3355000.0 + 50000.0 * b + 0.123 * static_cast<double>(i));
    Y.push_back(475000.0 + 50000.0 * a + 0.457 * static_cast<double>(i));
  }
}

}  // namespace

// The timed part, one function so that callgrind can count it alone. Returns a
// checksum so that nothing is left out.
extern "C" [[gnu::noinline]] size_t varnolt_count_work(const char* workload, long rounds,
                                                       const ConvertContext& ctx,
                                                       const std::vector<double>& X,
                                                       const std::vector<double>& Y,
                                                       std::string& out) {
  size_t sum = 0;
  const size_t n = X.size();
  if (std::strcmp(workload, "lines") == 0) {
    for (long r = 0; r < rounds; ++r) {
      out.clear();
      using convert_detail::PointLines;
      PointLines::Write(ctx, "\t\t", out, [&](PointLines& lines) {
        for (size_t i = 0; i < n; ++i) lines.Add(Y[i], X[i], 0.0);
      });
      sum += out.size();
    }
  } else if (std::strcmp(workload, "batch") == 0) {
    std::vector<double> lon(n), lat(n);
    for (long r = 0; r < rounds; ++r) {
      sum += ctx.projector.Degrees(X.data(), Y.data(), n, lon.data(), lat.data()).count;
      sum += static_cast<size_t>(lon[r % n] + lat[r % n]);
    }
  } else if (std::strcmp(workload, "lone") == 0) {
    for (long r = 0; r < rounds; ++r) {
      for (size_t i = 0; i < n; ++i) {
        out.clear();
        ctx.projector.AppendLonLat(out, X[i], Y[i]);
        out += ',';
        AppendBareText(out, 0.0);
        sum += out.size();
      }
    }
  } else if (std::strcmp(workload, "lstrbstr") == 0) {
    const DatumParameters datum = SelectDatum(true);
    for (long r = 0; r < rounds; ++r) {
      for (size_t i = 0; i < n; ++i) {
        sum += Lstr(datum, X[i], Y[i], 114.3, 0.039).size();
        sum += Bstr(datum, X[i], Y[i], 114.3, -0.0335).size();
      }
    }
  }
  return sum;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: varnolt_count lines|batch|lone|lstrbstr ROUNDS\n");
    return 2;
  }
  Settings settings;
  settings.Text2 = "114.3";
  settings.Check1 = 1;
  const ConvertContext ctx = MakeConvertContext(settings);
  std::vector<double> X, Y;
  MakePoints(X, Y);
  std::string out;
  out.reserve(64 * kPoints);
  const size_t sum = varnolt_count_work(argv[1], std::atol(argv[2]), ctx, X, Y, out);
  std::printf("%s: %zu\n", argv[1], sum);
  return 0;
}
