// The run converts entities on several threads; the document, the prompts, the
// warnings, the progress and the first failure must be those of a run on one
// thread, byte for byte and call for call.
#include <gtest/gtest.h>

#include <zip.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "base/error.h"
#include "cad/entity.h"
#include "run/run.h"
#include "settings/settings.h"
#include "temp_dir.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every call the run makes on its reporter, in order, as text.
struct Log : RunReporter {
  std::vector<std::string> calls;
  void Prompt(const std::string& text) override {
    // The elapsed time and the output path differ between two runs; the rest may not.
    if (text.rfind("====== < ", 0) == 0) {
      calls.push_back("elapsed");
    } else if (text.find("KML文件转换完成！") != std::string::npos) {
      calls.push_back("completed");
    } else {
      calls.push_back("prompt " + text);
    }
  }
  void Progress(int64_t done, int64_t total) override {
    calls.push_back("progress " + std::to_string(done) + "/" + std::to_string(total));
  }
  void Warning(const RunWarning& warning) override {
    calls.push_back("warning " + warning.english);
  }
  void Converting(int family, int64_t i, int64_t count) override {
    calls.push_back("converting " + std::to_string(family) + " " + std::to_string(i) + "/" +
                    std::to_string(count));
  }
};

// A survey plan of `count` entities of every family on a few ByLayer and explicit
// colours, in Beijing 1954 plane metres about 114 deg 30 min, in scrambled order.
std::vector<Entity> Plan(int count, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> east(480000, 520000), north(3360000, 3400000),
      unit(0, 1);
  const char* layers[] = {"道路", "水系", "注记", "0"};
  std::vector<Entity> all;
  for (int k = 0; k < count; ++k) {
    Entity e;
    e.layer = layers[k % 4];
    e.color = (k % 5 == 0) ? 1 + k % 250 : kColorByLayer;
    e.handle = std::to_string(100 + k);
    const double x = east(rng), y = north(rng);
    switch (k % 7) {
      case 0: {
        const Point3 start{x, y, 0};
        e.geometry = varnolt::Line{start, {x + 400 * unit(rng) - 200, y + 400 * unit(rng) - 200,
                                           10 * unit(rng)}};
        break;
      }
      case 1: {
        Arc a;
        a.center = {x, y, 3};
        a.radius = 5 + 100 * unit(rng);
        a.startAngle = 6 * unit(rng);
        a.endAngle = 6 * unit(rng);
        e.geometry = a;
        break;
      }
      case 2:
        e.geometry = Circle{{x, y, 0}, 1 + 40 * unit(rng)};
        break;
      case 3: {
        LwPolyline p;
        for (int v = 0; v < 5; ++v) {
          const double vy = y + 20 * unit(rng);
          p.vertices.push_back({x + 30.0 * v, vy, v % 2 ? 0.5 * unit(rng) - 0.25 : 0});
        }
        p.closed = k % 3 == 0;
        p.elevation = k % 2 ? 0 : 12.5;
        e.geometry = p;
        break;
      }
      case 4: {
        Polyline3d p;
        for (int v = 0; v < 6; ++v) p.vertices.push_back({x + 10.0 * v, y - 7.0 * v, 40 + 0.5 * v});
        e.geometry = p;
        break;
      }
      case 5: {
        Text t;
        t.insertion = {x, y, 0};
        t.textstring = "控制点K" + std::to_string(k);
        e.geometry = t;
        break;
      }
      default: {
        MText t;
        t.insertion = {x, y, 2};
        t.textstring = "\\A1;北京路 & " + std::to_string(k);
        e.geometry = t;
        break;
      }
    }
    all.push_back(e);
  }
  return all;
}

std::vector<Layer> PlanLayers() {
  return {{"道路", 1}, {"水系", 5}, {"注记", 2}, {"0", 7}};
}

Settings PlanSettings() {
  Settings s;
  s.Text2 = "114.3";
  s.Check1 = 1;
  return s;
}

class ParallelRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty()) << "no temporary folder";
    dir_ = temp_.path();
  }

  struct Outcome {
    std::string document;
    std::vector<std::string> calls;
    std::string error;  // empty when the run succeeded
    RunResult result;
  };

  Outcome Run(const std::vector<Entity>& entities, unsigned threads, const std::string& file,
              const Settings& settings = PlanSettings()) {
    MemorySource source(PlanLayers(), entities, "plan.dxf");
    Log log;
    Outcome o;
    const fs::path out = dir_ / std::to_string(threads) / file;
    fs::create_directories(out.parent_path());
    try {
      o.result = RunConversion(source, settings, out, log, threads);
    } catch (const Error& e) {
      o.error = e.what();
    }
    o.calls = log.calls;
    o.document = ReadBytes(out);
    return o;
  }

  testing::TempDir temp_{"varnolt-parallel"};
  fs::path dir_;
};

TEST_F(ParallelRunTest, DocumentAndReporterCallsEqualTheSerialRun) {
  const std::vector<Entity> plan = Plan(3000, 1);
  const Outcome serial = Run(plan, 1, "plan.kml");
  ASSERT_EQ(serial.error, "");
  ASSERT_GT(serial.document.size(), 1000000u);
  EXPECT_EQ(serial.result.entities, 3000);
  for (unsigned threads : {2u, 3u, 8u, 0u}) {
    const Outcome parallel = Run(plan, threads, "plan.kml");
    ASSERT_EQ(parallel.error, "") << threads;
    EXPECT_TRUE(parallel.document == serial.document) << threads << " threads";
    EXPECT_EQ(parallel.calls, serial.calls) << threads << " threads";
    EXPECT_EQ(parallel.result.points, serial.result.points);
    EXPECT_EQ(parallel.result.entities, serial.result.entities);
  }
}

// The document inside a KMZ (the archive itself carries the time it was written).
std::string DocInKmz(const fs::path& path) {
  int err = 0;
  zip_t* za = zip_open(path.string().c_str(), ZIP_RDONLY, &err);
  if (za == nullptr) return "";
  std::string inner;
  zip_stat_t st;
  if (zip_stat(za, "doc.kml", 0, &st) == 0) {
    inner.resize(st.size);
    zip_file_t* zf = zip_fopen(za, "doc.kml", 0);
    if (zf == nullptr || zip_fread(zf, inner.data(), inner.size()) != static_cast<zip_int64_t>(st.size)) {
      inner.clear();
    }
    if (zf != nullptr) zip_fclose(zf);
  }
  zip_close(za);
  return inner;
}

TEST_F(ParallelRunTest, KmzOutputEqualsTheSerialRun) {
  const std::vector<Entity> plan = Plan(700, 2);
  const Outcome serial = Run(plan, 1, "plan.kmz");
  const Outcome parallel = Run(plan, 4, "plan.kmz");
  ASSERT_EQ(serial.error, "");
  ASSERT_EQ(parallel.error, "");
  const std::string a = DocInKmz(dir_ / "1" / "plan.kmz"), b = DocInKmz(dir_ / "4" / "plan.kmz");
  EXPECT_GT(a.size(), 100000u);
  EXPECT_TRUE(a == b);
}

TEST_F(ParallelRunTest, TheFirstFailingEntityInOutputOrderIsReportedAndNothingWritten) {
  // Two broken entities far apart, in different chunks; lines come after polylines
  // in the output, so the polyline is the first failure whatever the file order.
  std::vector<Entity> plan = Plan(2500, 3);
  int brokenLine = -1, brokenPline = -1;
  for (int k = static_cast<int>(plan.size()) - 1; k >= 0; --k) {
    if (brokenLine < 0 && plan[k].type() == EntityType::kLine && k < 600) brokenLine = k;
    if (brokenPline < 0 && plan[k].type() == EntityType::kLwPolyline && k > 1800) brokenPline = k;
  }
  ASSERT_GE(brokenLine, 0);
  ASSERT_GE(brokenPline, 0);
  plan[brokenLine].As<varnolt::Line>()->start[1] = std::nan("");
  plan[brokenPline].As<LwPolyline>()->vertices[1].y = INFINITY;

  const Outcome serial = Run(plan, 1, "broken.kml");
  ASSERT_NE(serial.error, "");
  EXPECT_NE(serial.error.find("handle " + plan[brokenPline].handle), std::string::npos)
      << serial.error;
  EXPECT_TRUE(serial.document.empty());
  for (unsigned threads : {2u, 5u}) {
    const Outcome parallel = Run(plan, threads, "broken.kml");
    EXPECT_EQ(parallel.error, serial.error) << threads;
    EXPECT_EQ(parallel.calls, serial.calls) << threads;
    EXPECT_TRUE(parallel.document.empty());
    // Nothing left behind: no temporary, no partial document.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / std::to_string(threads)),
                            fs::directory_iterator()),
              0);
  }
}

TEST_F(ParallelRunTest, ASettingThatFailsEveryEntityFailsAtTheFirstAsSerial) {
  // Text1 = 0 cannot cut straight segments: the first polyline fails, in every run.
  Settings s = PlanSettings();
  s.Text1 = "0";
  const std::vector<Entity> plan = Plan(1000, 4);
  const Outcome serial = Run(plan, 1, "zero.kml", s);
  const Outcome parallel = Run(plan, 3, "zero.kml", s);
  ASSERT_NE(serial.error, "");
  EXPECT_EQ(parallel.error, serial.error);
  EXPECT_EQ(parallel.calls, serial.calls);
}

TEST_F(ParallelRunTest, WarningsComeOnceAndInTheSerialPlace) {
  // An easting with a zone number in front, deep in the drawing.
  std::vector<Entity> plan = Plan(1500, 5);
  Text zoned;
  zoned.insertion = {38512345.0, 3380000.0, 0};
  plan[1400].geometry = zoned;
  const Outcome serial = Run(plan, 1, "zone.kml");
  const Outcome parallel = Run(plan, 4, "zone.kml");
  ASSERT_EQ(serial.error, "");
  int warnings = 0;
  for (const std::string& c : serial.calls) warnings += c.rfind("warning ", 0) == 0;
  EXPECT_EQ(warnings, 1);
  EXPECT_EQ(parallel.calls, serial.calls);
  EXPECT_TRUE(parallel.document == serial.document);
}

}  // namespace
}  // namespace varnolt
