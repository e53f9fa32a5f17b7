// How long a live session takes over the fake host: a drawing's entities handed over
// by automation, read and converted, in this process and across processes (the fake
// host server, attached through the running-object table), and `varnolt convert
// --cad` end to end. Prints one line per way, with the prompts the host received.
//
//   fake_cad_measure DRAWING.dxf SERVER.exe VARNOLT.exe
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

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

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// Notes when the pick has been read: RunConversion says "processing" right after
// SelectOnScreen() returns.
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
  Server(const std::string& exe, const fs::path& drawing, const fs::path& prompts) {
    const std::string tag = std::to_string(::GetCurrentProcessId());
    const std::string ready = "Local\\varnolt-measure-ready-" + tag;
    const std::string end = "Local\\varnolt-measure-end-" + tag;
    ready_ = ::CreateEventW(nullptr, TRUE, FALSE, varnolt::testing::win32::Widen(ready).c_str());
    end_ = ::CreateEventW(nullptr, TRUE, FALSE, varnolt::testing::win32::Widen(end).c_str());
    ok_ = varnolt::testing::win32::Start(
        {exe, "--drawing", varnolt::Utf8(drawing), "--progid", "Varnolt.FakeCad", "--ready",
         ready, "--end", end, "--prompts", varnolt::Utf8(prompts)},
        ::GetStdHandle(STD_INPUT_HANDLE), ::GetStdHandle(STD_OUTPUT_HANDLE),
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

// Lines of the server's prompt file that are prompts (the last one counts calls).
std::string Tail(const fs::path& prompts, size_t& count) {
  const std::string text = varnolt::testing::ReadWholeFile(prompts);
  count = 0;
  size_t last = 0;
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
    ++count;
    if (at + 1 < text.size()) last = at + 1;
  }
  return count > 0 ? (--count, text.substr(last)) : std::string();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: fake_cad_measure DRAWING.dxf SERVER.exe VARNOLT.exe\n");
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);  // each line out as soon as it is measured
  const fs::path drawing = varnolt::PathFromUtf8(argv[1]);
  const varnolt::Settings settings = BenchSettings();
  const varnolt::testing::TempDir temp("varnolt-measure");
  try {
    // In this process.
    {
      const varnolt::DxfDrawing d = varnolt::ReadDxfFile(drawing);
      varnolt::testing::FakeCadScript script;
      script.layers = d.layers;
      script.entities = d.entities;
      varnolt::testing::FakeCad fake(script);
      const auto t0 = Clock::now();
      auto session = varnolt::AttachCad(fake.application());
      Timing timing;
      varnolt::CadPromptReporter reporter(*session, &timing);
      fs::create_directory(temp.path() / "in");
      varnolt::RunConversion(*session, settings, temp.path() / "in" / "cad.kml", reporter);
      const auto t2 = Clock::now();
      std::printf("in-process: %zu entities, %zu calls, read %.3f s, convert %.3f s, "
                  "%zu prompts (%lld progress)\n",
                  d.entities.size(), fake.calls().size(), Seconds(t0, timing.read),
                  Seconds(timing.read, t2), fake.prompts().size(),
                  static_cast<long long>(reporter.progressPromptsSent()));
    }
    // Across processes, attached from here.
    {
      const fs::path prompts = temp.path() / "prompts-cross.txt";
      size_t promptCount = 0;
      {
        Server server(argv[2], drawing, prompts);
        if (!server.ok()) throw std::runtime_error("the fake host server did not start");
        const auto t0 = Clock::now();
        auto session = varnolt::ConnectCad("Varnolt.FakeCad");
        Timing timing;
        varnolt::CadPromptReporter reporter(*session, &timing);
        fs::create_directory(temp.path() / "cross");
        varnolt::RunConversion(*session, settings, temp.path() / "cross" / "cad.kml", reporter);
        const auto t2 = Clock::now();
        std::printf("cross-process: read %.3f s, convert %.3f s, ", Seconds(t0, timing.read),
                    Seconds(timing.read, t2));
      }
      const std::string calls = Tail(prompts, promptCount);
      std::printf("%zu prompts, %s", promptCount, calls.c_str());
      const bool same = varnolt::testing::ReadWholeFile(temp.path() / "cross" / "cad.kml") ==
                        varnolt::testing::ReadWholeFile(temp.path() / "in" / "cad.kml");
      std::printf("cross-process document %s the in-process one\n",
                  same ? "is byte-identical to" : "DIFFERS from");
    }
    // varnolt convert --cad, end to end.
    {
      const fs::path prompts = temp.path() / "prompts-cli.txt";
      Server server(argv[2], drawing, prompts);
      if (!server.ok()) throw std::runtime_error("the fake host server did not start");
      const auto t0 = Clock::now();
      const auto r = varnolt::testing::RunProcess(
          {argv[3], "convert", "--cad", "--cad-progid", "Varnolt.FakeCad", "--datum",
           "beijing54", "--meridian", "114.3", "--settings",
           varnolt::Utf8(temp.path() / "Varnolt.ini"), "-o",
           varnolt::Utf8(temp.path() / "cli.kml")});
      const auto t1 = Clock::now();
      std::printf("varnolt convert --cad: exit %d, %.3f s wall\n", r.exitCode, Seconds(t0, t1));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fake_cad_measure: %s\n", e.what());
    return 1;
  }
  return 0;
}
