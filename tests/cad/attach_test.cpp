// The real attach path: `varnolt convert --cad` finds the fake host in another
// process through the running-object table and writes the golden document; the
// prompts reach the host's command line in order.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "base/error.h"
#include "cad/autocad.h"
#include "golden_cases.h"
#include "run/run.h"
#include "run_process.h"
#include "temp_dir.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;

// The fake host serving one drawing while it lives.
class FakeHostProcess {
 public:
  FakeHostProcess(const fs::path& drawing, const fs::path& prompts, const fs::path& log) {
    const std::string tag = std::to_string(::GetCurrentProcessId());
    const std::string ready = "Local\\varnolt-fake-cad-ready-" + tag;
    const std::string end = "Local\\varnolt-fake-cad-end-" + tag;
    ready_ = ::CreateEventW(nullptr, TRUE, FALSE, testing::win32::Widen(ready).c_str());
    end_ = ::CreateEventW(nullptr, TRUE, FALSE, testing::win32::Widen(end).c_str());
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    in_ = ::CreateFileW(L"NUL", GENERIC_READ, share, &inherit, OPEN_EXISTING, 0, nullptr);
    err_ = ::CreateFileW(log.c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, 0, nullptr);
    started_ = testing::win32::Start({FAKE_CAD_SERVER, "--drawing", Utf8(drawing), "--progid",
                                      "Varnolt.FakeCad", "--ready", ready, "--end", end,
                                      "--prompts", Utf8(prompts)},
                                     in_, err_, err_, pi_);
  }
  ~FakeHostProcess() {
    Stop();
    for (HANDLE h : {ready_, end_, in_, err_}) {
      if (h != nullptr && h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    }
  }
  // True once the host serves; false when it exited or did not answer in a minute.
  bool WaitReady() {
    if (!started_) return false;
    const HANDLE both[2] = {ready_, pi_.hProcess};
    return ::WaitForMultipleObjects(2, both, FALSE, 60000) == WAIT_OBJECT_0;
  }
  // Ends the host; its exit code.
  int Stop() {
    if (!started_) return -1;
    ::SetEvent(end_);
    ::WaitForSingleObject(pi_.hProcess, 60000);
    exit_ = testing::win32::ExitCode(pi_.hProcess);
    ::CloseHandle(pi_.hProcess);
    ::CloseHandle(pi_.hThread);
    started_ = false;
    return exit_;
  }

 private:
  HANDLE ready_ = nullptr, end_ = nullptr, in_ = nullptr, err_ = nullptr;
  PROCESS_INFORMATION pi_{};
  bool started_ = false;
  int exit_ = -1;
};

class CadAttachTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(temp_.path().empty()); }
  testing::TempDir temp_{"varnolt-attach"};
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST_F(CadAttachTest, ConvertCadWritesTheGoldenDocument) {
  const fs::path golden = testing::GoldenDir() / "families";
  const fs::path prompts = temp_.path() / "prompts.txt", log = temp_.path() / "host.log";
  const fs::path out = temp_.path() / "families.kml";
  FakeHostProcess host(golden / "drawing.dxf", prompts, log);
  ASSERT_TRUE(host.WaitReady()) << ReadBytes(log);
  EXPECT_TRUE(CadRegistered("Varnolt.FakeCad"));

  const testing::ProcessResult r = testing::RunProcess(
      {VARNOLT_BINARY, "convert", "--cad", "--cad-progid", "Varnolt.FakeCad", "--settings",
       Utf8(golden / "Varnolt.ini"), "-o", Utf8(out)});
  EXPECT_EQ(host.Stop(), 0) << ReadBytes(log);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(ReadBytes(out) == ReadBytes(golden / "expected.kml"));

  // On the host: the pick, "processing", each family's progress, elapsed, done; each
  // line ending LF CR. The terminal shows the same prompts.
  const std::vector<std::string> got = Lines(ReadBytes(prompts));
  ASSERT_GE(got.size(), 5u) << ReadBytes(prompts);
  EXPECT_EQ(got[0], std::string(kSelectPrompt) + "\\n\\r");
  EXPECT_EQ(got[1], std::string(kProcessingPrompt) + "\\n\\r");
  EXPECT_EQ(got[2], ProgressPrompt(0, 1, 1) + "\\n\\r");
  EXPECT_EQ(got[got.size() - 2], CompletionPrompt(Utf8(out)) + "\\n\\r");
  EXPECT_EQ(got.back().rfind("calls ", 0), 0u);
  for (size_t k = 0; k + 1 < got.size(); ++k) {
    EXPECT_EQ(got[k].substr(got[k].size() - 4), "\\n\\r") << got[k];
  }
  EXPECT_NE(r.err.find(std::string(kSelectPrompt)), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(CompletionPrompt(Utf8(out))), std::string::npos) << r.err;
}

// No host under the name: the system's words, a failure exit, no document.
TEST_F(CadAttachTest, ConnectFailureExitsWithTheSystemsText) {
  const fs::path out = temp_.path() / "none.kml";
  const testing::ProcessResult r = testing::RunProcess(
      {VARNOLT_BINARY, "convert", "--cad", "--cad-progid", "Varnolt.NoSuchCad", "-o", Utf8(out)});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("cannot attach to or start the CAD host 'Varnolt.NoSuchCad': "),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(fs::is_empty(temp_.path())) << r.err;
}

// The output is created before the host is looked for: a folder that is not there is
// the file-access failure, worded by its kind, and no host is asked.
TEST_F(CadAttachTest, AnUnwritableOutputFailsBeforeTheHostIsLookedFor) {
  const fs::path out = temp_.path() / "missing" / "none.kml";
  const testing::ProcessResult r = testing::RunProcess(
      {VARNOLT_BINARY, "convert", "--cad", "--cad-progid", "Varnolt.NoSuchCad", "-o", Utf8(out)});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  const std::string first =
      std::string("varnolt: ") + FailureMessage(Task::kConversion, ErrorKind::kFileAccess) + "\n";
  EXPECT_EQ(r.err.rfind(first, 0), 0u) << r.err;
  EXPECT_EQ(r.err.find("Varnolt.NoSuchCad"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace varnolt
