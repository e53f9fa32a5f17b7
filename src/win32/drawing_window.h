// The drawing window of the Windows edition, where the user picks when no CAD host
// is used: one DXF drawing's model space in a view (win32/drawing_view.h), the run's
// prompts in a pane beneath it as on a CAD program's command line, and the number of
// picked entities and the run's progress in the status bar. Its title holds the
// drawing's file name. Closing it hides it; the drawing stays for the next Convert.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cad/dxf.h"
#include "run/run.h"
#include "win32/drawing_view.h"

namespace varnolt::win32 {

// The children's dialog ids, by which tests find them.
inline constexpr int kDrawingViewId = 1;
inline constexpr int kPromptPaneId = 2;
inline constexpr int kStatusBarId = 3;
inline constexpr std::string_view kDrawingTitle = "Varnolt 图形";

class DrawingWindow {
 public:
  // What the window's menu asks of its owner, and the end of a selection.
  struct Actions {
    std::function<void()> open;                          // 文件 ▸ 打开
    std::function<void()> options;                       // 选项 ▸ 转换选项
    std::function<void(bool cancelled)> selectionEnded;  // Esc: cancelled
  };

  DrawingWindow(HWND owner, Actions actions) : owner_(owner), actions_(std::move(actions)) {}
  DrawingWindow(const DrawingWindow&) = delete;
  DrawingWindow& operator=(const DrawingWindow&) = delete;
  ~DrawingWindow();

  bool Create();
  HWND hwnd() const { return hwnd_; }
  bool visible() const { return hwnd_ != nullptr && ::IsWindowVisible(hwnd_); }

  bool HasDrawing() const { return view_.picking().drawing() != nullptr; }
  std::shared_ptr<const DxfDrawing> drawing() const { return view_.picking().drawing(); }
  const std::filesystem::path& path() const { return path_; }
  // Reads the DXF file with these kinds beyond the seven families (IncludeKind bits)
  // and shows it fitted. Throws Error; the window keeps its drawing then.
  void LoadDrawing(const std::filesystem::path& path, unsigned include);
  // Reads the drawing shown again when the kinds differ from those it was read with.
  void SetInclude(unsigned include);

  void Show();
  void BeginSelection() { view_.BeginSelection(); }
  bool selecting() const { return view_.picking().selecting(); }
  const std::vector<size_t>& picked() const { return view_.picking().picked(); }
  DrawingView& view() { return view_; }

  // One prompt on a line of its own in the pane, shown at once.
  void AppendPrompt(const std::string& text);
  void SetProgress(int64_t done, int64_t total);
  // While a run uses the drawing it cannot be replaced.
  void SetBusy(bool busy);

  // For the window procedure (win32/window_util.h).
  void Attach(HWND hwnd) { hwnd_ = hwnd; }
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);

 private:
  void Layout();
  void ShowPickCount(size_t count);

  HWND owner_;
  Actions actions_;
  HWND hwnd_ = nullptr;
  HWND pane_ = nullptr;
  HWND status_ = nullptr;
  HMENU fileMenu_ = nullptr;
  HFONT paneFont_ = nullptr;
  DrawingView view_;
  std::filesystem::path path_;
  unsigned include_ = 0;
  int lastPercent_ = -1;
};

// The run's prompts in the drawing window's pane: the select prompt, shown while the
// user picked, is not shown again; per-entity prompts at most ten a second, and each
// family's last; warnings marked as such. Keeps the last prompt for the closing box.
class PaneReporter : public RunReporter {
 public:
  explicit PaneReporter(DrawingWindow& window) : window_(window) {}
  void Prompt(const std::string& text) override;
  void Progress(int64_t done, int64_t total) override { window_.SetProgress(done, total); }
  void Warning(const RunWarning& warning) override;
  void Converting(int familyIndex, int64_t i, int64_t count) override;
  const std::string& lastPrompt() const { return last_; }

 private:
  DrawingWindow& window_;
  bool selectSkipped_ = false;
  std::string last_;
  std::chrono::steady_clock::time_point shown_{};
};

}  // namespace varnolt::win32
