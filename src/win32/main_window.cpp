#include "win32/main_window.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <array>
#include <chrono>
#include <memory>
#include <optional>

#include "base/paths.h"
#include "base/platform.h"
#include "form/actions.h"
#include "form/controls.h"
#include "form/conversion_options.h"
#include "picking/picked_source.h"
#include "settings/settings.h"
#include "win32/cad_source.h"
#include "win32/dialog_filter.h"
#include "win32/drawing_window.h"
#include "win32/import_files.h"
#include "win32/options_dialog.h"
#include "win32/window_util.h"

namespace varnolt::win32 {

namespace {

constexpr wchar_t kClassName[] = L"VarnoltConverterForm";
constexpr int kFirstId = 100;  // control i of the table has id kFirstId + i
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kExStyle = 0;

// The window's outer size for the form's client area at `dpi`.
SIZE OuterSize(UINT dpi) {
  RECT r{0, 0, form::ToPixels(form::kClientWidth, static_cast<int>(dpi)),
         form::ToPixels(form::kClientHeight, static_cast<int>(dpi))};
  using AdjustFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjust = UserFunction<AdjustFn>("AdjustWindowRectExForDpi");
  if (adjust != nullptr) {
    adjust(&r, kStyle, FALSE, kExStyle, dpi);
  } else {
    ::AdjustWindowRectEx(&r, kStyle, FALSE, kExStyle);
  }
  return SIZE{r.right - r.left, r.bottom - r.top};
}

class MainWindow;

constexpr UINT_PTR kAfterShownTimer = 1;

// The window's controls and the desktop, as the shared button sequences see them.
class Host : public form::FormHost {
 public:
  explicit Host(MainWindow& window) : window_(window) {}
  Settings CurrentSettings() override;
  void SetText(int index, const std::string& text) override;
  std::optional<std::filesystem::path> SaveFileName(
      std::string_view title, const std::vector<form::FileFilter>& filters) override {
    return FileDialog(title, filters, true);
  }
  std::optional<std::filesystem::path> OpenFileName(
      std::string_view title, const std::vector<form::FileFilter>& filters) override {
    return FileDialog(title, filters, false);
  }
  void ShowMessage(MessageIcon icon, std::string_view title, std::string_view text,
                   std::string_view detail) override;
  bool ShowTextFile(const std::filesystem::path& file) override;
  bool OpenFile(const std::filesystem::path& file) override {
    return Shell(file.wstring());
  }
  bool OpenUrl(std::string_view url) override { return Shell(Widen(url)); }
  void ShowAbout() override;
  void Quit() override;

 private:
  std::optional<std::filesystem::path> FileDialog(std::string_view title,
                                                  const std::vector<form::FileFilter>& filters,
                                                  bool save);
  bool Shell(const std::wstring& target);
  MainWindow& window_;
};

class MainWindow : public ShownWindow {
 public:
  explicit MainWindow(const WindowOptions& options) : options_(options), host_(*this) {}
  ~MainWindow() override {
    for (HFONT f : {textFont_, normalFont_}) {
      if (f) ::DeleteObject(f);
    }
    if (focusBrush_) ::DeleteObject(focusBrush_);
  }

  bool Create(HINSTANCE instance);
  HWND hwnd() const override { return hwnd_; }
  // Message boxes and dialogs go over the drawing window while it shows.
  HWND MessageOwner() const { return drawing_ && drawing_->visible() ? drawing_->hwnd() : hwnd_; }
  HWND Control(std::string_view name) const {
    const form::Control* c = form::FindControl(name);
    return c ? controls_[static_cast<size_t>(c - form::kControls.data())] : nullptr;
  }
  std::wstring Text(HWND h) const {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(h)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(h, text.data(), static_cast<int>(text.size()))));
    return text;
  }
  Settings CurrentSettings() const {
    form::Values v;
    for (int i = 0; i < form::kTextCount; ++i) {
      v.texts[static_cast<size_t>(i)] = Narrow(Text(Control(form::TextName(i))));
    }
    v.option1 = ::SendMessageW(Control("Option1"), BM_GETCHECK, 0, 0) == BST_CHECKED;
    v.option2 = ::SendMessageW(Control("Option2"), BM_GETCHECK, 0, 0) == BST_CHECKED;
    v.option3 = ::SendMessageW(Control("Option3"), BM_GETCHECK, 0, 0) == BST_CHECKED;
    v.check1 = static_cast<int>(::SendMessageW(Control("Check1"), BM_GETCHECK, 0, 0));
    v.extra = extra_;
    return form::SettingsOf(v);
  }
  void ApplySettings(const Settings& s) {
    const form::Values v = form::ValuesOf(s);
    extra_ = v.extra;
    for (int i = 0; i < form::kTextCount; ++i) {
      ::SetWindowTextW(Control(form::TextName(i)), Widen(v.texts[static_cast<size_t>(i)]).c_str());
    }
    ::SendMessageW(Control("Option1"), BM_SETCHECK, v.option1 ? BST_CHECKED : BST_UNCHECKED, 0);
    ::SendMessageW(Control("Option2"), BM_SETCHECK, v.option2 ? BST_CHECKED : BST_UNCHECKED, 0);
    ::SendMessageW(Control("Option3"), BM_SETCHECK, v.option3 ? BST_CHECKED : BST_UNCHECKED, 0);
    ::SendMessageW(Control("Check1"), BM_SETCHECK, static_cast<WPARAM>(v.check1), 0);
    SyncOptionTabStop();
  }
  // The datum options are entered by Tab at the selected one: that one holds the
  // group's tab stop (Option1 when none is selected).
  void SyncOptionTabStop() {
    const HWND options[] = {Control("Option1"), Control("Option2"), Control("Option3")};
    HWND selected = options[0];
    for (HWND h : options) {
      if (::SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED) selected = h;
    }
    for (HWND h : options) {
      const LONG_PTR style = ::GetWindowLongPtrW(h, GWL_STYLE);
      const bool stop = h == selected;
      ::SetWindowLongPtrW(h, GWL_STYLE, stop ? style | WS_TABSTOP : style & ~LONG_PTR{WS_TABSTOP});
    }
  }

  // For the window procedure (win32/window_util.h).
  void Attach(HWND hwnd) { hwnd_ = hwnd; }
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);

  // The system menu's entries.
  void EditOptions();
  void ImportGeo();
  void OpenDrawing();

  void ShowOptions(const std::function<void(HWND)>& shown) override;
  DrawingWindow* ShowDrawing(const std::filesystem::path& drawing) override;

 private:
  void CreateControls(HINSTANCE instance);
  void Layout(UINT dpi);
  void CenterForm();
  void OnCommand(int id, int code, HWND control);
  void Convert();
  void ConvertByPicking();
  void OnSelectionEnded();
  DrawingWindow& EnsureDrawingWindow();
  bool LoadDrawing(const std::filesystem::path& path, unsigned include);
  void SetBusy(bool busy);

  WindowOptions options_;
  Host host_;
  HWND hwnd_ = nullptr;
  std::array<HWND, form::kControls.size()> controls_{};
  // The tool tips' texts, by control, held while the tips may show them.
  std::array<std::wstring, form::kControls.size()> tipTexts_;
  HFONT textFont_ = nullptr, normalFont_ = nullptr;
  HBRUSH focusBrush_ = nullptr;
  HWND focusedEdit_ = nullptr;
  bool busy_ = false;
  // The opt-in settings beyond the ten, which no control of this window shows.
  std::vector<std::pair<std::string, std::string>> extra_;
  std::unique_ptr<DrawingWindow> drawing_;
  // A conversion waiting for the user's pick in the drawing window.
  std::unique_ptr<OutputDocument> output_;
  std::chrono::system_clock::time_point started_;

  friend class Host;
};

// The main window's layout is fixed, so what it offers beyond its buttons is in its
// system menu (Alt+Space), one entry a row. Command ids are multiples of 16 below
// 0xF000, where the system's own begin.
struct SystemMenuEntry {
  UINT command;
  const wchar_t* caption;
  void (MainWindow::*run)();
};
const SystemMenuEntry kSystemMenu[] = {
    {kOptionsCommand, L"转换选项(&O)…", &MainWindow::EditOptions},
    {kImportCommand, L"导入 KML/GPX(&I)…", &MainWindow::ImportGeo},
    {kOpenDrawingCommand, L"打开图形(&D)…", &MainWindow::OpenDrawing},
};

Settings Host::CurrentSettings() { return window_.CurrentSettings(); }

void Host::SetText(int index, const std::string& text) {
  ::SetWindowTextW(window_.Control(form::TextName(index)), Widen(text).c_str());
}

std::optional<std::filesystem::path> Host::FileDialog(
    std::string_view title, const std::vector<form::FileFilter>& filters, bool save) {
  const std::wstring wideTitle = Widen(title);
  const std::wstring filter = DialogFilter(filters);
  std::wstring file(32768, L'\0');
  OPENFILENAMEW ofn = FileDialogOf(window_.MessageOwner(), filter, file, wideTitle,
                                   save ? 0 : OFN_FILEMUSTEXIST);
  const BOOL ok = save ? ::GetSaveFileNameW(&ofn) : ::GetOpenFileNameW(&ofn);
  if (!ok) return std::nullopt;
  file.resize(::wcslen(file.c_str()));
  return std::filesystem::path(file);
}

void Host::ShowMessage(MessageIcon icon, std::string_view title, std::string_view text,
                       std::string_view /*detail: English, for the Qt window's details*/) {
  UINT type = MB_OK;
  switch (icon) {
    case MessageIcon::kCritical:
      type |= MB_ICONERROR;
      break;
    case MessageIcon::kWarning:
      type |= MB_ICONWARNING;
      break;
    case MessageIcon::kInformation:
      type |= MB_ICONINFORMATION;
      break;
  }
  const std::wstring wideTitle = Widen(title);
  ::MessageBoxW(window_.MessageOwner(), Widen(text).c_str(),
                title.empty() ? nullptr : wideTitle.c_str(), type);
}

bool Host::ShowTextFile(const std::filesystem::path& file) {
  std::wstring line = L"notepad.exe \"" + file.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &pi)) {
    return false;
  }
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return true;
}

bool Host::Shell(const std::wstring& target) {
  const auto result = reinterpret_cast<INT_PTR>(
      ::ShellExecuteW(window_.hwnd(), L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;
}

void Host::ShowAbout() {
  const std::wstring text =
      L"Varnolt程序 V1.1\n\n"
      L"将高斯-克吕格平面坐标（北京54 / 西安80）的CAD图形转换为 Google Earth 的 KML 文件。\n"
      L"Converts CAD drawings on a Gauss-Krüger plane into KML for Google Earth.\n\n"
      L"版本 Version 1.1\n版权所有 All rights reserved.\n\n主页 Home page: " +
      Widen(kHomePage) + L"\n\n使用的库 Libraries used: libzip, zlib.";
  ::MessageBoxW(window_.hwnd(), text.c_str(), L"关于 Varnolt", MB_OK | MB_ICONINFORMATION);
}

void Host::Quit() { ::DestroyWindow(window_.hwnd()); }

bool MainWindow::Create(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &WindowProcOf<MainWindow>;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));  // the program's own
  if (wc.hIcon == nullptr) wc.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  if (!::RegisterClassExW(&wc)) return false;
  const std::wstring caption = Widen(form::kCaption);
  hwnd_ = ::CreateWindowExW(kExStyle, kClassName, caption.c_str(), kStyle, CW_USEDEFAULT,
                            CW_USEDEFAULT, 100, 100, nullptr, nullptr, instance, this);
  if (!hwnd_) return false;
  focusBrush_ = ::CreateSolidBrush(Ref(form::kFocusBackground));
  const HMENU system = ::GetSystemMenu(hwnd_, FALSE);
  ::AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
  for (const SystemMenuEntry& e : kSystemMenu) ::AppendMenuW(system, MF_STRING, e.command, e.caption);
  CreateControls(instance);
  Layout(WindowDpi(hwnd_));
  CenterForm();
  ApplySettings(LoadSettings(options_.settingsPath));
  return true;
}

void MainWindow::CreateControls(HINSTANCE instance) {
  // Creation order is the tab order (the focusable controls by tab index), then the
  // labels, then the frames last so that they lie beneath what they hold.
  std::vector<size_t> order;
  for (std::string_view name : form::TabOrder()) {
    order.push_back(static_cast<size_t>(form::FindControl(name) - form::kControls.data()));
  }
  for (size_t i = 0; i < form::kControls.size(); ++i) {
    if (form::kControls[i].kind == form::Kind::kLabel) order.push_back(i);
  }
  for (size_t i = 0; i < form::kControls.size(); ++i) {
    if (form::kControls[i].kind == form::Kind::kFrame) order.push_back(i);
  }
  for (size_t i : order) {
    const form::Control& c = form::kControls[i];
    const wchar_t* cls = L"BUTTON";
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    DWORD ex = 0;
    switch (c.kind) {
      case form::Kind::kFrame:
        style |= BS_GROUPBOX;
        break;
      case form::Kind::kOption:
        // The pair is one group and one tab stop, entered at the selected option.
        style |= BS_AUTORADIOBUTTON | (c.name == "Option1" ? WS_GROUP | WS_TABSTOP : 0);
        break;
      case form::Kind::kCheck:
        style |= BS_3STATE | WS_GROUP | WS_TABSTOP;
        break;
      case form::Kind::kLabel:
        cls = L"STATIC";
        style |= SS_LEFT;
        break;
      case form::Kind::kText:
        cls = L"EDIT";
        style |= ES_AUTOHSCROLL | WS_GROUP | WS_TABSTOP;
        ex = WS_EX_CLIENTEDGE;
        break;
      case form::Kind::kButton:
        style |= BS_PUSHBUTTON | WS_GROUP | WS_TABSTOP;
        break;
    }
    const std::wstring caption = c.kind == form::Kind::kText ? L"" : Widen(c.caption);
    controls_[i] = ::CreateWindowExW(
        ex, cls, caption.c_str(), style, 0, 0, 10, 10, hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId + static_cast<int>(i))), instance,
        nullptr);
  }
  // Tool tips on the boxes that have one.
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&icc);
  HWND tips = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                instance, nullptr);
  for (size_t i = 0; i < form::kControls.size() && tips; ++i) {
    if (form::kControls[i].toolTip.empty()) continue;
    tipTexts_[i] = Widen(form::kControls[i].toolTip);
    TOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = hwnd_;
    info.uId = reinterpret_cast<UINT_PTR>(controls_[i]);
    info.lpszText = tipTexts_[i].data();
    ::SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  }
}

void MainWindow::Layout(UINT dpi) {
  const int d = static_cast<int>(dpi);
  HFONT oldText = textFont_, oldNormal = normalFont_;
  textFont_ = MakeFont(form::PointsOf(form::Font::kText), dpi);
  normalFont_ = MakeFont(form::PointsOf(form::Font::kNormal), dpi);
  for (size_t i = 0; i < form::kControls.size(); ++i) {
    const form::Control& c = form::kControls[i];
    int left = c.twips.left, top = c.twips.top;
    if (c.container != form::kFormName) {
      const form::Control* frame = form::FindControl(c.container);
      left += frame->twips.left;
      top += frame->twips.top;
    }
    ::MoveWindow(controls_[i], form::ToPixels(left, d), form::ToPixels(top, d),
                 form::ToPixels(c.twips.width, d), form::ToPixels(c.twips.height, d), TRUE);
    ::SendMessageW(controls_[i], WM_SETFONT,
                   reinterpret_cast<WPARAM>(c.font == form::Font::kText ? textFont_ : normalFont_),
                   TRUE);
  }
  for (HFONT f : {oldText, oldNormal}) {
    if (f) ::DeleteObject(f);
  }
}

void MainWindow::CenterForm() {
  const SIZE size = OuterSize(WindowDpi(hwnd_));
  MONITORINFO info{};
  info.cbSize = sizeof info;
  ::GetMonitorInfoW(::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &info);
  const RECT& screen = info.rcMonitor;
  const auto [left, top] = form::CenterPosition(screen.right - screen.left,
                                                screen.bottom - screen.top, size.cx, size.cy);
  ::SetWindowPos(hwnd_, nullptr, screen.left + left, screen.top + top, size.cx, size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::SetBusy(bool busy) {
  busy_ = busy;
  for (const char* name : {"Command2", "xpcmdbutton1", "xpcmdbutton3", "xpcmdbutton4", "xpcmdbutton5"}) {
    ::EnableWindow(Control(name), !busy);
  }
}

void MainWindow::Convert() {
  // The drawing window when it shows a drawing, or when no CAD host is registered;
  // else the picks are made in the CAD host.
  if ((drawing_ && drawing_->visible() && drawing_->HasDrawing()) ||
      !CadHostAvailable(options_.cadProgId)) {
    ConvertByPicking();
    return;
  }
  SourceReporter reporter;
  const std::string progId = options_.cadProgId;
  auto attach = [this, &progId, &reporter] { return AttachSource(host_, progId, reporter); };
  SetBusy(true);
  const HCURSOR old = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
  const bool ok = form::Convert(host_, options_.settingsPath, attach, reporter);
  ::SetCursor(old);
  SetBusy(false);
  // Without a CAD host's command line to show it, the run's last word comes in a box.
  if (ok && !reporter.forwarding()) {
    host_.ShowMessage(MessageIcon::kInformation, "转换完成", reporter.lastPrompt(), "");
  }
}

DrawingWindow& MainWindow::EnsureDrawingWindow() {
  if (!drawing_) {
    DrawingWindow::Actions actions;
    actions.open = [this] { OpenDrawing(); };
    actions.options = [this] { EditOptions(); };
    actions.selectionEnded = [this](bool /*cancelled: the run reports the empty pick*/) {
      OnSelectionEnded();
    };
    drawing_ = std::make_unique<DrawingWindow>(hwnd_, std::move(actions));
    if (!drawing_->Create()) {
      drawing_.reset();
      throw Error(ErrorKind::kGeneral, "the drawing window could not be created: " +
                                           SystemErrorText(::GetLastError()));
    }
  }
  return *drawing_;
}

// Reads the drawing into the drawing window, or shows why it cannot.
bool MainWindow::LoadDrawing(const std::filesystem::path& path, unsigned include) {
  try {
    EnsureDrawingWindow().LoadDrawing(path, include);
    return true;
  } catch (const Error& e) {
    form::ShowConversionFailure(host_, e.kind(), e.what());
  }
  return false;
}

// Convert, picking in the drawing window: the output is named first, then the drawing
// opened (unless one shows), then the user picks; the run follows the pick.
void MainWindow::ConvertByPicking() {
  started_ = std::chrono::system_clock::now();  // the elapsed time counts from the click
  output_ = form::BeginConversion(host_, options_.settingsPath);
  if (!output_) return;
  unsigned include = 0;
  bool shown = false;
  try {
    include = IncludedKinds(host_.CurrentSettings());
    DrawingWindow& window = EnsureDrawingWindow();
    if (window.HasDrawing()) {
      window.SetInclude(include);
      shown = true;
    }
  } catch (const Error& e) {
    form::ShowConversionFailure(host_, e.kind(), e.what());
    output_.reset();
    return;
  }
  if (!shown) {
    const auto path = host_.OpenFileName(form::kOpenDrawingTitle, form::OpenDrawingFilters());
    if (!path || path->empty()) {
      form::ShowConversionFailure(host_, ErrorKind::kGeneral, "no drawing was opened to select from");
    }
    if (!path || path->empty() || !LoadDrawing(*path, include)) {
      output_.reset();  // its temporary file goes with it
      return;
    }
  }
  SetBusy(true);
  drawing_->SetBusy(true);
  drawing_->Show();
  drawing_->SetProgress(0, 0);
  drawing_->AppendPrompt(std::string(kSelectPrompt));
  drawing_->BeginSelection();
}

void MainWindow::OnSelectionEnded() {
  if (!output_ || !drawing_) return;
  std::unique_ptr<OutputDocument> output = std::move(output_);
  PickedSource source(drawing_->drawing(), drawing_->picked(), Utf8(drawing_->path().filename()));
  PaneReporter reporter(*drawing_);
  const HCURSOR old = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
  const bool ok = form::FinishConversion(host_, source, host_.CurrentSettings(), *output, reporter,
                                         started_);
  ::SetCursor(old);
  drawing_->SetBusy(false);
  SetBusy(false);
  if (ok) {
    drawing_->SetProgress(1, 1);
    host_.ShowMessage(MessageIcon::kInformation, "转换完成", reporter.lastPrompt(), "");
  }
}

void MainWindow::OpenDrawing() {
  if (busy_) return;
  const auto path = host_.OpenFileName(form::kOpenDrawingTitle, form::OpenDrawingFilters());
  if (!path || path->empty()) return;
  // A line that cannot be used reads as nothing here; Convert names it.
  std::vector<std::string> unusable;
  if (LoadDrawing(*path, ReadConversionOptions(CurrentSettings(), unusable).include)) {
    drawing_->Show();
  }
}

DrawingWindow* MainWindow::ShowDrawing(const std::filesystem::path& drawing) {
  if (!LoadDrawing(drawing, 0)) return nullptr;
  drawing_->Show();
  drawing_->AppendPrompt(std::string(kSelectPrompt));
  drawing_->BeginSelection();
  return drawing_.get();
}

void MainWindow::EditOptions() { ShowOptions({}); }

void MainWindow::ImportGeo() {
  if (busy_) return;
  ImportGeoFiles(MessageOwner(), host_, CurrentSettings(), options_.cadProgId);
}

// The options dialog; OK saves its choices in the settings file's opt-in lines at once.
void MainWindow::ShowOptions(const std::function<void(HWND)>& shown) {
  if (busy_) return;
  const ConversionOptions given = form::OptionsToEdit(host_, CurrentSettings());
  const std::optional<ConversionOptions> chosen =
      win32::EditOptions(MessageOwner(), given, shown);
  if (!chosen) return;
  try {
    extra_ = form::SaveConversionOptions(options_.settingsPath, *chosen).extra;
    // The drawing shown is read again when what it holds changes.
    if (drawing_) drawing_->SetInclude(chosen->include);
  } catch (const Error& e) {
    form::ShowConversionFailure(host_, e.kind(), e.what());
  }
}

void MainWindow::OnCommand(int id, int code, HWND control) {
  const int index = id - kFirstId;
  if (index < 0 || index >= static_cast<int>(form::kControls.size())) return;
  const form::Control& c = form::kControls[static_cast<size_t>(index)];
  if (c.kind == form::Kind::kText) {
    // The settings boxes: focus selects all and turns the background green.
    if (code == EN_SETFOCUS) {
      focusedEdit_ = control;
      ::SendMessageW(control, EM_SETSEL, 0, -1);
      ::PostMessageW(control, EM_SETSEL, 0, -1);  // again after a mouse click lands
      ::InvalidateRect(control, nullptr, TRUE);
    } else if (code == EN_KILLFOCUS) {
      if (focusedEdit_ == control) focusedEdit_ = nullptr;
      ::InvalidateRect(control, nullptr, TRUE);
    }
    return;
  }
  if (code != BN_CLICKED || busy_) return;
  if (c.kind == form::Kind::kOption) {
    SyncOptionTabStop();
    if (c.name == "Option3") form::ChooseCgcs2000(host_);
  } else if (c.kind == form::Kind::kCheck) {
    const int state = static_cast<int>(::SendMessageW(control, BM_GETCHECK, 0, 0));
    ::SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(form::NextCheckState(state)), 0);
  } else if (c.name == "Command2") {
    Convert();
  } else if (c.name == "xpcmdbutton1") {
    form::CalculateCorrection(host_, options_.settingsPath);
  } else if (c.name == "xpcmdbutton4") {
    form::ShowHelp(host_, form::ManualPath(ExecutableDirectory()));
  } else if (c.name == "xpcmdbutton3") {
    form::MoreSoftware(host_);
  } else if (c.name == "xpcmdbutton5") {
    host_.Quit();  // nothing saved
  }
}

LRESULT MainWindow::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      const HDC dc = reinterpret_cast<HDC>(wp);
      const int index = ::GetDlgCtrlID(reinterpret_cast<HWND>(lp)) - kFirstId;
      if (index >= 0 && index < static_cast<int>(form::kControls.size())) {
        const form::Colour colour = form::kControls[static_cast<size_t>(index)].colour;
        if (colour != form::Colour::kSystem) ::SetTextColor(dc, Ref(form::ColourOf(colour)));
      }
      ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_CTLCOLOREDIT:
      if (reinterpret_cast<HWND>(lp) == focusedEdit_) {
        const HDC dc = reinterpret_cast<HDC>(wp);
        ::SetBkColor(dc, Ref(form::kFocusBackground));
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(focusBrush_);
      }
      break;
    case 0x02E0: {  // WM_DPICHANGED: the window moved to a monitor of another DPI
      Layout(HIWORD(wp));
      const RECT* suggested = reinterpret_cast<const RECT*>(lp);
      ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_NEXTDLGCTL: {
      // What a dialog does for Tab and Shift+Tab (IsDialogMessage asks for it): the
      // next or previous tab stop, or the control named.
      const HWND next = LOWORD(lp) ? reinterpret_cast<HWND>(wp)
                                   : ::GetNextDlgTabItem(hwnd_, ::GetFocus(), wp != 0);
      if (next != nullptr) ::SetFocus(next);
      return 0;
    }
    case WM_TIMER:
      if (wp == kAfterShownTimer) {
        ::KillTimer(hwnd_, kAfterShownTimer);
        const bool ok = options_.afterShown(*this);
        ::DestroyWindow(hwnd_);
        if (!ok) ::PostQuitMessage(1);
        return 0;
      }
      break;
    case WM_SYSCOMMAND:
      for (const SystemMenuEntry& e : kSystemMenu) {
        if ((wp & 0xFFF0) == e.command) {
          (this->*e.run)();
          return 0;
        }
      }
      break;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace

int ControlId(std::string_view name) {
  const form::Control* c = form::FindControl(name);
  return c ? kFirstId + static_cast<int>(c - form::kControls.data()) : 0;
}

void BecomeDpiAware() {
  using SetContextFn = BOOL(WINAPI*)(HANDLE);
  const auto setContext = UserFunction<SetContextFn>("SetProcessDpiAwarenessContext");
  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 is the handle value -4.
  if (setContext != nullptr && setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)))) {
    return;
  }
  using SetAwareFn = BOOL(WINAPI*)();
  const auto setAware = UserFunction<SetAwareFn>("SetProcessDPIAware");
  if (setAware != nullptr) setAware();
}

int RunMainWindow(HINSTANCE instance, const WindowOptions& options, int show) {
  MainWindow window(options);
  if (!window.Create(instance)) return 1;
  ::ShowWindow(window.hwnd(), show);
  ::UpdateWindow(window.hwnd());
  ::SetFocus(window.Control("Option1"));
  if (options.afterShown) ::SetTimer(window.hwnd(), kAfterShownTimer, 1500, nullptr);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // Tab, Shift+Tab and the arrow keys move between the controls as in a dialog.
    if (::IsWindow(window.hwnd()) && ::IsDialogMessageW(window.hwnd(), &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace varnolt::win32
