// The drawing's model space in plan, in the entities' own colours, with the picking
// a CAD program offers while it waits for a selection.
//
// Always: the middle button drags the view, the wheel zooms about the cursor, and
// outside a selection the left button drags it too. While selecting: a click picks
// the entity under the cursor; a drag (or a click on empty space and a second click)
// spans a window, left to right for entities wholly inside, right to left for a
// crossing window that takes every entity it touches; Shift removes instead of
// adding; Ctrl+A takes everything; Enter, Space or a right click end the selection
// and Esc cancels it.
#pragma once

#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

#include "cad/dxf.h"
#include "picking/picking.h"

namespace varnolt {

class DrawingView : public QWidget {
  Q_OBJECT

 public:
  // Half the side of the pick box, in pixels.
  static constexpr double kPickBoxPx = 4;

  explicit DrawingView(QWidget* parent = nullptr);

  void SetDrawing(std::shared_ptr<const DxfDrawing> drawing);
  const std::shared_ptr<const DxfDrawing>& drawing() const { return drawing_; }

  void ZoomExtents();
  const Viewport& viewport() const { return viewport_; }
  QPointF WorldToScreen(double x, double y) const;

  // Starts a selection with nothing picked; selectionEnded follows.
  void BeginSelection();
  bool selecting() const { return selecting_; }
  // The picked entities' indices into the drawing's entities, in pick order.
  const std::vector<size_t>& picked() const { return picks_.Order(); }

  // Ends a selection as Esc does (the window was closed meanwhile).
  void CancelSelection() { EndSelection(true); }

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
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void MeasureLabels();
  void EndSelection(bool cancelled);
  void PickAtPoint(QPointF at, bool remove);
  QColor ColourOf(size_t index) const;

  std::shared_ptr<const DxfDrawing> drawing_;
  std::vector<Shape> shapes_;
  std::vector<int> colours_;  // effective colour number of each entity
  Viewport viewport_;
  bool zoomPending_ = false;  // zoom to extents once the view has its size
  QFont labelFont_;

  bool selecting_ = false;
  PickList picks_;

  // A drag in progress: panning, or a selection box from `boxStart_`.
  std::optional<QPointF> panFrom_;
  std::optional<QPointF> boxStart_;
  QPointF boxEnd_;
  bool boxFromClick_ = false;  // first corner set by a click, waiting for the second
  QPointF pressAt_;
};

}  // namespace varnolt
