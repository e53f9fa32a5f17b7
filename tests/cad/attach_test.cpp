// The real attach path: `varnolt convert --cad` finds the fake host in another
// process through the running-object table (by the class it is told, or by the
// classes it knows) and writes the golden document, through the host's Export; the
// prompts reach the host's command line in order; a host that dies leaves nothing;
// `varnolt import --cad` adds to the host what it writes to a DXF file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/error.h"
#include "cad/autocad.h"
#include "cad/dxf_writer.h"
#include "golden_cases.h"
#include "run/run.h"
#include "run_process.h"
#include "class_names.h"
#include "fake_cad.h"
#include "temp_dir.h"
#include "user_temp.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;

// The fake host serving one drawing while it lives.
class FakeHostProcess {
 public:
  FakeHostProcess(const fs::path& drawing, const fs::path& prompts, const fs::path& log,
                  const std::string& progId = "Varnolt.FakeCad",
                  std::vector<std::string> more = {"--export"}) {
    const std::string tag = std::to_string(::GetCurrentProcessId());
    const std::string ready = "Local\\varnolt-fake-cad-ready-" + tag;
    const std::string end = "Local\\varnolt-fake-cad-end-" + tag;
    ready_ = ::CreateEventW(nullptr, TRUE, FALSE, testing::win32::Widen(ready).c_str());
    end_ = ::CreateEventW(nullptr, TRUE, FALSE, testing::win32::Widen(end).c_str());
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    in_ = ::CreateFileW(L"NUL", GENERIC_READ, share, &inherit, OPEN_EXISTING, 0, nullptr);
    err_ = ::CreateFileW(log.c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, 0, nullptr);
    std::vector<std::string> args = {FAKE_CAD_SERVER, "--drawing", Utf8(drawing), "--progid",
                                     progId, "--ready", ready, "--end", end,
                                     "--prompts", Utf8(prompts)};
    args.insert(args.end(), more.begin(), more.end());
    started_ = testing::win32::Start(args, in_, err_, err_, pi_);
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
  // The program's temporary folder is one of the test's own, so that an exported
  // drawing left behind is seen.
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    ASSERT_FALSE(userTemp_.path().empty());
    tmp_ = std::make_unique<testing::UserTempFolder>(userTemp_.path());
  }
  void TearDown() override { tmp_.reset(); }
  testing::TempDir temp_{"varnolt-attach"};
  testing::TempDir userTemp_{"varnolt-attach-tmp"};
  std::unique_ptr<testing::UserTempFolder> tmp_;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// --include on the command line reaches the drawing the host exports: the block
// drawing's golden document, blocks exploded.
TEST_F(CadAttachTest, ConvertCadWritesTheGoldenDocument) {
  const fs::path golden = testing::GoldenDir() / "kinds_blocks";
  const fs::path prompts = temp_.path() / "prompts.txt", log = temp_.path() / "host.log";
  const fs::path out = temp_.path() / "kinds_blocks.kml";
  FakeHostProcess host(golden / "drawing.dxf", prompts, log);
  ASSERT_TRUE(host.WaitReady()) << ReadBytes(log);
  EXPECT_TRUE(CadRegistered("Varnolt.FakeCad"));

  // The settings of the seven families alone: the blocks come from --include.
  const testing::ProcessResult r = testing::RunProcess(
      {VARNOLT_BINARY, "convert", "--cad", "--cad-progid", "Varnolt.FakeCad", "--include",
       "blocks", "--settings", Utf8(testing::GoldenDir() / "families" / "Varnolt.ini"), "-o",
       Utf8(out)});
  EXPECT_EQ(host.Stop(), 0) << ReadBytes(log);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(ReadBytes(out) == ReadBytes(golden / "expected.kml"));
  EXPECT_TRUE(fs::is_empty(userTemp_.path()));
  EXPECT_EQ(r.err.find("not read through the CAD host's Export"), std::string::npos) << r.err;

  // On the host: the pick, "processing", each family's progress, elapsed, done; each
  // line ending LF CR. The terminal shows the same prompts.
  const std::vector<std::string> got = Lines(ReadBytes(prompts));
  ASSERT_GE(got.size(), 5u) << ReadBytes(prompts);
  EXPECT_EQ(got[0], std::string(kSelectPrompt) + "\\n\\r");
  EXPECT_EQ(got[1], std::string(kProcessingPrompt) + "\\n\\r");
  EXPECT_EQ(got[2].rfind("====== 正在转换", 0), 0u) << got[2];
  EXPECT_EQ(got[got.size() - 2], CompletionPrompt(Utf8(out)) + "\\n\\r");
  EXPECT_EQ(got.back().rfind("calls ", 0), 0u);
  for (size_t k = 0; k + 1 < got.size(); ++k) {
    EXPECT_EQ(got[k].substr(got[k].size() - 4), "\\n\\r") << got[k];
  }
  EXPECT_NE(r.err.find(std::string(kSelectPrompt)), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(CompletionPrompt(Utf8(out))), std::string::npos) << r.err;
}

// With no class named, the host registered only as ZWCAD.Application (a compatible
// host) is found among the classes the session knows and converts.
TEST_F(CadAttachTest, ACompatibleHostIsFoundWithoutBeingNamed) {
  if (CadRegistered()) GTEST_SKIP() << "a CAD host is registered on this machine";
  const fs::path golden = testing::GoldenDir() / "families";
  const fs::path prompts = temp_.path() / "prompts.txt", log = temp_.path() / "host.log";
  const fs::path out = temp_.path() / "families.kml";
  FakeHostProcess host(golden / "drawing.dxf", prompts, log, "ZWCAD.Application");
  ASSERT_TRUE(host.WaitReady()) << ReadBytes(log);
  const testing::ProcessResult r = testing::RunProcess(
      {VARNOLT_BINARY, "convert", "--cad", "--settings", Utf8(golden / "Varnolt.ini"), "-o",
       Utf8(out)});
  EXPECT_EQ(host.Stop(), 0) << ReadBytes(log);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(ReadBytes(out) == ReadBytes(golden / "expected.kml"));
  EXPECT_FALSE(CadRegistered()) << "the server left its class behind";
}

// A host registered as a local server but not running is started (COM runs the fake
// host server, which then serves its class) and converts.
TEST_F(CadAttachTest, AHostThatDoesNotRunIsStarted) {
  const fs::path golden = testing::GoldenDir() / "families";
  const fs::path prompts = temp_.path() / "prompts.txt";
  const fs::path out = temp_.path() / "families.kml";
  const std::string tag = std::to_string(::GetCurrentProcessId());
  const std::string ready = "Local\\varnolt-fake-cad-started-" + tag;
  const std::string end = "Local\\varnolt-fake-cad-stop-" + tag;
  const HANDLE readyEvent = ::CreateEventW(nullptr, TRUE, FALSE, testing::win32::Widen(ready).c_str());
  const HANDLE endEvent = ::CreateEventW(nullptr, TRUE, FALSE, testing::win32::Widen(end).c_str());
  // The options in a file: COM keeps the command line in a value of limited length.
  const fs::path options = temp_.path() / "server.txt";
  std::ofstream(options) << "--drawing\n" << Utf8(golden / "drawing.dxf") << "\n--progid\n"
                         << "Varnolt.FakeCad.Start\n--ready\n" << ready << "\n--end\n" << end
                         << "\n--prompts\n" << Utf8(prompts) << "\n--export\n--class\n";
  const std::string command =
      "\"" + std::string(FAKE_CAD_SERVER) + "\" --options \"" + Utf8(options) + "\"";
  const testing::ClassName name(L"Varnolt.FakeCad.Start", testing::kFakeCadClassText,
                                testing::win32::Widen(command));
  ASSERT_TRUE(name.ok());

  const testing::ProcessResult r = testing::RunProcess(
      {VARNOLT_BINARY, "convert", "--cad", "--cad-progid", "Varnolt.FakeCad.Start", "--settings",
       Utf8(golden / "Varnolt.ini"), "-o", Utf8(out)});
  const bool started = ::WaitForSingleObject(readyEvent, 0) == WAIT_OBJECT_0;
  ::SetEvent(endEvent);
  // The server writes its prompts as it ends.
  for (int i = 0; i < 600 && !fs::exists(prompts); ++i) ::Sleep(100);
  ::CloseHandle(readyEvent);
  ::CloseHandle(endEvent);
  EXPECT_TRUE(started);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(ReadBytes(out) == ReadBytes(golden / "expected.kml"));
}

// The host process ends in the middle of the pick: the general failure, no document,
// no exported drawing.
TEST_F(CadAttachTest, AHostThatDiesLeavesNothing) {
  const fs::path golden = testing::GoldenDir() / "families";
  const fs::path prompts = temp_.path() / "prompts.txt", log = temp_.path() / "host.log";
  const fs::path out = temp_.path() / "families.kml";
  FakeHostProcess host(golden / "drawing.dxf", prompts, log, "Varnolt.FakeCad",
                       {"--export", "--die-at", "Line.Handle:3"});
  ASSERT_TRUE(host.WaitReady()) << ReadBytes(log);
  const testing::ProcessResult r = testing::RunProcess(
      {VARNOLT_BINARY, "convert", "--cad", "--cad-progid", "Varnolt.FakeCad", "--settings",
       Utf8(golden / "Varnolt.ini"), "-o", Utf8(out)});
  EXPECT_EQ(host.Stop(), 3);
  EXPECT_EQ(r.exitCode, 1) << r.err;
  const std::string first = std::string("varnolt: ") +
                            FailureMessage(Task::kConversion, ErrorKind::kGeneral) + "\n";
  EXPECT_NE(r.err.find(first), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(out));
  EXPECT_TRUE(fs::is_empty(userTemp_.path()));
}

// `varnolt import --cad` gives the host's model space, written out by the host as a
// drawing, the very bytes `varnolt import -o` writes for the same file.
TEST_F(CadAttachTest, ImportCadAddsWhatTheDxfHolds) {
  const fs::path empty = temp_.path() / "empty.dxf", added = temp_.path() / "added.dxf";
  const fs::path prompts = temp_.path() / "prompts.txt", log = temp_.path() / "host.log";
  const fs::path written = temp_.path() / "written.dxf";
  std::ofstream(empty, std::ios::binary) << WriteDxf({}, {});
  const std::string track = Utf8(fs::path(VARNOLT_SOURCE_DIR) / "fuzz" / "seeds" /
                                 "geo_import" / "track.gpx");
  FakeHostProcess host(empty, prompts, log, "Varnolt.FakeCad", {"--adding", Utf8(added)});
  ASSERT_TRUE(host.WaitReady()) << ReadBytes(log);
  const testing::ProcessResult r = testing::RunProcess(
      {VARNOLT_BINARY, "import", track, "--cad", "--cad-progid", "Varnolt.FakeCad"});
  EXPECT_EQ(host.Stop(), 0) << ReadBytes(log);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("-> Varnolt.FakeCad: Fake CAD"), std::string::npos) << r.err;
  const testing::ProcessResult w =
      testing::RunProcess({VARNOLT_BINARY, "import", track, "-o", Utf8(written)});
  ASSERT_EQ(w.exitCode, 0) << w.err;
  EXPECT_TRUE(ReadBytes(added) == ReadBytes(written)) << "the host holds other entities";
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
