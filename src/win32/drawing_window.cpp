#include "win32/drawing_window.h"

#include <commctrl.h>

#include <algorithm>

#include "base/paths.h"
#include "win32/window_util.h"

namespace varnolt::win32 {

namespace {

constexpr wchar_t kClassName[] = L"VarnoltDrawingWindow";
// Menu commands.
constexpr UINT kMenuOpen = 100;
constexpr UINT kMenuClose = 101;
constexpr UINT kMenuExtents = 110;
constexpr UINT kMenuOptions = 120;
// Sizes in pixels at 96 dpi.
constexpr int kWidth = 900, kHeight = 640;
constexpr int kPaneHeight = 110;
constexpr int kProgressPart = 220;  // the status bar's progress part, at its right
// The pane keeps about this many characters; older prompts scroll away.
constexpr int kPaneChars = 400000;
constexpr auto kConvertingEvery = std::chrono::milliseconds(100);

HMENU MakeMenu(HMENU& fileMenu) {
  HMENU bar = ::CreateMenu();
  fileMenu = ::CreatePopupMenu();
  ::AppendMenuW(fileMenu, MF_STRING, kMenuOpen, L"打开(&O)…");
  ::AppendMenuW(fileMenu, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(fileMenu, MF_STRING, kMenuClose, L"关闭(&C)");
  HMENU view = ::CreatePopupMenu();
  ::AppendMenuW(view, MF_STRING, kMenuExtents, L"范围缩放(&E)");
  HMENU options = ::CreatePopupMenu();
  ::AppendMenuW(options, MF_STRING, kMenuOptions, L"转换选项(&O)…");
  ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(fileMenu), L"文件(&F)");
  ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(view), L"视图(&V)");
  ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(options), L"选项(&T)");
  return bar;
}

}  // namespace

DrawingWindow::~DrawingWindow() {
  if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
  if (paneFont_ != nullptr) ::DeleteObject(paneFont_);
}

bool DrawingWindow::Create() {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (!::GetClassInfoExW(instance, kClassName, &wc)) {
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &WindowProcOf<DrawingWindow>;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    if (!::RegisterClassExW(&wc)) return false;
  }
  const UINT dpi = WindowDpi(owner_);
  const std::wstring title = Widen(kDrawingTitle);
  hwnd_ = ::CreateWindowExW(0, kClassName, title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                            CW_USEDEFAULT, CW_USEDEFAULT, Scaled(kWidth, dpi),
                            Scaled(kHeight, dpi), owner_, MakeMenu(fileMenu_), instance, this);
  if (hwnd_ == nullptr) return false;
  if (!view_.Create(hwnd_, kDrawingViewId)) return false;
  view_.onPickCount = [this](size_t n) { ShowPickCount(n); };
  pane_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                            WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                                ES_AUTOVSCROLL,
                            0, 0, 10, 10, hwnd_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPromptPaneId)),
                            instance, nullptr);
  ::SendMessageW(pane_, EM_SETLIMITTEXT, 0, 0);
  paneFont_ = MakeFont(form::PointsOf(form::Font::kNormal), WindowDpi(hwnd_));
  ::SendMessageW(pane_, WM_SETFONT, reinterpret_cast<WPARAM>(paneFont_), FALSE);
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&icc);
  status_ = ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP,
                              0, 0, 0, 0, hwnd_,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBarId)),
                              instance, nullptr);
  Layout();
  return true;
}

void DrawingWindow::Layout() {
  RECT client;
  ::GetClientRect(hwnd_, &client);
  ::SendMessageW(status_, WM_SIZE, 0, 0);
  RECT bar;
  ::GetWindowRect(status_, &bar);
  const int barHeight = bar.bottom - bar.top;
  const int parts[2] = {std::max(1, static_cast<int>(client.right) - Scaled(kProgressPart, WindowDpi(hwnd_))), -1};
  ::SendMessageW(status_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
  const int pane = Scaled(kPaneHeight, WindowDpi(hwnd_));
  const int viewHeight = std::max(1, static_cast<int>(client.bottom) - barHeight - pane);
  ::MoveWindow(view_.hwnd(), 0, 0, client.right, viewHeight, TRUE);
  ::MoveWindow(pane_, 0, viewHeight, client.right, pane, TRUE);
}

void DrawingWindow::LoadDrawing(const std::filesystem::path& path, unsigned include) {
  DxfLimits limits;
  limits.include = include;
  auto drawing = std::make_shared<const DxfDrawing>(ReadDxfFile(path, limits));
  path_ = path;
  include_ = include;
  view_.SetDrawing(std::move(drawing));
  const std::string title = std::string(kDrawingTitle) + " - " + Utf8(path.filename());
  ::SetWindowTextW(hwnd_, Widen(title).c_str());
  ::SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L""));
}

void DrawingWindow::SetInclude(unsigned include) {
  if (include == include_) return;
  if (path_.empty()) {
    include_ = include;
    return;
  }
  LoadDrawing(path_, include);
}

void DrawingWindow::Show() {
  ::ShowWindow(hwnd_, ::IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
  ::SetForegroundWindow(hwnd_);
  ::SetFocus(view_.hwnd());
}

void DrawingWindow::ShowPickCount(size_t count) {
  const std::wstring text = L"已选择 " + std::to_wstring(count) + L" 个对象";
  ::SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void DrawingWindow::AppendPrompt(const std::string& text) {
  const int length = ::GetWindowTextLengthW(pane_);
  if (length > kPaneChars) {
    // The oldest half goes, up to a line's end.
    const LRESULT line = ::SendMessageW(pane_, EM_LINEFROMCHAR, static_cast<WPARAM>(length / 2), 0);
    const LRESULT cut = ::SendMessageW(pane_, EM_LINEINDEX, static_cast<WPARAM>(line + 1), 0);
    ::SendMessageW(pane_, EM_SETSEL, 0, cut > 0 ? cut : length / 2);
    ::SendMessageW(pane_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
  }
  const int end = ::GetWindowTextLengthW(pane_);
  const std::wstring line = Widen(text) + L"\r\n";
  ::SendMessageW(pane_, EM_SETSEL, end, end);
  ::SendMessageW(pane_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
  ::UpdateWindow(pane_);
}

void DrawingWindow::SetProgress(int64_t done, int64_t total) {
  const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 0;
  if (percent == lastPercent_) return;
  lastPercent_ = percent;
  const std::wstring text = total > 0 ? L"进度 " + std::to_wstring(percent) + L"%" : L"";
  ::SendMessageW(status_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(text.c_str()));
  ::UpdateWindow(status_);
}

void DrawingWindow::SetBusy(bool busy) {
  ::EnableMenuItem(fileMenu_, kMenuOpen, MF_BYCOMMAND | (busy ? MF_GRAYED : MF_ENABLED));
  if (busy) lastPercent_ = -1;
}

LRESULT DrawingWindow::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SIZE:
      Layout();
      return 0;
    case WM_SETFOCUS:
      ::SetFocus(view_.hwnd());
      return 0;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case kMenuOpen:
          if (!selecting() && actions_.open) actions_.open();
          return 0;
        case kMenuClose:
          ::SendMessageW(hwnd_, WM_CLOSE, 0, 0);
          return 0;
        case kMenuExtents:
          view_.ZoomExtents();
          return 0;
        case kMenuOptions:
          if (actions_.options) actions_.options();
          return 0;
        default:
          break;
      }
      break;
    case kSelectionEnded:
      if (actions_.selectionEnded) actions_.selectionEnded(wp != 0);
      return 0;
    case WM_CLOSE:
      // Closing it during a selection ends that as Esc would; the drawing stays.
      if (selecting()) view_.CancelSelection();
      ::ShowWindow(hwnd_, SW_HIDE);
      if (owner_ != nullptr) ::SetForegroundWindow(owner_);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

void PaneReporter::Prompt(const std::string& text) {
  last_ = text;
  if (!selectSkipped_ && text == kSelectPrompt) {
    selectSkipped_ = true;
    return;
  }
  window_.AppendPrompt(text);
}

void PaneReporter::Warning(const RunWarning& warning) {
  window_.AppendPrompt("警告：" + warning.chinese);
}

void PaneReporter::Converting(int familyIndex, int64_t i, int64_t count) {
  const auto now = std::chrono::steady_clock::now();
  if (i != count && now - shown_ < kConvertingEvery) return;
  shown_ = now;
  window_.AppendPrompt(ProgressPrompt(familyIndex, i, count));
}

}  // namespace varnolt::win32
