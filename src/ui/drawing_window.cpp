#include "ui/drawing_window.h"

#include <QAction>

#include <algorithm>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>

#include "base/error.h"
#include "ui/drawing_view.h"
#include "ui/form_environment.h"
#include "ui/form_font.h"
#include "ui/qt_text.h"

namespace varnolt {

QString OpenDrawingTitle() { return QStringLiteral("打开图形"); }
QString OpenDrawingFilter() {
  return QStringLiteral("DXF图形文件(*.dxf *.DXF);;所有文件（*.*)(*)");
}

QString ImportTitle() { return QStringLiteral("导入 KML/GPX"); }
QString ImportFilter() {
  return QStringLiteral(
      "KML/KMZ/GPX/GeoJSON(*.kml *.kmz *.gpx *.geojson *.json);;所有文件（*.*)(*)");
}

DrawingWindow::DrawingWindow(FormEnvironment& env, QWidget* parent)
    : QMainWindow(parent), env_(env) {
  setObjectName("drawingWindow");
  setWindowTitle(QStringLiteral("Varnolt 图形"));
  resize(900, 640);

  QMenu* file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
  openAction_ = file->addAction(QStringLiteral("打开(&O)…"), this, &DrawingWindow::OpenFromMenu);
  openAction_->setShortcut(QKeySequence::Open);
  openAction_->setObjectName("openAction");
  importAction_ = file->addAction(QStringLiteral("导入 KML/GPX(&I)…"), this,
                                  &DrawingWindow::importRequested);
  importAction_->setObjectName("importAction");
  file->addSeparator();
  file->addAction(QStringLiteral("关闭(&C)"), this, &QWidget::close);
  QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("视图(&V)"));
  QMenu* optionsMenu = menuBar()->addMenu(QStringLiteral("选项(&T)"));
  QAction* options = optionsMenu->addAction(QStringLiteral("转换选项(&O)…"), this,
                                            &DrawingWindow::optionsRequested);
  options->setObjectName("optionsAction");

  auto* splitter = new QSplitter(Qt::Vertical, this);
  view_ = new DrawingView(splitter);
  pane_ = new QPlainTextEdit(splitter);
  pane_->setObjectName("commandPane");
  pane_->setReadOnly(true);
  pane_->setFont(FormFont(9));
  pane_->setMaximumBlockCount(5000);
  splitter->addWidget(view_);
  splitter->addWidget(pane_);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 0);
  splitter->setSizes({520, 110});
  setCentralWidget(splitter);

  QAction* extents = viewMenu->addAction(QStringLiteral("范围缩放(&E)"), view_,
                                          &DrawingView::ZoomExtents);
  extents->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));

  picks_ = new QLabel(this);
  picks_->setObjectName("pickCount");
  progress_ = new QProgressBar(this);
  progress_->setObjectName("runProgress");
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setMaximumWidth(260);
  statusBar()->addWidget(picks_, 1);
  statusBar()->addPermanentWidget(progress_);
  connect(view_, &DrawingView::pickCountChanged, this, [this](int n) {
    picks_->setText(QStringLiteral("已选择 %1 个对象").arg(n));
  });
}

bool DrawingWindow::HasDrawing() const { return view_->drawing() != nullptr; }

std::shared_ptr<const DxfDrawing> DrawingWindow::drawing() const { return view_->drawing(); }

void DrawingWindow::LoadDrawing(const QString& path) {
  DxfLimits limits;
  limits.include = include_;
  auto drawing = std::make_shared<const DxfDrawing>(ReadDxfFile(ToPath(path), limits));
  path_ = path;
  view_->SetDrawing(std::move(drawing));
  setWindowTitle(QStringLiteral("Varnolt 图形 - %1").arg(QFileInfo(path).fileName()));
  picks_->clear();
}

void DrawingWindow::SetInclude(unsigned include) {
  if (include == include_) return;
  include_ = include;
  if (!path_.isEmpty()) LoadDrawing(path_);
}

void DrawingWindow::AppendPrompt(const QString& text) { pane_->appendPlainText(text); }

void DrawingWindow::SetProgress(qint64 done, qint64 total) {
  const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 0;
  progress_->setValue(percent);
}

void DrawingWindow::SetBusy(bool busy) {
  openAction_->setEnabled(!busy);
  importAction_->setEnabled(!busy);
}

void DrawingWindow::AddImported(const ImportedDrawing& imported, const QString& name) {
  auto merged = std::make_shared<DxfDrawing>();
  if (const std::shared_ptr<const DxfDrawing>& shown = view_->drawing()) *merged = *shown;
  for (const Layer& layer : imported.layers) {
    const bool known = std::any_of(merged->layers.begin(), merged->layers.end(),
                                   [&](const Layer& l) { return l.name == layer.name; });
    if (!known) merged->layers.push_back(layer);
  }
  merged->entities.insert(merged->entities.end(), imported.entities.begin(),
                          imported.entities.end());
  view_->SetDrawing(std::move(merged));
  if (path_.isEmpty()) setWindowTitle(QStringLiteral("Varnolt 图形 - %1").arg(name));
  AppendPrompt(QStringLiteral("已导入 %1（%2）：%3 个对象，%4 个点")
                   .arg(name, ToQString(imported.format))
                   .arg(imported.entities.size())
                   .arg(imported.positions));
}

void DrawingWindow::closeEvent(QCloseEvent* event) {
  // Closing the window during a selection ends it as Esc would.
  if (view_->selecting()) view_->CancelSelection();
  QMainWindow::closeEvent(event);
}

void DrawingWindow::OpenFromMenu() {
  if (view_->selecting() || !openAction_->isEnabled()) return;
  const QString path = env_.OpenFileName(this, OpenDrawingTitle(), OpenDrawingFilter());
  if (path.isEmpty()) return;
  try {
    LoadDrawing(path);
  } catch (const Error& e) {
    env_.ShowMessage(this, MessageIcon::kCritical, ErrorTitle(),
                     ToQString(FailureMessage(Task::kConversion, e.kind())),
                     ToQString(e.what()));
  }
}

}  // namespace varnolt
