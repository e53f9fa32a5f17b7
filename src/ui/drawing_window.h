// The CAD host of this platform: a window with one DXF drawing's model space, the
// picking view and a command-line pane that shows every prompt of a run, with a
// progress bar beneath.
#pragma once

#include <QMainWindow>

#include <memory>

#include "cad/dxf.h"
#include "import/import.h"

class QAction;
class QLabel;
class QPlainTextEdit;
class QProgressBar;

namespace varnolt {

class DrawingView;
class FormEnvironment;

class DrawingWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit DrawingWindow(FormEnvironment& env, QWidget* parent = nullptr);

  bool HasDrawing() const;
  // Reads the DXF file and shows it zoomed to its extents. Throws Error (the
  // window keeps its previous drawing then).
  void LoadDrawing(const QString& path);
  // What a drawing is read with beyond the seven families (IncludeKind bits); a
  // change re-reads the drawing shown (the picks start again). Throws Error as
  // LoadDrawing does.
  void SetInclude(unsigned include);
  unsigned include() const { return include_; }
  QString drawingPath() const { return path_; }
  std::shared_ptr<const DxfDrawing> drawing() const;

  DrawingView* view() const { return view_; }
  QPlainTextEdit* commandPane() const { return pane_; }
  QProgressBar* progressBar() const { return progress_; }

  // One command-line prompt, on a line of its own.
  void AppendPrompt(const QString& text);
  void SetProgress(qint64 done, qint64 total);
  // While a run uses the drawing it cannot be replaced.
  void SetBusy(bool busy);

  // Adds what was imported from `name` to the drawing shown (or shows it alone), with
  // its layers, and says so on the command line.
  void AddImported(const ImportedDrawing& imported, const QString& name);

 public slots:
  // File ▸ Open: asks for a DXF file and switches to it.
  void OpenFromMenu();

 signals:
  // Options ▸ Conversion options was chosen.
  void optionsRequested();
  // File ▸ Import KML/GPX was chosen.
  void importRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  FormEnvironment& env_;
  DrawingView* view_;
  QPlainTextEdit* pane_;
  QProgressBar* progress_;
  QLabel* picks_;
  QAction* openAction_;
  QAction* importAction_;
  QString path_;
  unsigned include_ = 0;
};

// Title and filter of the dialog that opens a drawing.
QString OpenDrawingTitle();
QString OpenDrawingFilter();
// Title and filter of the dialog that chooses a file to import.
QString ImportTitle();
QString ImportFilter();

}  // namespace varnolt
