// The stages of a conversion timed one by one, in one process, on a real drawing:
//
//   varnolt_stages DRAWING.dxf OUTDIR [ROUNDS]
//
//   read      the file into memory (FileBytes), as the reader takes it
//   pieces    its ENTITIES section cut into tokens and parsed, on every core
//             (DxfSource, less the read)
//   convert   every entity read again and converted to its Placemark text, on one
//             thread (what each of the run's threads does with its share)
//   project   the projection alone: corrected degrees of the drawing's number of
//             points, Projector::kBatch side by side
//   text      the number text alone: the longitude, latitude and altitude texts
//             of that many points
//   write     the converted text written to a new file in 1 MiB pieces and
//             committed (synced and renamed)
//
// Each stage runs ROUNDS times (default 5); the median is printed in ms. No
// benchmark library is needed, so the same program is built for Linux and, cross-
// built, for Windows, where it runs under wine: the table of both is in
// docs/performance.md.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/files.h"
#include "cad/dxf.h"
#include "convert/convert.h"
#include "settings/settings.h"
#include "text/numtext.h"

namespace {

using namespace varnolt;

double MedianMs(int rounds, const std::function<void()>& stage) {
  std::vector<double> ms;
  for (int r = 0; r < rounds; ++r) {
    const auto start = std::chrono::steady_clock::now();
    stage();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

// The settings of bench/compare: Beijing 1954, 114.3, segment and chord 10 m, arcs on.
Settings BenchSettings() {
  Settings s;
  s.Text2 = "114.3";
  s.Text1 = "10";
  s.Text7 = "10";
  s.Check1 = 1;
  return s;
}

// The drawing's region, as bench/micro.cpp has it: `n` points cycled through a grid.
void GridPoints(size_t n, std::vector<double>& X, std::vector<double>& Y) {
  for (size_t k = 0; k < n; ++k) {
    const size_t i = k % 1024;
    const double a = static_cast<double>(i % 32) / 31, b = static_cast<double>(i / 32) / 31;
    X.push_back(3355000.0 + 50000.0 * b + 0.123 * static_cast<double>(i));
    Y.push_back(475000.0 + 50000.0 * a + 0.457 * static_cast<double>(i));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: varnolt_stages DRAWING.dxf OUTDIR [ROUNDS]\n");
    return 2;
  }
  const std::filesystem::path drawing = argv[1];
  const std::filesystem::path out = std::filesystem::path(argv[2]) / "stages.kml";
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  const ConvertContext ctx = MakeConvertContext(BenchSettings());

  const double read = MedianMs(rounds, [&] { FileBytes bytes(drawing, uint64_t{2} << 30); });
  const double source = MedianMs(rounds, [&] { DxfSource dxf(drawing); });

  DxfSource dxf(drawing);
  const std::unique_ptr<EntityList> picked = dxf.Pick();
  std::string text;
  int64_t points = 0;
  const double convert = MedianMs(rounds, [&] {
    text.clear();
    points = 0;
    Entity scratch;
    for (size_t k = 0; k < picked->size(); ++k) {
      points += ConvertEntity(picked->Get(k, scratch), ctx, "\t\t", "line1",
                              {"#m_color1_width6", "#m_poly1_width6"}, false, text);
      text += "\r\n";
    }
  });

  std::vector<double> X, Y, lon(static_cast<size_t>(points)), lat(static_cast<size_t>(points));
  GridPoints(static_cast<size_t>(points), X, Y);
  const double project = MedianMs(rounds, [&] {
    ctx.projector.Degrees(X.data(), Y.data(), X.size(), lon.data(), lat.data());
  });
  std::string numbers(static_cast<size_t>(points) * 48, '\0');
  const double numberText = MedianMs(rounds, [&] {
    char* p = numbers.data();
    for (size_t k = 0; k < lon.size(); ++k) {
      p = WriteGeneralTexts(p, lon[k], ',', lat[k]);
      *p++ = ',';
      p = WriteBareText(p, 0.0);
    }
  });

  const double write = MedianMs(rounds, [&] {
    AtomicFile file(out);
    const std::string_view all = text;
    for (size_t at = 0; at < all.size(); at += size_t{1} << 20) file.Write(all.substr(at, size_t{1} << 20));
    file.Commit();
  });
  std::filesystem::remove(out);

  std::printf("%s: %lld points, %.1f MB of text, median of %d rounds\n", drawing.filename().string().c_str(),
              static_cast<long long>(points), static_cast<double>(text.size()) / 1e6, rounds);
  std::printf("| read | pieces | convert (1 thread) | project | text | write+sync |\n");
  std::printf("| %.1f | %.1f | %.1f | %.1f | %.1f | %.1f |\n", read, source - read, convert, project,
              numberText, write);
  return 0;
}
