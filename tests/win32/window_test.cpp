// varnolt-gui.exe driven from outside as a user would, under wine: texts typed with
// WM_SETTEXT, buttons clicked with BM_CLICK, keys and mouse drags posted to the
// drawing view, the common dialogs filled in and the message boxes read and closed.
// The window runs as a child process.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <sstream>
#include <thread>

#include "base/paths.h"
#include "cad/dxf.h"
#include "cad/dxf_writer.h"
#include "calc/correction.h"
#include "form/conversion_options.h"
#include "form/controls.h"
#include "import/import.h"
#include "picking/picked_source.h"
#include "picking/picking_view.h"
#include "run/run.h"
#include "settings/settings.h"
#include "temp_dir.h"
#include "text/numtext.h"
#include "win32/drawing_window.h"
#include "win32/import_files.h"
#include "win32/main_window.h"
#include "win32/options_dialog.h"
#include "win32_process.h"

namespace varnolt::win32 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

fs::path SourceDir() { return PathFromUtf8(VARNOLT_SOURCE_DIR); }

std::wstring WindowText(HWND h) {
  wchar_t buffer[2048] = {};
  DWORD_PTR n = 0;
  ::SendMessageTimeoutW(h, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                        5000, &n);
  return std::wstring(buffer, n);
}

struct Search {
  DWORD pid;
  std::wstring title;
  bool partial;
  HWND found;
  HWND skip = nullptr;  // a window of that title not to count
};

BOOL CALLBACK Visit(HWND h, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(h, &pid);
  if ((s->pid != 0 && pid != s->pid) || !::IsWindowVisible(h) || h == s->skip) return TRUE;
  wchar_t title[512] = {};
  ::GetWindowTextW(h, title, 512);
  const std::wstring t = title;
  if (s->partial ? t.find(s->title) != std::wstring::npos : t == s->title) {
    s->found = h;
    return FALSE;
  }
  return TRUE;
}

// A visible top-level window of `pid` (0: of any process) with this title (or one
// holding it), waited for up to 30 s.
HWND WaitForWindow(DWORD pid, const std::wstring& title, bool partial = false,
                   HWND skip = nullptr) {
  for (int i = 0; i < 600; ++i) {
    Search s{pid, title, partial, nullptr, skip};
    ::EnumWindows(&Visit, reinterpret_cast<LPARAM>(&s));
    if (s.found) return s.found;
    std::this_thread::sleep_for(50ms);
  }
  return nullptr;
}

// The fake CAD host server serving `drawing` under `progId` while it lives.
class FakeHost {
 public:
  FakeHost(const fs::path& drawing, const std::string& progId, std::vector<std::string> more) {
    const std::string tag = std::to_string(::GetCurrentProcessId());
    const std::string ready = "Local\\varnolt-window-cad-ready-" + tag;
    const std::string end = "Local\\varnolt-window-cad-end-" + tag;
    ready_ = ::CreateEventW(nullptr, TRUE, FALSE, Widen(ready).c_str());
    end_ = ::CreateEventW(nullptr, TRUE, FALSE, Widen(end).c_str());
    const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    std::vector<std::string> args = {FAKE_CAD_SERVER, "--drawing", Utf8(drawing), "--progid",
                                     progId, "--ready", ready, "--end", end};
    args.insert(args.end(), more.begin(), more.end());
    started_ = testing::win32::Start(args, nullptr, err, err, pi_);
  }
  ~FakeHost() {
    Stop();
    for (HANDLE h : {ready_, end_}) ::CloseHandle(h);
  }
  // Serving, within a minute.
  bool ready() const {
    const HANDLE both[2] = {ready_, pi_.hProcess};
    return started_ && ::WaitForMultipleObjects(2, both, FALSE, 60000) == WAIT_OBJECT_0;
  }
  // Ends the host; its exit code.
  int Stop() {
    if (!started_) return -1;
    started_ = false;
    ::SetEvent(end_);
    if (::WaitForSingleObject(pi_.hProcess, 60000) != WAIT_OBJECT_0) return -1;
    const int code = testing::win32::ExitCode(pi_.hProcess);
    ::CloseHandle(pi_.hProcess);
    ::CloseHandle(pi_.hThread);
    return code;
  }

 private:
  HANDLE ready_ = nullptr, end_ = nullptr;
  PROCESS_INFORMATION pi_{};
  bool started_ = false;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    settings_ = dir_.path() / "Varnolt.ini";
  }
  void TearDown() override {
    if (pi_.hProcess) {
      if (::WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(pi_.hProcess, 9);
      ::CloseHandle(pi_.hProcess);
      ::CloseHandle(pi_.hThread);
    }
  }
  // Starts the window; by default no CAD host is registered under the ProgID it
  // asks for.
  void Start(const std::string& progId = "Varnolt.NoSuchHost.Test") {
    const HANDLE none = ::GetStdHandle(STD_ERROR_HANDLE);
    ASSERT_TRUE(testing::win32::Start({VARNOLT_GUI, "--settings", Utf8(settings_),
                                       "--cad-progid", progId},
                                      nullptr, none, none, pi_));
    main_ = WaitForWindow(pi_.dwProcessId, L"Varnolt程序 V1.1");
    ASSERT_NE(main_, nullptr);
  }
  HWND Control(const char* name) { return ::GetDlgItem(main_, ControlId(name)); }
  void Type(const char* name, const std::wstring& text) {
    ::SendMessageW(Control(name), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  void Click(const char* name) { ::PostMessageW(Control(name), BM_CLICK, 0, 0); }
  // Answers the common dialog of this title with a file, or cancels it.
  void Answer(const std::wstring& title, const fs::path* file) {
    HWND dialog = WaitForWindow(pi_.dwProcessId, title);
    ASSERT_NE(dialog, nullptr) << Narrow(title);
    if (file == nullptr) {
      ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      return;
    }
    HWND name = ::GetDlgItem(dialog, 0x47c);  // cmb13, the file name box
    if (name == nullptr) name = ::GetDlgItem(dialog, 0x480);  // edt1 in older dialogs
    ASSERT_NE(name, nullptr);
    const std::wstring text = fs::path(*file).make_preferred().wstring();
    ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  }
  // The text of the message box of this title, which is then closed with OK.
  std::string TakeMessage(const std::wstring& title) {
    HWND box = WaitForWindow(pi_.dwProcessId, title);
    if (box == nullptr) return "no box";
    const std::string text = Narrow(WindowText(::GetDlgItem(box, 0xFFFF)));
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    return text;
  }
  std::string Text(const char* name) { return Narrow(WindowText(Control(name))); }
  // What `name` shows once it shows `expected`, or after 30 s.
  std::string WaitText(const char* name, const std::string& expected) {
    for (int i = 0; i < 600 && Text(name) != expected; ++i) std::this_thread::sleep_for(50ms);
    return Text(name);
  }
  HWND Focus() {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(pi_.dwThreadId, &info);
    return info.hwndFocus;
  }
  std::string FocusName() {
    const int id = ::GetDlgCtrlID(Focus());
    for (const form::Control& c : form::kControls) {
      if (ControlId(c.name) == id) return std::string(c.name);
    }
    return "none";
  }
  std::string WaitFocus(const std::string& expected) {
    for (int i = 0; i < 200 && FocusName() != expected; ++i) std::this_thread::sleep_for(50ms);
    return FocusName();
  }
  // The colour on screen just inside a box's right edge, where no text reaches.
  COLORREF Background(HWND h) {
    std::this_thread::sleep_for(300ms);  // let it repaint
    RECT r;
    ::GetWindowRect(h, &r);
    const HDC screen = ::GetDC(nullptr);
    const COLORREF colour = ::GetPixel(screen, r.right - 5, (r.top + r.bottom) / 2);
    ::ReleaseDC(nullptr, screen);
    return colour;
  }
  // The drawing window showing this file, and its view.
  HWND DrawingWindowOf(const std::string& file) {
    return WaitForWindow(pi_.dwProcessId, Widen(std::string(kDrawingTitle) + " - " + file));
  }
  // A key as the view reads it: Enter, Esc, Ctrl+A (character 1).
  static void Key(HWND view, wchar_t c) { ::PostMessageW(view, WM_CHAR, c, 0); }
  // What `h` shows once it shows `expected`, or after 30 s.
  static std::string WaitWindowText(HWND h, const std::string& expected) {
    for (int i = 0; i < 600 && Narrow(WindowText(h)) != expected; ++i) {
      std::this_thread::sleep_for(50ms);
    }
    return Narrow(WindowText(h));
  }
  // The drawing window of `file` once it waits for a pick (its count at 0): keys and
  // clicks sent earlier could reach the view while a file dialog still closes.
  HWND Selecting(const std::string& file) {
    HWND window = DrawingWindowOf(file);
    if (window == nullptr) return nullptr;
    const std::string none = "已选择 0 个对象";
    return WaitWindowText(::GetDlgItem(window, kStatusBarId), none) == none ? window : nullptr;
  }
  // Picks everything in the drawing window of `file` and ends the selection; the
  // status bar's count once it shows all of them.
  std::string PickAll(const std::string& file, size_t count) {
    HWND window = Selecting(file);
    if (window == nullptr) return "no drawing window waiting for a pick";
    HWND view = ::GetDlgItem(window, kDrawingViewId);
    Key(view, 0x01);
    const std::string shown = WaitWindowText(::GetDlgItem(window, kStatusBarId),
                                             "已选择 " + std::to_string(count) + " 个对象");
    Key(view, L'\r');
    return shown;
  }
  int Exit() {
    Click("xpcmdbutton5");
    if (::WaitForSingleObject(pi_.hProcess, 30000) != WAIT_OBJECT_0) return -1;
    return testing::win32::ExitCode(pi_.hProcess);
  }

  testing::TempDir dir_{"varnolt-win32"};
  fs::path settings_;
  PROCESS_INFORMATION pi_{};
  HWND main_ = nullptr;
  HWND focusedText_ = nullptr;
};

TEST_F(WindowTest, CalculatorPutsTheAveragesIntoTheWindowAndShowsTheTable) {
  const fs::path points = dir_.path() / PathFromUtf8("控制点.txt");
  fs::copy_file(SourceDir() / "examples" / "control_points.txt", points);
  // What the calculator gives, on a copy in a folder of its own.
  fs::create_directories(dir_.path() / "oracle");
  fs::copy_file(points, dir_.path() / "oracle" / "p.txt");
  Settings used;
  used.Text2 = "114.3";
  used.Text5 = used.Text6 = "";
  const CorrectionResult expected = RunCorrection(used, dir_.path() / "oracle" / "p.txt");

  Start();
  ASSERT_EQ(Text("Text5"), "-0.0335");
  Type("Text2", L"114.3");
  Click("xpcmdbutton1");
  Answer(L"读取平面坐标及对应点84经纬度资料", &points);
  EXPECT_EQ(WaitText("Text6", FixedText(expected.lonAverage, 5)), FixedText(expected.lonAverage, 5));
  EXPECT_EQ(Text("Text5"), FixedText(expected.latAverage, 5));
  EXPECT_TRUE(fs::exists(ResultPath(points)));
  // The table opens in Notepad.
  HWND notepad = WaitForWindow(0, L"控制点_计算结果", true);
  EXPECT_NE(notepad, nullptr);
  if (notepad) ::PostMessageW(notepad, WM_CLOSE, 0, 0);
  // The settings went to the file before the calculation.
  EXPECT_EQ(LoadSettings(settings_).Text2, "114.3");
  EXPECT_EQ(LoadSettings(settings_).Text5, "-0.0335");

  // A file that is no control-point table: the corrections are emptied.
  const fs::path bad = dir_.path() / "four.txt";
  std::ofstream(bad, std::ios::binary) << "P1 3381245.312 481906.447 30.33008619\r\n";
  Click("xpcmdbutton1");
  Answer(L"读取平面坐标及对应点84经纬度资料", &bad);
  EXPECT_EQ(TakeMessage(L"错误"), "数据文件格式有误或操作不当！");
  EXPECT_EQ(Text("Text5"), "");
  // Cancelled: the corrections keep what they show.
  Type("Text5", L"0.5");
  Click("xpcmdbutton1");
  Answer(L"读取平面坐标及对应点84经纬度资料", nullptr);
  EXPECT_EQ(TakeMessage(L"错误"), "读取文件被取消！");
  EXPECT_EQ(Text("Text5"), "0.5");
  EXPECT_EQ(Exit(), 0);
}

// Without a CAD host the window has its own drawing window to pick in: the failures
// before it opens each get their box; then the golden drawing picked whole gives the
// golden document, the prompts shown in the pane, the count in the status bar.
TEST_F(WindowTest, ConvertWithoutACadHostPicksInTheDrawingWindow) {
  const fs::path golden = SourceDir() / "tests" / "golden" / "families";
  fs::copy_file(golden / "Varnolt.ini", settings_);
  const fs::path drawing = golden / "drawing.dxf";
  const fs::path kml = dir_.path() / "families.kml";
  Start();
  Click("Command2");
  Answer(L"保存kml文件", nullptr);
  EXPECT_EQ(TakeMessage(L"错误"), "读取文件被取消！");
  const fs::path other = dir_.path() / "other.kml";
  Click("Command2");
  Answer(L"保存kml文件", &other);
  Answer(L"打开图形", nullptr);
  EXPECT_EQ(TakeMessage(L"错误"), "数据文件格式有误、操作不当或其它未知错误！");
  const fs::path junk = dir_.path() / "junk.dxf";
  std::ofstream(junk, std::ios::binary) << "this is not a drawing\n";
  Click("Command2");
  Answer(L"保存kml文件", &other);
  Answer(L"打开图形", &junk);
  EXPECT_EQ(TakeMessage(L"错误"), "数据文件格式有误、操作不当或其它未知错误！");
  EXPECT_FALSE(fs::exists(other));

  Click("Command2");
  Answer(L"保存kml文件", &kml);
  Answer(L"打开图形", &drawing);
  const size_t count = ReadDxfFile(drawing).entities.size();
  EXPECT_EQ(PickAll("drawing.dxf", count), "已选择 " + std::to_string(count) + " 个对象");
  const std::string done = TakeMessage(L"转换完成");
  EXPECT_NE(done.find("KML文件转换完成"), std::string::npos) << done;
  EXPECT_TRUE(ReadBytes(kml) == ReadBytes(golden / "expected.kml"));
  const std::string pane =
      Narrow(WindowText(::GetDlgItem(DrawingWindowOf("drawing.dxf"), kPromptPaneId)));
  EXPECT_EQ(pane.find(std::string(kSelectPrompt) + "\r\n"), 0u) << pane;
  EXPECT_NE(pane.find(CompletionPrompt(Utf8(kml))), std::string::npos) << pane;
  EXPECT_EQ(Exit(), 0);
}

// A drawing opened from the system menu is picked by a window dragged left to right
// over the left half of the view: the document is that of the entities lying wholly
// inside, worked out here in drawing units from the same view.
TEST_F(WindowTest, AWindowPickConvertsTheEntitiesInside) {
  const fs::path golden = SourceDir() / "tests" / "golden" / "families";
  fs::copy_file(golden / "Varnolt.ini", settings_);
  const fs::path drawing = golden / "drawing.dxf";
  Start();
  ::PostMessageW(main_, WM_SYSCOMMAND, kOpenDrawingCommand, 0);
  Answer(L"打开图形", &drawing);
  HWND window = DrawingWindowOf("drawing.dxf");
  ASSERT_NE(window, nullptr);
  const fs::path kml = dir_.path() / "families.kml";
  Click("Command2");
  Answer(L"保存kml文件", &kml);  // the drawing shows: no drawing is asked for
  ASSERT_EQ(Selecting("drawing.dxf"), window);

  // A double middle click fits the drawing to the view as it is now.
  HWND view = ::GetDlgItem(window, kDrawingViewId);
  ::SendMessageW(view, WM_MBUTTONDBLCLK, MK_MBUTTON, MAKELPARAM(5, 5));
  RECT client;
  ASSERT_TRUE(::GetClientRect(view, &client));
  auto d = std::make_shared<const DxfDrawing>(ReadDxfFile(drawing));
  std::vector<Shape> shapes;
  for (const Entity& e : d->entities) shapes.push_back(ShapeOf(e));
  const Rect2 ext = *Extents(shapes);
  const Viewport vp = ZoomToExtents(ext, client.right, client.bottom, PickingView::kExtentsMarginPx);
  // From 10 pixels beyond the drawing's top left to 10 below the middle of its foot.
  const Point2 from = vp.ToScreen({ext.left, ext.bottom});
  const Point2 to = vp.ToScreen({(ext.left + ext.right) / 2, ext.top});
  const POINT a{static_cast<LONG>(std::floor(from.x)) - 10, static_cast<LONG>(std::floor(from.y)) - 10};
  const POINT b{static_cast<LONG>(std::ceil(to.x)), static_cast<LONG>(std::ceil(to.y)) + 10};
  // What lies wholly inside, in drawing units; no text is near enough to be in doubt.
  const Point2 w1 = vp.ToWorld({static_cast<double>(a.x), static_cast<double>(a.y)});
  const Point2 w2 = vp.ToWorld({static_cast<double>(b.x), static_cast<double>(b.y)});
  auto in = [&w1, &w2](Point2 p) { return p.x >= w1.x && p.x <= w2.x && p.y <= w1.y && p.y >= w2.y; };
  std::vector<size_t> inside;
  for (size_t i = 0; i < shapes.size(); ++i) {
    if (shapes[i].isText) {
      EXPECT_FALSE(in(shapes[i].anchor)) << "text " << i;
      continue;
    }
    bool all = !shapes[i].paths.empty();
    for (const auto& path : shapes[i].paths) {
      for (const Point2& p : path) all = all && in(p);
    }
    if (all) inside.push_back(i);
  }
  ASSERT_GT(inside.size(), 0u);
  ASSERT_LT(inside.size(), shapes.size());
  ::PostMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(a.x, a.y));
  ::PostMessageW(view, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(b.x, b.y));
  ::PostMessageW(view, WM_LBUTTONUP, 0, MAKELPARAM(b.x, b.y));
  EXPECT_EQ(WaitWindowText(::GetDlgItem(window, kStatusBarId),
                           "已选择 " + std::to_string(inside.size()) + " 个对象"),
            "已选择 " + std::to_string(inside.size()) + " 个对象");
  Key(view, L'\r');
  EXPECT_NE(TakeMessage(L"转换完成").find("KML文件转换完成"), std::string::npos);

  const fs::path expected = dir_.path() / "expected" / "families.kml";
  fs::create_directories(expected.parent_path());
  PickedSource picked(d, inside, "drawing.dxf");
  struct Quiet : RunReporter {
    void Prompt(const std::string&) override {}
  } quiet;
  RunConversion(picked, LoadSettings(settings_), expected, quiet);
  EXPECT_TRUE(ReadBytes(kml) == ReadBytes(expected));
  EXPECT_EQ(Exit(), 0);
}

// Alt+Space, then O: the options dialog. A choice changed and OK write their lines
// into the settings file at once, every other line as the file has it; seven
// parameters that are not seven numbers are refused in a box first.
TEST_F(WindowTest, OptionsDialogFromTheSystemMenuWritesTheChangedLines) {
  const std::string ten = "10\r\n114.3\r\n100\r\n6\r\n-0.0335\r\n0.039\r\n10\r\n-1\r\n0\r\n0\r\n";
  std::ofstream(settings_, std::ios::binary) << ten << "future=x\r\n";
  Start();
  Type("Text1", L"99");  // not saved by the dialog
  // Alt+Space as the keyboard delivers it to the focused control (the Alt bit set in
  // the key's flags), then O once the system menu is open.
  ::PostMessageW(Focus(), WM_SYSKEYDOWN, VK_SPACE, 0x20390001);
  ::PostMessageW(Focus(), WM_SYSKEYUP, VK_SPACE, static_cast<LPARAM>(0xE0390001u));
  GUITHREADINFO menu{};
  menu.cbSize = sizeof menu;
  for (int i = 0; i < 60 && !(menu.flags & (GUI_INMENUMODE | GUI_SYSTEMMENUMODE)); ++i) {
    std::this_thread::sleep_for(50ms);
    ::GetGUIThreadInfo(pi_.dwThreadId, &menu);
  }
  ::PostMessageW(main_, WM_KEYDOWN, 'O', 0x00180001);
  ::PostMessageW(main_, WM_CHAR, L'o', 0x00180001);
  HWND dialog = WaitForWindow(pi_.dwProcessId, L"转换选项");
  ASSERT_NE(dialog, nullptr);
  auto control = [dialog](const char* name) { return ::GetDlgItem(dialog, OptionControlId(name)); };
  auto choose = [dialog, &control](const char* name, int index) {
    ::SendMessageW(control(name), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(OptionControlId(name), CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(control(name)));
  };
  ::SendMessageW(control("polygons"), BM_CLICK, 0, 0);
  choose("altitude", static_cast<int>(Altitude::kClamp));
  EXPECT_FALSE(::IsWindowEnabled(control("helmert")));
  choose("method", static_cast<int>(Method::kHelmert));
  EXPECT_TRUE(::IsWindowEnabled(control("helmert")));
  ::SendMessageW(control("helmert"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"1,2,3"));
  ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  // The box over the dialog, titled as the dialog is.
  HWND box = WaitForWindow(pi_.dwProcessId, L"转换选项", false, dialog);
  ASSERT_NE(box, nullptr);
  EXPECT_NE(Narrow(WindowText(::GetDlgItem(box, 0xFFFF))).find("七参数"), std::string::npos);
  ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(ReadBytes(settings_), ten + "future=x\r\n");  // nothing saved yet
  ::SendMessageW(control("helmert"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"1,2,3,4,5,6,7"));
  ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  // Saved once the dialog has closed.
  const std::string saved =
      ten + "future=x\r\npolygons=yes\r\naltitude=clamp\r\nhelmert=1,2,3,4,5,6,7\r\n";
  for (int i = 0; i < 600 && ReadBytes(settings_) != saved; ++i) std::this_thread::sleep_for(50ms);
  EXPECT_EQ(ReadBytes(settings_), saved);
  EXPECT_FALSE(::IsWindow(dialog));
  EXPECT_EQ(Exit(), 0);
}

// Explorer's verb runs the program with --convert: the drawing's document beside it,
// the result in a box, no window; a broken drawing gets the failure box and exit 1.
TEST_F(WindowTest, ExplorerVerbConvertsBesideTheDrawing) {
  const fs::path golden = SourceDir() / "tests" / "golden" / "families";
  fs::copy_file(golden / "Varnolt.ini", settings_);
  const fs::path folder = dir_.path() / PathFromUtf8("图纸");
  fs::create_directories(folder);
  fs::copy_file(golden / "drawing.dxf", folder / "families.dxf");
  std::ofstream(folder / "broken.dxf", std::ios::binary) << "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\nx\n";
  const HANDLE none = ::GetStdHandle(STD_ERROR_HANDLE);
  for (const char* name : {"families.dxf", "broken.dxf"}) {
    SCOPED_TRACE(name);
    if (pi_.hProcess) TearDown();
    pi_ = {};
    ASSERT_TRUE(testing::win32::Start({VARNOLT_GUI, "--settings", Utf8(settings_), "--convert",
                                       Utf8(folder / name)},
                                      nullptr, none, none, pi_));
    const bool good = std::string(name) == "families.dxf";
    const std::string text = TakeMessage(good ? L"转换完成" : L"错误");
    EXPECT_NE(text.find(good ? "KML文件转换完成" : "数据文件格式有误"), std::string::npos) << text;
    ASSERT_EQ(::WaitForSingleObject(pi_.hProcess, 30000), WAIT_OBJECT_0);
    EXPECT_EQ(testing::win32::ExitCode(pi_.hProcess), good ? 0 : 1);
  }
  EXPECT_TRUE(ReadBytes(folder / "families.kml") == ReadBytes(golden / "expected.kml"));
  EXPECT_FALSE(fs::exists(folder / "broken.kml"));
}

// A drawing file is read with the kinds the settings include: picked whole, the
// golden document of included blocks. An opt-in line the run cannot use is named in
// the box before anything is asked, and the saved file keeps every line.
TEST_F(WindowTest, ConvertReadsTheIncludedKindsAndNamesAnUnusableLine) {
  const fs::path golden = SourceDir() / "tests" / "golden" / "kinds_blocks";
  const std::string file = ReadBytes(golden / "Varnolt.ini");
  std::ofstream(settings_, std::ios::binary) << file << "future=x\r\naltitude=sky\r\n";
  Start();
  Click("Command2");
  const std::string refused = TakeMessage(L"错误");
  EXPECT_NE(refused.find("the setting altitude=sky: \"sky\" is not"), std::string::npos)
      << refused;
  EXPECT_EQ(ReadBytes(settings_), file + "future=x\r\naltitude=sky\r\n");
  EXPECT_EQ(Exit(), 0);

  std::ofstream(settings_, std::ios::binary | std::ios::trunc) << file;
  const fs::path kml = dir_.path() / "kinds_blocks.kml";
  Start();
  Click("Command2");
  Answer(L"保存kml文件", &kml);
  const fs::path drawing = golden / "drawing.dxf";
  Answer(L"打开图形", &drawing);
  DxfLimits limits;
  limits.include = IncludedKinds(LoadSettings(settings_));
  const size_t count = ReadDxfFile(drawing, limits).entities.size();
  EXPECT_EQ(PickAll("drawing.dxf", count), "已选择 " + std::to_string(count) + " 个对象");
  EXPECT_NE(TakeMessage(L"转换完成").find("KML文件转换完成"), std::string::npos);
  EXPECT_TRUE(ReadBytes(kml) == ReadBytes(golden / "expected.kml"));
  EXPECT_EQ(Exit(), 0);
}

// The window against its design table: client size, frame, every control's place
// and caption at 96 dpi, the colours of a label and a frame title, and CenterForm on
// the 1280 x 1024 screen.
TEST_F(WindowTest, LayoutFollowsTheTable) {
  Start();
  RECT client;
  ASSERT_TRUE(::GetClientRect(main_, &client));
  EXPECT_EQ(client.right, form::ToPixels(form::kClientWidth, 96));
  EXPECT_EQ(client.bottom, form::ToPixels(form::kClientHeight, 96));
  const LONG_PTR style = ::GetWindowLongPtrW(main_, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  for (const form::Control& c : form::kControls) {
    SCOPED_TRACE(std::string(c.name));
    HWND h = Control(std::string(c.name).c_str());
    ASSERT_NE(h, nullptr);
    int left = c.twips.left, top = c.twips.top;
    if (const form::Control* frame = form::FindControl(c.container)) {
      left += frame->twips.left;
      top += frame->twips.top;
    }
    RECT r;
    ::GetWindowRect(h, &r);
    ::MapWindowPoints(nullptr, main_, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, form::ToPixels(left, 96));
    EXPECT_EQ(r.top, form::ToPixels(top, 96));
    EXPECT_EQ(r.right - r.left, form::ToPixels(c.twips.width, 96));
    EXPECT_EQ(r.bottom - r.top, form::ToPixels(c.twips.height, 96));
    EXPECT_EQ(Narrow(WindowText(h)), c.caption);  // a text box shows its default
  }
  RECT outer;
  ::GetWindowRect(main_, &outer);
  const auto [left, top] = form::CenterPosition(1280, 1024, outer.right - outer.left,
                                                outer.bottom - outer.top);
  EXPECT_EQ(outer.left, left);
  EXPECT_EQ(outer.top, top);
  EXPECT_EQ(Exit(), 0);
}

// Tab walks the table's order and enters the option pair at its selected option; a
// settings box that takes the focus has its whole text selected and turns green,
// and gets its colour back when the focus leaves.
TEST_F(WindowTest, TabOrderAndTheSettingsBoxesFocusRule) {
  Start();
  Click("Option2");  // selects it and gives it the focus
  std::string at = "Option2";
  ASSERT_EQ(WaitFocus(at), at);
  for (int i = 0; i < 14; ++i) {
    const std::string expected(form::NextTabStop(at, true, 2));
    ::PostMessageW(Focus(), WM_KEYDOWN, VK_TAB, 0);
    ::PostMessageW(Focus(), WM_KEYUP, VK_TAB, 0xC0000001);
    ASSERT_EQ(WaitFocus(expected), expected) << "after " << at;
    if (form::FindControl(expected)->kind == form::Kind::kText) {
      const DWORD sel = static_cast<DWORD>(::SendMessageW(Focus(), EM_GETSEL, 0, 0));
      EXPECT_EQ(LOWORD(sel), 0) << expected;
      EXPECT_EQ(HIWORD(sel), WindowText(Focus()).size()) << expected;
      EXPECT_EQ(Background(Focus()), RGB(192, 255, 192)) << expected;
      focusedText_ = Focus();
    } else if (focusedText_ != nullptr) {
      EXPECT_NE(Background(focusedText_), RGB(192, 255, 192));
      focusedText_ = nullptr;
    }
    at = expected;
  }
  EXPECT_EQ(at, "Option2");
  EXPECT_EQ(Exit(), 0);
}

// With a CAD host registered and running, Convert attaches to it: no drawing is
// asked for, the drawing the host exports gives the golden document with the blocks
// the settings include, and the run's prompts reach the host's command line.
TEST_F(WindowTest, ConvertAttachesToTheRunningCadHost) {
  const fs::path golden = SourceDir() / "tests" / "golden" / "kinds_blocks";
  fs::copy_file(golden / "Varnolt.ini", settings_);
  const fs::path kml = dir_.path() / "kinds_blocks.kml";
  const fs::path prompts = dir_.path() / "prompts.txt";
  FakeHost host(golden / "drawing.dxf", "Varnolt.FakeCad.Window",
                {"--prompts", Utf8(prompts), "--export"});
  ASSERT_TRUE(host.ready());

  Start("Varnolt.FakeCad.Window");
  Click("Command2");
  Answer(L"保存kml文件", &kml);
  for (int i = 0; i < 1200 && !fs::exists(kml); ++i) std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(ReadBytes(kml) == ReadBytes(golden / "expected.kml"));
  // 打开图形 offers the drawing window with the host there too: Convert picks in it.
  ::PostMessageW(main_, WM_SYSCOMMAND, kOpenDrawingCommand, 0);
  const fs::path drawing = golden / "drawing.dxf";
  Answer(L"打开图形", &drawing);
  EXPECT_NE(DrawingWindowOf("drawing.dxf"), nullptr);
  const fs::path picked = dir_.path() / "picked" / kml.filename();
  fs::create_directories(picked.parent_path());
  Click("Command2");
  Answer(L"保存kml文件", &picked);
  // The window reads the drawing with the settings' include=blocks: its placed entities.
  DxfLimits blocks;
  blocks.include = kIncludeBlocks;
  const size_t count = ReadDxfFile(drawing, blocks).entities.size();
  EXPECT_EQ(PickAll("drawing.dxf", count), "已选择 " + std::to_string(count) + " 个对象");
  EXPECT_NE(TakeMessage(L"转换完成").find("KML文件转换完成"), std::string::npos);
  EXPECT_TRUE(ReadBytes(picked) == ReadBytes(golden / "expected.kml"));
  EXPECT_EQ(Exit(), 0);
  EXPECT_EQ(host.Stop(), 0);
  const std::string shown = ReadBytes(prompts);
  EXPECT_NE(shown.find(CompletionPrompt(Utf8(kml))), std::string::npos) << shown;
  EXPECT_EQ(shown.find(CompletionPrompt(Utf8(picked))), std::string::npos) << shown;
}

// System menu ▸ 导入 KML/GPX…: with the CAD host running the user chooses; "no" writes
// the DXF `varnolt import` writes for the file, "yes" adds the same entities and
// layers to the host's drawing (which the host writes out as a drawing at its end).
TEST_F(WindowTest, ImportFromTheSystemMenuWritesTheDxfOrAddsToTheHost) {
  const fs::path track = SourceDir() / "fuzz" / "seeds" / "geo_import" / "track.gpx";
  const fs::path dxf = dir_.path() / "track.dxf", added = dir_.path() / "added.dxf";
  const fs::path empty = dir_.path() / "empty.dxf";
  std::ofstream(empty, std::ios::binary) << WriteDxf({}, {});
  FakeHost host(empty, "Varnolt.FakeCad.Import", {"--adding", Utf8(added)});
  ASSERT_TRUE(host.ready());
  Start("Varnolt.FakeCad.Import");
  const std::wstring target = Widen(kImportTargetTitle);
  ::PostMessageW(main_, WM_SYSCOMMAND, kImportCommand, 0);
  Answer(Widen(kImportTitle), &track);
  HWND ask = WaitForWindow(pi_.dwProcessId, target);
  ASSERT_NE(ask, nullptr);
  ::PostMessageW(ask, WM_COMMAND, IDNO, 0);
  Answer(Widen(kImportSaveTitle), &dxf);
  const std::string written = TakeMessage(Widen(kImportDoneTitle));
  EXPECT_NE(written.find("track.gpx（GPX）"), std::string::npos) << written;
  EXPECT_NE(written.find(Utf8(dxf.filename())), std::string::npos) << written;
  const SettingsPlane plane(LoadSettings(settings_));
  const ImportedDrawing d = ImportFile(track, plane.finder(), ImportOptions());
  EXPECT_TRUE(ReadBytes(dxf) == WriteDxf(d.layers, d.entities));

  ::PostMessageW(main_, WM_SYSCOMMAND, kImportCommand, 0);
  Answer(Widen(kImportTitle), &track);
  ask = WaitForWindow(pi_.dwProcessId, target);
  ASSERT_NE(ask, nullptr);
  ::PostMessageW(ask, WM_COMMAND, IDYES, 0);
  const std::string into = TakeMessage(Widen(kImportDoneTitle));
  EXPECT_NE(into.find("Fake CAD"), std::string::npos) << into;
  EXPECT_EQ(Exit(), 0);
  EXPECT_EQ(host.Stop(), 0);
  EXPECT_TRUE(ReadBytes(added) == ReadBytes(dxf)) << "the host holds other entities";
}

// Exit ends the program at once and writes no settings.
TEST_F(WindowTest, ExitSavesNothing) {
  Start();
  Type("Text1", L"99");
  EXPECT_EQ(Exit(), 0);
  EXPECT_FALSE(fs::exists(settings_));
}

}  // namespace
}  // namespace varnolt::win32
