// What the live-session tests share: a folder for the documents, the user's
// temporary folder pointed at a folder of the test's own (so that an exported
// drawing left behind is seen), a reporter that keeps what it is told, and the
// drawings the sessions are tried on.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/wide.h"
#include "cad/autocad.h"
#include "golden_cases.h"
#include "run/cad_reporter.h"
#include "run/run.h"
#include "settings/settings.h"
#include "temp_dir.h"
#include "user_temp.h"

namespace varnolt::testing {

struct Recorder : RunReporter {
  std::vector<std::string> prompts;
  std::vector<std::string> converting;
  std::vector<RunWarning> warnings;
  void Prompt(const std::string& text) override { prompts.push_back(text); }
  void Converting(int family, int64_t i, int64_t count) override {
    converting.push_back(ProgressPrompt(family, i, count));
  }
  void Warning(const RunWarning& warning) override { warnings.push_back(warning); }
};

// The document a run over `source` writes to `out`, read back; the file is removed.
inline std::string RunAndRead(EntitySource& source, const Settings& settings,
                              const std::filesystem::path& out, RunReporter& reporter) {
  RunConversion(source, settings, out, reporter);
  std::string bytes = ReadBytes(out);
  std::filesystem::remove(out);
  return bytes;
}

// What a run gives: its document, or "failed: " and the failure's words.
template <typename Run>
std::string Outcome(Run&& run) {
  try {
    return run();
  } catch (const Error& e) {
    return std::string("failed: ") + e.what();
  }
}

class CadSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    ASSERT_FALSE(userTemp_.path().empty());
    tmp_ = std::make_unique<UserTempFolder>(userTemp_.path());
  }
  void TearDown() override { tmp_.reset(); }
  std::filesystem::path Out(const std::string& name) const { return temp_.path() / name; }
  // Nothing of a run is left: no document, no exported drawing.
  void ExpectNothingLeft() const {
    EXPECT_TRUE(std::filesystem::is_empty(temp_.path()));
    EXPECT_TRUE(std::filesystem::is_empty(userTemp_.path()));
  }
  // The document of a run over the session, read back; the file is removed.
  std::string Convert(CadSession& session, const Settings& settings, Recorder& terminal,
                      const std::string& name = "out.kml") {
    CadPromptReporter reporter(session, &terminal);
    return RunAndRead(session, settings, Out(name), reporter);
  }

  TempDir temp_{"varnolt-cad"};
  TempDir userTemp_{"varnolt-cad-tmp"};
  std::unique_ptr<UserTempFolder> tmp_;
};

// The shared DXF corpus beside the sources, when it is there.
inline std::filesystem::path CorpusFile(const std::string& name) {
  const std::filesystem::path source(VARNOLT_SOURCE_DIR);
  for (const auto& up : {source / "..", source / ".." / ".."}) {
    const std::filesystem::path file = up / "shared" / "testdata" / "dxf" / name;
    if (std::filesystem::exists(file)) return file;
  }
  return {};
}

}  // namespace varnolt::testing
