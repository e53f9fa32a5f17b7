#include "win32/drawing_view.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "win32/window_util.h"

namespace varnolt::win32 {

namespace {

constexpr wchar_t kClassName[] = L"VarnoltDrawingView";
const COLORREF kBackground = RGB(33, 40, 48);
constexpr int kLabelEm96 = 13;         // the label font's height at 96 dpi
constexpr double kSmallestTextPx = 3;  // lettering below this shows as its box
constexpr double kPi = 3.14159265358979323846;
// GDI takes coordinates well inside 32 bits; farther points are drawn clipped to this.
constexpr double kFarPx = 1 << 26;

POINT Px(Point2 p) {
  return {static_cast<LONG>(std::lround(std::clamp(p.x, -kFarPx, kFarPx))),
          static_cast<LONG>(std::lround(std::clamp(p.y, -kFarPx, kFarPx)))};
}

Point2 At(LPARAM lp) {
  return {static_cast<double>(GET_X_LPARAM(lp)), static_cast<double>(GET_Y_LPARAM(lp))};
}

// Pens and fonts made once per picture, by what they look like.
class GdiCache {
 public:
  ~GdiCache() {
    for (auto& [key, pen] : pens_) ::DeleteObject(pen);
    for (auto& [key, font] : fonts_) ::DeleteObject(font);
  }
  HPEN Pen(COLORREF colour, bool picked) {
    HPEN& pen = pens_[{colour, picked}];
    if (pen == nullptr) {
      // Picked entities are drawn dashed and thicker, as CAD highlights them.
      LOGBRUSH brush{BS_SOLID, colour, 0};
      pen = picked ? ::ExtCreatePen(PS_GEOMETRIC | PS_DASH | PS_ENDCAP_FLAT, 2, &brush, 0, nullptr)
                   : ::CreatePen(PS_SOLID, 1, colour);
    }
    return pen;
  }
  HFONT Font(HFONT base, int height, int tenthsOfDegrees) {
    HFONT& font = fonts_[{height, tenthsOfDegrees}];
    if (font == nullptr) {
      LOGFONTW lf{};
      ::GetObjectW(base, sizeof lf, &lf);
      lf.lfHeight = -height;
      lf.lfWidth = 0;
      lf.lfEscapement = lf.lfOrientation = tenthsOfDegrees;
      font = ::CreateFontIndirectW(&lf);
    }
    return font;
  }

 private:
  std::map<std::pair<COLORREF, bool>, HPEN> pens_;
  std::map<std::pair<int, int>, HFONT> fonts_;
};

void DrawBox(HDC dc, const Point2 (&q)[4]) {
  POINT p[4];
  for (int i = 0; i < 4; ++i) p[i] = Px(q[i]);
  ::Polygon(dc, p, 4);
}

// A text at its height and rotation, line under line, from its anchor on the
// baseline; a box where the lettering would be too small or too large to draw.
void PaintText(HDC dc, const Shape& s, const Viewport& vp, HFONT labelFont, int labelEm,
               int viewHeight, COLORREF colour, bool picked, GdiCache& cache) {
  Point2 q[4];
  const bool measured = LabelCorners(s, vp, q);
  const double f = LabelScale(s, vp);
  const double em = labelEm * f;
  if (measured && (s.labelAscentPx * f < kSmallestTextPx || em > 4.0 * (viewHeight + 1))) {
    DrawBox(dc, q);
    return;
  }
  const Point2 a = vp.ToScreen(s.anchor);
  const double c = std::cos(s.textRotation), sn = std::sin(s.textRotation);
  const int tenths = static_cast<int>(std::lround(s.textRotation * 1800 / kPi)) % 3600;
  const HGDIOBJ old =
      ::SelectObject(dc, cache.Font(labelFont, std::max(1, static_cast<int>(std::lround(em))), tenths));
  ::SetTextColor(dc, colour);
  TEXTMETRICW tm{};
  ::GetTextMetricsW(dc, &tm);
  size_t start = 0, k = 0;
  for (;;) {
    const size_t end = s.label.find('\n', start);
    const std::wstring line = Widen(std::string_view(s.label).substr(start, end - start));
    const double down = static_cast<double>(k) * tm.tmHeight;
    const POINT p = Px({a.x + down * sn, a.y + down * c});
    ::TextOutW(dc, p.x, p.y, line.c_str(), static_cast<int>(line.size()));
    if (end == std::string::npos) break;
    start = end + 1;
    ++k;
  }
  ::SelectObject(dc, old);
  if (picked && measured) DrawBox(dc, q);
}

}  // namespace

DrawingView::~DrawingView() {
  if (labelFont_) ::DeleteObject(labelFont_);
}

bool DrawingView::Create(HWND parent, int id) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (!::GetClassInfoExW(instance, kClassName, &wc)) {
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;  // a double middle click fits the drawing
    wc.lpfnWndProc = &WindowProcOf<DrawingView>;
    wc.hInstance = instance;
    wc.hCursor = nullptr;  // set by WM_SETCURSOR from what the picking asks
    wc.lpszClassName = kClassName;
    if (!::RegisterClassExW(&wc)) return false;
  }
  hwnd_ = ::CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 10, 10,
                            parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                            this);
  if (hwnd_ == nullptr) return false;
  MakeLabelFont();
  return true;
}

void DrawingView::MakeLabelFont() {
  if (labelFont_) ::DeleteObject(labelFont_);
  labelEm_ = Scaled(kLabelEm96, WindowDpi(hwnd_));
  const std::wstring face = Widen(form::kFontFamily);
  labelFont_ = ::CreateFontW(-labelEm_, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                             OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, face.c_str());
}

void DrawingView::SetDrawing(std::shared_ptr<const DxfDrawing> drawing) {
  const HDC dc = ::GetDC(hwnd_);
  const HGDIOBJ old = ::SelectObject(dc, labelFont_);
  TEXTMETRICW tm{};
  ::GetTextMetricsW(dc, &tm);
  auto measure = [dc, &tm](const std::string& label) {
    PickingView::LabelSize size;
    size_t lines = 0, start = 0;
    for (;;) {
      const size_t end = label.find('\n', start);
      const std::wstring line = Widen(std::string_view(label).substr(start, end - start));
      SIZE extent{};
      ::GetTextExtentPoint32W(dc, line.c_str(), static_cast<int>(line.size()), &extent);
      size.width = std::max(size.width, static_cast<double>(extent.cx));
      ++lines;
      if (end == std::string::npos) break;
      start = end + 1;
    }
    size.height = static_cast<double>(tm.tmHeight) * static_cast<double>(lines);
    size.ascent = tm.tmAscent;
    return size;
  };
  view_.SetDrawing(std::move(drawing), measure);
  ::SelectObject(dc, old);
  ::ReleaseDC(hwnd_, dc);
  RECT r;
  ::GetClientRect(hwnd_, &r);
  view_.Resize(r.right, r.bottom);
  Apply({true, true, std::nullopt});
}

void DrawingView::BeginSelection() {
  Apply(view_.BeginSelection());
  ::SetFocus(hwnd_);
}

void DrawingView::CancelSelection() { Apply(view_.CancelSelection()); }

void DrawingView::ZoomExtents() {
  view_.ZoomExtents();
  Apply({true, false, std::nullopt});
}

void DrawingView::Apply(const PickingView::Change& change) {
  if (change.redraw) ::InvalidateRect(hwnd_, nullptr, FALSE);
  if (change.picksChanged && onPickCount) onPickCount(view_.picked().size());
  if (change.ended) {
    // Handled by the window once this event is done: the run it starts shows boxes.
    ::PostMessageW(::GetParent(hwnd_), kSelectionEnded, *change.ended ? 1 : 0, 0);
  }
}

void DrawingView::Paint(HDC dc, const RECT& client) {
  const HBRUSH background = ::CreateSolidBrush(kBackground);
  ::FillRect(dc, &client, background);
  ::DeleteObject(background);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextAlign(dc, TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
  ::SelectObject(dc, ::GetStockObject(NULL_BRUSH));
  GdiCache cache;
  const Viewport& vp = view_.viewport();
  const std::vector<Shape>& shapes = view_.shapes();
  std::vector<POINT> points;
  for (size_t i = 0; i < shapes.size(); ++i) {
    const Shape& s = shapes[i];
    const PaletteRgb rgb = view_.Colour(i);
    const COLORREF colour = RGB(rgb.red, rgb.green, rgb.blue);
    const bool picked = view_.IsPicked(i);
    ::SelectObject(dc, cache.Pen(colour, picked));
    if (s.isText) {
      PaintText(dc, s, vp, labelFont_, labelEm_, client.bottom, colour, picked, cache);
      continue;
    }
    for (const auto& path : s.paths) {
      if (path.size() == 1) {  // a point: a small cross, the same at every zoom
        const POINT p = Px(vp.ToScreen(path[0]));
        ::MoveToEx(dc, p.x - 3, p.y - 3, nullptr);
        ::LineTo(dc, p.x + 4, p.y + 4);
        ::MoveToEx(dc, p.x - 3, p.y + 3, nullptr);
        ::LineTo(dc, p.x + 4, p.y - 4);
        continue;
      }
      points.clear();
      for (const Point2& p : path) points.push_back(Px(vp.ToScreen(p)));
      ::Polyline(dc, points.data(), static_cast<int>(points.size()));
    }
  }
  if (const auto band = view_.Band()) {
    // A window is drawn solid, a crossing window dashed.
    const bool window = band->second == BoxMode::kWindow;
    const HPEN pen = ::CreatePen(window ? PS_SOLID : PS_DASH, 1, RGB(255, 255, 255));
    ::SelectObject(dc, pen);
    const Rect2& r = band->first;
    ::Rectangle(dc, Px({r.left, r.top}).x, Px({r.left, r.top}).y, Px({r.right, r.bottom}).x,
                Px({r.right, r.bottom}).y);
    ::SelectObject(dc, ::GetStockObject(BLACK_PEN));
    ::DeleteObject(pen);
  }
  ::SelectObject(dc, ::GetStockObject(BLACK_PEN));
}

bool DrawingView::Mouse(UINT msg, WPARAM wp, LPARAM lp) {
  using Button = PickingView::Button;
  const bool shift = (wp & MK_SHIFT) != 0;
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN: {
      const Button b = msg == WM_MBUTTONDOWN                                ? Button::kMiddle
                       : (msg == WM_RBUTTONDOWN || msg == WM_RBUTTONDBLCLK) ? Button::kRight
                                                                            : Button::kLeft;
      ::SetFocus(hwnd_);
      ::SetCapture(hwnd_);
      Apply(view_.Press(b, At(lp), shift));
      return true;
    }
    case WM_MBUTTONDBLCLK:
      Apply(view_.DoubleClick(Button::kMiddle));
      return true;
    case WM_MOUSEMOVE:
      Apply(view_.Move(At(lp)));
      return true;
    case WM_LBUTTONUP:
    case WM_MBUTTONUP:
    case WM_RBUTTONUP: {
      const Button b = msg == WM_MBUTTONUP   ? Button::kMiddle
                       : msg == WM_RBUTTONUP ? Button::kRight
                                             : Button::kLeft;
      if ((wp & (MK_LBUTTON | MK_MBUTTON | MK_RBUTTON)) == 0) ::ReleaseCapture();
      Apply(view_.Release(b, At(lp), shift));
      return true;
    }
    case WM_MOUSEWHEEL: {
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};  // screen coordinates
      ::ScreenToClient(hwnd_, &p);
      const double notches = GET_WHEEL_DELTA_WPARAM(wp) / static_cast<double>(WHEEL_DELTA);
      Apply(view_.Wheel(notches, {static_cast<double>(p.x), static_cast<double>(p.y)}));
      return true;
    }
    default:
      return false;
  }
}

LRESULT DrawingView::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  if (Mouse(msg, wp, lp)) {
    ::SendMessageW(hwnd_, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd_), HTCLIENT);
    return 0;
  }
  switch (msg) {
    case WM_CHAR:
      // Keys as characters: Enter or Space ends, Esc cancels, Ctrl+A (character 1)
      // takes everything.
      if (wp == L'\r' || wp == L' ') Apply(view_.KeyPress(PickingView::Key::kEnd));
      if (wp == 0x1B) Apply(view_.KeyPress(PickingView::Key::kEscape));
      if (wp == 0x01) Apply(view_.KeyPress(PickingView::Key::kSelectAll));
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTALLKEYS | DLGC_WANTCHARS;
    case WM_SETCURSOR: {
      if (LOWORD(lp) != HTCLIENT) break;
      const PickingView::Cursor c = view_.cursor();
      const wchar_t* id = c == PickingView::Cursor::kCross  ? IDC_CROSS
                          : c == PickingView::Cursor::kHand ? IDC_SIZEALL
                                                            : IDC_ARROW;
      ::SetCursor(::LoadCursorW(nullptr, id));
      return TRUE;
    }
    case WM_SIZE:
      view_.Resize(LOWORD(lp), HIWORD(lp));
      ::InvalidateRect(hwnd_, nullptr, FALSE);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the picture covers it all
    case WM_PAINT: {
      PAINTSTRUCT ps;
      const HDC dc = ::BeginPaint(hwnd_, &ps);
      RECT r;
      ::GetClientRect(hwnd_, &r);
      // Drawn off screen first, so that panning does not flicker.
      const HDC mem = ::CreateCompatibleDC(dc);
      const HBITMAP bitmap = ::CreateCompatibleBitmap(dc, std::max(1L, r.right), std::max(1L, r.bottom));
      const HGDIOBJ old = ::SelectObject(mem, bitmap);
      Paint(mem, r);
      ::BitBlt(dc, 0, 0, r.right, r.bottom, mem, 0, 0, SRCCOPY);
      ::SelectObject(mem, old);
      ::DeleteObject(bitmap);
      ::DeleteDC(mem);
      ::EndPaint(hwnd_, &ps);
      return 0;
    }
    default:
      break;
  }
  return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace varnolt::win32
