// The drawing's model space in plan, in the entities' own colours, with the picking
// a CAD program offers while it waits for a selection: picking/picking_view.h says
// what the mouse and the keys do, this widget hands it Qt's events and paints.
#pragma once

#include <QWidget>

#include <memory>
#include <vector>

#include "cad/dxf.h"
#include "picking/picking_view.h"

namespace varnolt {

class DrawingView : public QWidget {
  Q_OBJECT

 public:
  // Half the side of the pick box, in pixels.
  static constexpr double kPickBoxPx = PickingView::kPickBoxPx;

  explicit DrawingView(QWidget* parent = nullptr);

  void SetDrawing(std::shared_ptr<const DxfDrawing> drawing);
  const std::shared_ptr<const DxfDrawing>& drawing() const { return view_.drawing(); }

  void ZoomExtents();
  const Viewport& viewport() const { return view_.viewport(); }
  QPointF WorldToScreen(double x, double y) const;

  // Starts a selection with nothing picked; selectionEnded follows.
  void BeginSelection();
  bool selecting() const { return view_.selecting(); }
  // The picked entities' indices into the drawing's entities, in pick order.
  const std::vector<size_t>& picked() const { return view_.picked(); }

  // Ends a selection as Esc does (the window was closed meanwhile).
  void CancelSelection() { Apply(view_.CancelSelection()); }

  // Picking made by program rather than by mouse (used for screenshots).
  void SelectInBox(QPointF press, QPointF release, bool remove);

 signals:
  // The user ended the selection (cancelled: Esc, the selection is empty then).
  void selectionEnded(bool cancelled);
  // The picked set changed: `count` entities picked.
  void pickCountChanged(int count);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Apply(const PickingView::Change& change);
  void PaintText(QPainter& painter, const Shape& s, bool picked);

  PickingView view_;
  QFont labelFont_;
};

}  // namespace varnolt
