#include "ui/drawing_view.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <optional>

#include "ui/form_font.h"
#include "ui/qt_text.h"

namespace varnolt {

namespace {

// Below this height in pixels a text shows as its box.
constexpr double kSmallestTextPx = 3;
constexpr double kPi = 3.14159265358979323846;
const QColor kBackground(33, 40, 48);

Point2 ToPoint2(QPointF p) { return {p.x(), p.y()}; }
QPointF ToQPoint(Point2 p) { return {p.x, p.y}; }

std::optional<PickingView::Button> ButtonOf(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton:
      return PickingView::Button::kLeft;
    case Qt::MiddleButton:
      return PickingView::Button::kMiddle;
    case Qt::RightButton:
      return PickingView::Button::kRight;
    default:
      return std::nullopt;
  }
}

bool Shift(const QMouseEvent* event) { return event->modifiers() & Qt::ShiftModifier; }

QPolygonF Box(const Point2 (&q)[4]) {
  QPolygonF box;
  for (const Point2& p : q) box.append(ToQPoint(p));
  return box;
}

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
  const QFontMetricsF fm(labelFont_);
  auto measure = [&fm](const std::string& label) {
    const QStringList lines = ToQString(label).split('\n');
    PickingView::LabelSize size;
    for (const QString& line : lines) size.width = std::max(size.width, fm.horizontalAdvance(line));
    size.height = fm.height() * static_cast<double>(lines.size());
    size.ascent = fm.ascent();
    return size;
  };
  view_.SetDrawing(std::move(drawing), measure);
  // Fitted once the view has its size.
  if (isVisible()) view_.Resize(width(), height());
  Apply({true, false, std::nullopt});
}

void DrawingView::ZoomExtents() {
  view_.ZoomExtents();
  update();
}

QPointF DrawingView::WorldToScreen(double x, double y) const {
  return ToQPoint(view_.viewport().ToScreen({x, y}));
}

void DrawingView::BeginSelection() {
  Apply(view_.BeginSelection());
  setFocus(Qt::OtherFocusReason);
}

void DrawingView::SelectInBox(QPointF press, QPointF release, bool remove) {
  Apply(view_.SelectInBox(ToPoint2(press), ToPoint2(release), remove));
}

void DrawingView::Apply(const PickingView::Change& change) {
  switch (view_.cursor()) {
    case PickingView::Cursor::kHand:
      setCursor(Qt::ClosedHandCursor);
      break;
    case PickingView::Cursor::kCross:
      setCursor(Qt::CrossCursor);
      break;
    case PickingView::Cursor::kArrow:
      unsetCursor();
      break;
  }
  if (change.redraw) update();
  if (change.picksChanged) emit pickCountChanged(static_cast<int>(view_.picked().size()));
  if (change.ended) emit selectionEnded(*change.ended);
}

void DrawingView::PaintText(QPainter& painter, const Shape& s, bool picked) {
  const Viewport& vp = view_.viewport();
  const double f = LabelScale(s, vp);
  Point2 q[4];
  const bool measured = LabelCorners(s, vp, q);
  // Lettering too small to read shows as its box, as CAD shows it.
  if (measured && s.labelAscentPx * f < kSmallestTextPx) {
    painter.drawPolygon(Box(q));
    return;
  }
  painter.save();
  painter.translate(ToQPoint(vp.ToScreen(s.anchor)));
  painter.rotate(-s.textRotation * 180 / kPi);
  painter.scale(f, f);
  const QStringList lines = ToQString(s.label).split('\n');
  const double lineHeight = QFontMetricsF(labelFont_).height();
  for (qsizetype k = 0; k < lines.size(); ++k) {
    painter.drawText(QPointF(0, lineHeight * static_cast<double>(k)), lines[k]);
  }
  painter.restore();
  if (picked && measured) painter.drawPolygon(Box(q));
}

void DrawingView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kBackground);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setFont(labelFont_);
  const Viewport& vp = view_.viewport();
  const std::vector<Shape>& shapes = view_.shapes();
  for (size_t i = 0; i < shapes.size(); ++i) {
    const Shape& s = shapes[i];
    const bool picked = view_.IsPicked(i);
    const PaletteRgb rgb = view_.Colour(i);
    QPen pen(QColor(rgb.red, rgb.green, rgb.blue), picked ? 2.0 : 1.0);
    pen.setCosmetic(true);
    if (picked) pen.setStyle(Qt::DashLine);
    painter.setPen(pen);
    if (s.isText) {
      PaintText(painter, s, picked);
      continue;
    }
    for (const auto& path : s.paths) {
      if (path.size() == 1) {  // a point: a small cross, the same at every zoom
        const QPointF p = ToQPoint(vp.ToScreen(path[0]));
        painter.drawLine(p + QPointF(-3, -3), p + QPointF(3, 3));
        painter.drawLine(p + QPointF(-3, 3), p + QPointF(3, -3));
        continue;
      }
      QPolygonF poly;
      poly.reserve(static_cast<qsizetype>(path.size()));
      for (const Point2& p : path) poly.append(ToQPoint(vp.ToScreen(p)));
      painter.drawPolyline(poly);
    }
  }
  if (const auto band = view_.Band()) {
    const Rect2& b = band->first;
    const bool window = band->second == BoxMode::kWindow;
    QPen pen(Qt::white, 1, window ? Qt::SolidLine : Qt::DashLine);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.setBrush(window ? QColor(0, 90, 255, 60) : QColor(0, 200, 60, 60));
    painter.drawRect(QRectF(QPointF(b.left, b.top), QPointF(b.right, b.bottom)));
  }
}

void DrawingView::resizeEvent(QResizeEvent*) {
  view_.Resize(width(), height());
  update();
}

void DrawingView::showEvent(QShowEvent*) { view_.Resize(width(), height()); }

void DrawingView::mousePressEvent(QMouseEvent* event) {
  if (const auto b = ButtonOf(event->button())) {
    Apply(view_.Press(*b, ToPoint2(event->position()), Shift(event)));
  }
}

void DrawingView::mouseDoubleClickEvent(QMouseEvent* event) {
  // A double middle click fits the drawing; other double clicks are two clicks.
  if (event->button() == Qt::MiddleButton) {
    Apply(view_.DoubleClick(PickingView::Button::kMiddle));
  } else {
    mousePressEvent(event);
  }
}

void DrawingView::mouseMoveEvent(QMouseEvent* event) {
  Apply(view_.Move(ToPoint2(event->position())));
}

void DrawingView::mouseReleaseEvent(QMouseEvent* event) {
  if (const auto b = ButtonOf(event->button())) {
    Apply(view_.Release(*b, ToPoint2(event->position()), Shift(event)));
  }
}

void DrawingView::wheelEvent(QWheelEvent* event) {
  Apply(view_.Wheel(event->angleDelta().y() / 120.0, ToPoint2(event->position())));
}

void DrawingView::keyPressEvent(QKeyEvent* event) {
  std::optional<PickingView::Key> key;
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      key = PickingView::Key::kEnd;
      break;
    case Qt::Key_Escape:
      key = PickingView::Key::kEscape;
      break;
    case Qt::Key_A:
      if (event->modifiers() & Qt::ControlModifier) key = PickingView::Key::kSelectAll;
      break;
    default:
      break;
  }
  if (!selecting() || !key) {
    QWidget::keyPressEvent(event);
    return;
  }
  Apply(view_.KeyPress(*key));
}

}  // namespace varnolt
