// How long a live session takes over the fake host: the drawing's model-space
// entities all picked, read through the host's Export or member by member, in this
// process, and `varnolt convert --cad` end to end across processes (the fake host
// server, attached through the running-object table); beside them the DXF path on the
// same drawing. Prints one line per way, with the calls the host answered.
//
//   fake_cad_measure DRAWING.dxf SERVER.exe VARNOLT.exe [WAY...]
//
// WAY is dxf, in-export, in-members, cli-export or cli-members; default: all.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/paths.h"
#include "cad/autocad.h"
#include "cad/dxf.h"
#include "fake_cad.h"
#include "run/cad_reporter.h"
#include "run/run.h"
#include "run_process.h"
#include "settings/settings.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using varnolt::testing::FakeHostMode;

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// Notes when the pick has been read: RunConversion says "processing" right after
// the pick.
struct Timing : varnolt::RunReporter {
  Clock::time_point read{};
  void Prompt(const std::string& text) override {
    if (text == varnolt::kProcessingPrompt) read = Clock::now();
  }
};

// The settings of the benchmark drawings: Beijing 1954, central meridian 114 30'.
varnolt::Settings BenchSettings() {
  varnolt::Settings s;
  s.Option1 = true;
  s.Option2 = false;
  s.Text2 = "114.3";
  return s;
}

class Server {
 public:
  Server(const std::string& exe, const fs::path& drawing, const fs::path& prompts, bool exports) {
    const std::string tag = std::to_string(::GetCurrentProcessId());
    const std::string ready = "Local\\varnolt-measure-ready-" + tag;
    const std::string end = "Local\\varnolt-measure-end-" + tag;
    ready_ = ::CreateEventW(nullptr, TRUE, FALSE, varnolt::testing::win32::Widen(ready).c_str());
    end_ = ::CreateEventW(nullptr, TRUE, FALSE, varnolt::testing::win32::Widen(end).c_str());
    std::vector<std::string> args = {exe, "--drawing", varnolt::Utf8(drawing), "--progid",
                                     "Varnolt.FakeCad", "--ready", ready, "--end", end,
                                     "--prompts", varnolt::Utf8(prompts)};
    if (exports) args.push_back("--export");
    ok_ = varnolt::testing::win32::Start(args, ::GetStdHandle(STD_INPUT_HANDLE),
                                         ::GetStdHandle(STD_OUTPUT_HANDLE),
                                         ::GetStdHandle(STD_ERROR_HANDLE), pi_);
    const HANDLE both[2] = {ready_, pi_.hProcess};
    ok_ = ok_ && ::WaitForMultipleObjects(2, both, FALSE, 120000) == WAIT_OBJECT_0;
  }
  ~Server() {
    ::SetEvent(end_);
    ::WaitForSingleObject(pi_.hProcess, 60000);
    ::CloseHandle(pi_.hProcess);
    ::CloseHandle(pi_.hThread);
    ::CloseHandle(ready_);
    ::CloseHandle(end_);
  }
  bool ok() const { return ok_; }

 private:
  HANDLE ready_, end_;
  PROCESS_INFORMATION pi_{};
  bool ok_ = false;
};

// The last line of the server's prompt file: "calls N (...)".
std::string CallsLine(const fs::path& prompts) {
  std::string text = varnolt::testing::ReadWholeFile(prompts);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text.substr(text.rfind('\n') + 1);
}

void MeasureDxfPath(const fs::path& drawing, const fs::path& out) {
  const auto t0 = Clock::now();
  varnolt::DxfSource source(drawing);
  Timing timing;
  varnolt::RunConversion(source, BenchSettings(), out, timing);
  const auto t1 = Clock::now();
  std::printf("dxf path: read %.3f s, convert %.3f s\n", Seconds(t0, timing.read),
              Seconds(timing.read, t1));
}

void MeasureInProcess(const fs::path& drawing, const fs::path& out, FakeHostMode mode) {
  varnolt::testing::FakeCad fake(varnolt::testing::ScriptFromDrawing(drawing), mode);
  const auto t0 = Clock::now();
  auto session = varnolt::AttachCad(fake.application());
  Timing timing;
  varnolt::CadPromptReporter reporter(*session, &timing);
  const varnolt::RunResult r = varnolt::RunConversion(*session, BenchSettings(), out, reporter);
  const auto t1 = Clock::now();
  std::printf("in-process, %s: %lld entities, %zu calls + %ld lookups, read %.3f s, "
              "convert %.3f s, %zu prompts\n",
              mode == FakeHostMode::kExport ? "Export" : "member by member",
              static_cast<long long>(r.entities), fake.calls().size(), fake.lookups(),
              Seconds(t0, timing.read), Seconds(timing.read, t1), fake.prompts().size());
}

void MeasureCli(const char* server, const char* varnolt, const fs::path& drawing,
                const fs::path& dir, const fs::path& out, bool exports) {
  const fs::path prompts = dir / (exports ? "prompts-export.txt" : "prompts-members.txt");
  double wall = 0;
  int exitCode = -1;
  {
    Server host(server, drawing, prompts, exports);
    if (!host.ok()) throw std::runtime_error("the fake host server did not start");
    const auto t0 = Clock::now();
    const auto r = varnolt::testing::RunProcess(
        {varnolt, "convert", "--cad", "--cad-progid", "Varnolt.FakeCad", "--datum", "beijing54",
         "--meridian", "114.3", "--settings", varnolt::Utf8(dir / "Varnolt.ini"), "-o",
         varnolt::Utf8(out)});
    wall = Seconds(t0, Clock::now());
    exitCode = r.exitCode;
  }
  std::printf("varnolt convert --cad, %s: exit %d, %.3f s wall, %s\n",
              exports ? "Export" : "member by member", exitCode, wall, CallsLine(prompts).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: fake_cad_measure DRAWING.dxf SERVER.exe VARNOLT.exe [WAY...]\n");
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);  // each line out as soon as it is measured
  const fs::path drawing = varnolt::PathFromUtf8(argv[1]);
  std::vector<std::string> ways(argv + 4, argv + argc);
  if (ways.empty()) ways = {"dxf", "in-export", "in-members", "cli-export", "cli-members"};
  const varnolt::testing::TempDir temp("varnolt-measure");
  try {
    // Each way writes bench.kml in a folder of its own: the documents are named alike.
    for (const std::string& way : ways) {
      fs::create_directory(temp.path() / way);
      const fs::path out = temp.path() / way / "bench.kml";
      if (way == "dxf") MeasureDxfPath(drawing, out);
      if (way == "in-export") MeasureInProcess(drawing, out, FakeHostMode::kExport);
      if (way == "in-members") MeasureInProcess(drawing, out, FakeHostMode::kStrict);
      if (way == "cli-export") MeasureCli(argv[2], argv[3], drawing, temp.path(), out, true);
      if (way == "cli-members") MeasureCli(argv[2], argv[3], drawing, temp.path(), out, false);
    }
    // The documents of every way that wrote one, against the first.
    std::string first;
    for (const std::string& way : ways) {
      const fs::path file = temp.path() / way / "bench.kml";
      if (!fs::exists(file)) continue;
      const std::string bytes = varnolt::testing::ReadWholeFile(file);
      if (first.empty()) first = bytes;
      std::printf("%s: %s\n", way.c_str(), bytes == first ? "the same document" : "DIFFERS");
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fake_cad_measure: %s\n", e.what());
    return 1;
  }
  return 0;
}
