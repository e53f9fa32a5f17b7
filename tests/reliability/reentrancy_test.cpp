// The core keeps no mutable globals and never switches the locale: conversions run
// on several threads at once give, byte for byte, what serial runs give. CI runs
// this program under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <locale>
#include <string>
#include <thread>
#include <vector>

#include "cad/dxf.h"
#include "calc/correction.h"
#include "run/run.h"
#include "settings/settings.h"
#include "temp_dir.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;

class Quiet : public RunReporter {
 public:
  void Prompt(const std::string&) override {}
};

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Job {
  fs::path drawing;
  Settings settings;
};

// Eight drawings, each with its own settings (two datums, several meridians, arcs
// on and off, GBK and UTF-8 text, binary and R12 files).
std::vector<Job> Jobs() {
  const fs::path golden = fs::path(VARNOLT_SOURCE_DIR) / "tests" / "golden";
  std::vector<Job> jobs;
  for (const char* name : {"families", "datum_xian80", "bulges_arcs_on", "closed_polylines",
                           "gbk_r2000", "texts", "r12_polyline", "utf8_r2018"}) {
    jobs.push_back({golden / name / "drawing.dxf", LoadSettings(golden / name / "Varnolt.ini")});
  }
  return jobs;
}

// Every output is named doc.kml, in a folder of its own: the document is named
// after its file.
std::string Convert(const Job& job, const fs::path& folder) {
  fs::create_directories(folder);
  const fs::path out = folder / "doc.kml";
  // Read in small pieces on three threads of its own, so that the reading's threads
  // run beside the other conversions' too.
  DxfLimits limits;
  limits.pieceBytes = 256;
  limits.threads = 3;
  DxfSource source(job.drawing, limits);
  Quiet quiet;
  RunConversion(source, job.settings, out, quiet);
  return ReadBytes(out);
}

class ReentrancyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty()) << "no temporary folder";
    dir_ = temp_.path();
  }
  testing::TempDir temp_{"varnolt-threads"};
  fs::path dir_;
};

TEST_F(ReentrancyTest, FourThreadsGiveWhatSerialRunsGive) {
  const std::vector<Job> jobs = Jobs();
  std::vector<std::string> serial;
  for (size_t i = 0; i < jobs.size(); ++i) {
    serial.push_back(Convert(jobs[i], dir_ / ("serial" + std::to_string(i))));
    ASSERT_GT(serial.back().size(), 1000u) << jobs[i].drawing;
  }

  // Three rounds of the eight drawings, taken in turn by four threads, each run to
  // its own file.
  constexpr size_t kRounds = 3;
  const size_t total = kRounds * jobs.size();
  std::vector<std::string> parallel(total);
  std::vector<std::string> failures(total);
  std::atomic<size_t> next{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (size_t k = next++; k < total; k = next++) {
        try {
          parallel[k] = Convert(jobs[k % jobs.size()], dir_ / ("p" + std::to_string(k)));
        } catch (const std::exception& e) {
          failures[k] = e.what();
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  for (size_t k = 0; k < total; ++k) {
    SCOPED_TRACE(jobs[k % jobs.size()].drawing.string());
    EXPECT_EQ(failures[k], "");
    EXPECT_TRUE(parallel[k] == serial[k % jobs.size()]);
  }
}

// Corrections computed on four threads at once, while conversions run as well.
TEST_F(ReentrancyTest, CorrectionsAlongsideConversions) {
  const std::string points = ReadBytes(fs::path(VARNOLT_SOURCE_DIR) / "examples" / "control_points.txt");
  Settings settings;
  settings.Text2 = "114.3";
  const CorrectionResult expected = ComputeCorrections(settings, ParseControlPoints(points));
  const std::vector<Job> jobs = Jobs();
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20; ++i) {
        if (ComputeCorrections(settings, ParseControlPoints(points)).table != expected.table) {
          ++mismatches;
        }
      }
      Convert(jobs[static_cast<size_t>(t)], dir_ / ("c" + std::to_string(t)));
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(mismatches.load(), 0);
}

// The run leaves the process's locales as it found them ...
TEST_F(ReentrancyTest, LocaleIsNotChanged) {
  const std::string cBefore = std::setlocale(LC_ALL, nullptr);
  const std::string cppBefore = std::locale().name();
  Convert(Jobs()[0], dir_ / "c");
  EXPECT_EQ(std::setlocale(LC_ALL, nullptr), cBefore);
  EXPECT_EQ(std::locale().name(), cppBefore);
}

// ... and a locale with a decimal comma changes nothing in the output.
TEST_F(ReentrancyTest, DecimalCommaLocaleChangesNothing) {
  const Job job = Jobs()[0];
  const std::string reference = Convert(job, dir_ / "c");
  const std::string cBefore = std::setlocale(LC_ALL, nullptr);
  bool switched = false;
#ifdef _WIN32
  // The C runtime's own names (under wine too).
  const auto names = {"German_Germany.1252", "French_France.1252", "Russian_Russia.1251"};
#else
  const auto names = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"};
#endif
  for (const char* name : names) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      switched = true;
      break;
    }
  }
  if (!switched) GTEST_SKIP() << "no locale with a decimal comma is installed";
  const std::string withComma = Convert(job, dir_ / "comma");
  std::setlocale(LC_ALL, cBefore.c_str());
  EXPECT_TRUE(withComma == reference);
}

}  // namespace
}  // namespace varnolt
