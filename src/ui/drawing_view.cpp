#include "ui/drawing_view.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <cmath>

#include "kml/palette.h"
#include "kml/style.h"
#include "ui/form_font.h"
#include "ui/qt_text.h"

namespace varnolt {

namespace {

// A drag shorter than this (pixels) is a click.
constexpr double kClickSlopPx = 3;
constexpr double kExtentsMarginPx = 20;
// Below this height in pixels a text shows as its box.
constexpr double kSmallestTextPx = 3;
constexpr double kPi = 3.14159265358979323846;
const QColor kBackground(33, 40, 48);

Point2 ToPoint2(QPointF p) { return {p.x(), p.y()}; }
QPointF ToQPoint(Point2 p) { return {p.x, p.y}; }

}  // namespace

DrawingView::DrawingView(QWidget* parent) : QWidget(parent) {
  setObjectName("drawingView");
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setAutoFillBackground(false);
  setMinimumSize(200, 150);
  labelFont_ = FormFont(9);
  labelFont_.setPixelSize(13);
}

void DrawingView::SetDrawing(std::shared_ptr<const DxfDrawing> drawing) {
  drawing_ = std::move(drawing);
  shapes_.clear();
  colours_.clear();
  picks_.Clear();
  selecting_ = false;
  boxStart_.reset();
  panFrom_.reset();
  if (drawing_) {
    const LayerColors layers = BuildLayerColors(drawing_->layers);
    shapes_.reserve(drawing_->entities.size());
    for (const Entity& e : drawing_->entities) {
      shapes_.push_back(ShapeOf(e));
      colours_.push_back(colchuli(e, layers));
    }
  }
  MeasureLabels();
  zoomPending_ = true;
  if (isVisible()) ZoomExtents();
  update();
}

void DrawingView::MeasureLabels() {
  const QFontMetricsF fm(labelFont_);
  for (Shape& s : shapes_) {
    if (!s.isText) continue;
    const QStringList lines = ToQString(s.label).split('\n');
    double width = 0;
    for (const QString& line : lines) width = std::max(width, fm.horizontalAdvance(line));
    s.labelWidthPx = width;
    s.labelHeightPx = fm.height() * static_cast<double>(lines.size());
    s.labelAscentPx = fm.ascent();
  }
}

void DrawingView::ZoomExtents() {
  zoomPending_ = false;
  const std::optional<Rect2> extents = Extents(shapes_);
  if (!extents) {
    viewport_ = Viewport{1, {0, 0}, static_cast<double>(width()),
                         static_cast<double>(height())};
  } else {
    viewport_ = ZoomToExtents(*extents, width(), height(), kExtentsMarginPx);
  }
  update();
}

QPointF DrawingView::WorldToScreen(double x, double y) const {
  return ToQPoint(viewport_.ToScreen({x, y}));
}

void DrawingView::BeginSelection() {
  picks_.Clear();
  boxStart_.reset();
  boxFromClick_ = false;
  selecting_ = true;
  setCursor(Qt::CrossCursor);
  setFocus(Qt::OtherFocusReason);
  emit pickCountChanged(0);
  update();
}

void DrawingView::EndSelection(bool cancelled) {
  if (!selecting_) return;
  selecting_ = false;
  boxStart_.reset();
  boxFromClick_ = false;
  if (cancelled) picks_.Clear();
  unsetCursor();
  update();
  emit selectionEnded(cancelled);
}

void DrawingView::PickAtPoint(QPointF at, bool remove) {
  const std::optional<size_t> hit = PickAt(shapes_, viewport_, ToPoint2(at), kPickBoxPx);
  if (!hit) return;
  const std::vector<size_t> hits = WholeInserts(drawing_->entities, {*hit}, false);
  if (remove) {
    picks_.Remove(hits);
  } else {
    picks_.Add(hits);
  }
  emit pickCountChanged(static_cast<int>(picks_.Order().size()));
  update();
}

void DrawingView::SelectInBox(QPointF press, QPointF release, bool remove) {
  if (!drawing_) return;
  const Rect2 r = Rect2::FromCorners(ToPoint2(press), ToPoint2(release));
  const bool window = BoxModeOf(ToPoint2(press), ToPoint2(release)) == BoxMode::kWindow;
  const std::vector<size_t> hits =
      WholeInserts(drawing_->entities,
                   window ? WindowSelect(shapes_, viewport_, r) : CrossingSelect(shapes_, viewport_, r),
                   window);
  if (remove) {
    picks_.Remove(hits);
  } else {
    picks_.Add(hits);
  }
  emit pickCountChanged(static_cast<int>(picks_.Order().size()));
  update();
}

QColor DrawingView::ColourOf(size_t index) const {
  const int c = colours_[index];
  if (c < 1 || c > 255) return QColor(160, 160, 160);
  const PaletteRgb& rgb = kAciPalette[static_cast<size_t>(c - 1)];
  return QColor(rgb.red, rgb.green, rgb.blue);
}

void DrawingView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kBackground);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setFont(labelFont_);
  for (size_t i = 0; i < shapes_.size(); ++i) {
    const Shape& s = shapes_[i];
    const bool picked = picks_.Contains(i);
    QPen pen(ColourOf(i), picked ? 2.0 : 1.0);
    pen.setCosmetic(true);
    if (picked) pen.setStyle(Qt::DashLine);
    painter.setPen(pen);
    if (s.isText) {
      const QPointF a = ToQPoint(viewport_.ToScreen(s.anchor));
      const double f = LabelScale(s, viewport_);
      Point2 q[4];
      const bool measured = LabelCorners(s, viewport_, q);
      // Lettering too small to read shows as its box, as CAD shows it.
      if (measured && s.labelAscentPx * f < kSmallestTextPx) {
        QPolygonF box;
        for (const Point2& p : q) box.append(ToQPoint(p));
        painter.drawPolygon(box);
        continue;
      }
      painter.save();
      painter.translate(a);
      painter.rotate(-s.textRotation * 180 / kPi);
      painter.scale(f, f);
      const QStringList lines = ToQString(s.label).split('\n');
      const double lineHeight = QFontMetricsF(labelFont_).height();
      for (qsizetype k = 0; k < lines.size(); ++k) {
        painter.drawText(QPointF(0, lineHeight * static_cast<double>(k)), lines[k]);
      }
      painter.restore();
      if (picked && measured) {
        QPolygonF box;
        for (const Point2& p : q) box.append(ToQPoint(p));
        painter.drawPolygon(box);
      }
      continue;
    }
    for (const auto& path : s.paths) {
      if (path.size() == 1) {  // a point: a small cross, the same at every zoom
        const QPointF p = ToQPoint(viewport_.ToScreen(path[0]));
        painter.drawLine(p + QPointF(-3, -3), p + QPointF(3, 3));
        painter.drawLine(p + QPointF(-3, 3), p + QPointF(3, -3));
        continue;
      }
      QPolygonF poly;
      poly.reserve(static_cast<qsizetype>(path.size()));
      for (const Point2& p : path) poly.append(ToQPoint(viewport_.ToScreen(p)));
      painter.drawPolyline(poly);
    }
  }
  if (boxStart_ && selecting_ && (boxFromClick_ || QLineF(*boxStart_, boxEnd_).length() > kClickSlopPx)) {
    const QRectF r = QRectF(*boxStart_, boxEnd_).normalized();
    const bool window = BoxModeOf(ToPoint2(*boxStart_), ToPoint2(boxEnd_)) == BoxMode::kWindow;
    QPen pen(Qt::white, 1, window ? Qt::SolidLine : Qt::DashLine);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.setBrush(window ? QColor(0, 90, 255, 60) : QColor(0, 200, 60, 60));
    painter.drawRect(r);
  }
}

void DrawingView::resizeEvent(QResizeEvent*) {
  viewport_.width = width();
  viewport_.height = height();
  if (zoomPending_) ZoomExtents();
}

void DrawingView::showEvent(QShowEvent*) {
  if (zoomPending_) ZoomExtents();
}

void DrawingView::mousePressEvent(QMouseEvent* event) {
  const QPointF at = event->position();
  if (event->button() == Qt::MiddleButton ||
      (event->button() == Qt::LeftButton && !selecting_)) {
    panFrom_ = at;
    setCursor(Qt::ClosedHandCursor);
    return;
  }
  if (!selecting_) return;
  if (event->button() == Qt::RightButton) {
    EndSelection(false);
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  if (boxFromClick_ && boxStart_) {
    // Second corner of a box started by a click on empty space.
    const QPointF start = *boxStart_;
    boxStart_.reset();
    boxFromClick_ = false;
    SelectInBox(start, at, event->modifiers() & Qt::ShiftModifier);
    return;
  }
  pressAt_ = at;
  boxStart_ = at;
  boxEnd_ = at;
}

void DrawingView::mouseMoveEvent(QMouseEvent* event) {
  const QPointF at = event->position();
  if (panFrom_) {
    const QPointF d = at - *panFrom_;
    viewport_.center.x -= d.x() / viewport_.scale;
    viewport_.center.y += d.y() / viewport_.scale;
    panFrom_ = at;
    update();
    return;
  }
  if (boxStart_) {
    boxEnd_ = at;
    update();
  }
}

void DrawingView::mouseReleaseEvent(QMouseEvent* event) {
  const QPointF at = event->position();
  if (panFrom_ && (event->button() == Qt::MiddleButton || event->button() == Qt::LeftButton)) {
    panFrom_.reset();
    if (selecting_) {
      setCursor(Qt::CrossCursor);
    } else {
      unsetCursor();
    }
    return;
  }
  if (!selecting_ || event->button() != Qt::LeftButton || !boxStart_ || boxFromClick_) return;
  const bool remove = event->modifiers() & Qt::ShiftModifier;
  if (QLineF(pressAt_, at).length() > kClickSlopPx) {
    const QPointF start = *boxStart_;
    boxStart_.reset();
    SelectInBox(start, at, remove);
    return;
  }
  // A click: the entity under the pick box, or else the first corner of a box.
  if (PickAt(shapes_, viewport_, ToPoint2(at), kPickBoxPx)) {
    boxStart_.reset();
    PickAtPoint(at, remove);
  } else {
    boxFromClick_ = true;
    boxEnd_ = at;
  }
}

void DrawingView::wheelEvent(QWheelEvent* event) {
  const double steps = event->angleDelta().y() / 120.0;
  if (steps == 0) return;
  const Point2 at = ToPoint2(event->position());
  const Point2 before = viewport_.ToWorld(at);
  viewport_.scale *= std::pow(1.25, steps);
  const Point2 after = viewport_.ToWorld(at);
  // Keep the point under the cursor where it is.
  viewport_.center.x += before.x - after.x;
  viewport_.center.y += before.y - after.y;
  update();
}

void DrawingView::keyPressEvent(QKeyEvent* event) {
  if (!selecting_) {
    QWidget::keyPressEvent(event);
    return;
  }
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      EndSelection(false);
      return;
    case Qt::Key_Escape:
      if (boxStart_) {
        boxStart_.reset();
        boxFromClick_ = false;
        update();
      } else {
        EndSelection(true);
      }
      return;
    case Qt::Key_A:
      if (event->modifiers() & Qt::ControlModifier) {
        for (size_t i = 0; i < shapes_.size(); ++i) picks_.Add(i);
        emit pickCountChanged(static_cast<int>(picks_.Order().size()));
        update();
        return;
      }
      break;
    default:
      break;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace varnolt
