// The drawing's model space in plan, drawn with GDI in the entities' colours and
// texts at their height, picked and moved as picking/picking_view.h has it: a child
// window of the drawing window.
#pragma once

#include <functional>
#include <memory>

#include "cad/dxf.h"
#include "picking/picking_view.h"
#include "win32/wide.h"

namespace varnolt::win32 {

// Posted to the view's parent when the user ends a selection: wParam 1 when it was
// cancelled (Esc), 0 when it ended with the picks made.
inline constexpr UINT kSelectionEnded = WM_APP + 1;

class DrawingView {
 public:
  DrawingView() = default;
  DrawingView(const DrawingView&) = delete;
  DrawingView& operator=(const DrawingView&) = delete;
  ~DrawingView();

  // Creates the view as child `id` of `parent`.
  bool Create(HWND parent, int id);
  HWND hwnd() const { return hwnd_; }

  // Shows `drawing`, fitted to the view; the picks start again.
  void SetDrawing(std::shared_ptr<const DxfDrawing> drawing);
  const PickingView& picking() const { return view_; }

  void BeginSelection();
  void CancelSelection();
  void ZoomExtents();
  // A box spanned by the program rather than the mouse (pictures for the manual).
  void SelectInBox(Point2 press, Point2 release) { Apply(view_.SelectInBox(press, release, false)); }
  // Called whenever the number of picked entities changes.
  std::function<void(size_t)> onPickCount;

  // For the window procedure (win32/window_util.h).
  void Attach(HWND hwnd) { hwnd_ = hwnd; }
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);

 private:
  bool Mouse(UINT msg, WPARAM wp, LPARAM lp);
  void Apply(const PickingView::Change& change);
  void Paint(HDC dc, const RECT& client);
  void MakeLabelFont();

  HWND hwnd_ = nullptr;
  PickingView view_;
  HFONT labelFont_ = nullptr;  // what the labels are measured in
  int labelEm_ = 13;           // its height in pixels
};

}  // namespace varnolt::win32
