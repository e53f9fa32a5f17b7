// varnolt-gui: starts the main window. Options: --settings FILE uses another
// settings file than the one beside the program; --screenshot DIR writes pictures
// of the windows for the manual and quits (hidden: for scripts/screenshots).
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

#include "base/error.h"
#include "import/import.h"

#include "ui/converter_form.h"
#include "ui/drawing_view.h"
#include "ui/drawing_window.h"
#include "ui/form_environment.h"
#include "ui/qt_text.h"

namespace {

// The drawing again, with a GPS walk imported over it (File ▸ Import), zoomed to both.
bool ImportedShot(varnolt::ConverterForm& form, varnolt::DrawingWindow* host,
                  const QString& walk, const QString& file) {
  host->view()->CancelSelection();
  try {
    const varnolt::SettingsPlane plane(form.CurrentSettings());
    host->AddImported(varnolt::ImportFile(varnolt::ToPath(walk), plane.finder(), {}),
                      QFileInfo(walk).fileName());
  } catch (const varnolt::Error& e) {
    std::fprintf(stderr, "varnolt-gui: %s\n", e.what());
    return false;
  }
  host->view()->ZoomExtents();
  QApplication::processEvents();
  return host->grab().save(file);
}

// Pictures of the main window and of the drawing window with a selection made.
int TakeScreenshots(varnolt::ConverterForm& form, const QString& dir, const QString& drawing,
                    const QString& walk) {
  QDir().mkpath(dir);
  if (!form.grab().save(dir + "/main_window.png")) return 1;
  varnolt::DrawingWindow* host = form.EnsureDrawingWindow();
  host->resize(900, 640);
  host->LoadDrawing(drawing);
  host->show();
  host->view()->ZoomExtents();
  QApplication::processEvents();
  host->AppendPrompt(varnolt::ToQString(std::string(varnolt::kSelectPrompt)));
  host->view()->BeginSelection();
  // A window, left to right, around the building and its label, then a crossing
  // window, right to left, over the road and its kerbs, as a user would drag them.
  varnolt::DrawingView* view = host->view();
  const QRectF r = view->rect();
  view->SelectInBox(QPointF(r.width() * 0.25, r.height() * 0.68),
                    QPointF(r.width() * 0.45, r.height() * 0.9), false);
  view->SelectInBox(QPointF(r.width() * 0.5, r.height() * 0.85),
                    QPointF(r.width() * 0.45, r.height()), false);
  QApplication::processEvents();
  if (!host->grab().save(dir + "/drawing_window.png")) return 1;
  if (walk.isEmpty()) return 0;
  return ImportedShot(form, host, walk, dir + "/imported_track.png") ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("varnolt-gui");
  QApplication::setApplicationVersion("1.1");

  QCommandLineParser parser;
  parser.setApplicationDescription("Varnolt: CAD drawings on a Gauss-Krueger plane to KML.");
  parser.addHelpOption();
  parser.addVersionOption();
  QCommandLineOption settingsOption("settings", "Use FILE as the settings file.", "FILE");
  parser.addOption(settingsOption);
  QCommandLineOption shotOption("screenshot", "Write screenshots to DIR and quit.", "DIR");
  shotOption.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(shotOption);
  QCommandLineOption drawingOption("screenshot-drawing", "Drawing for the screenshots.", "DXF");
  drawingOption.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(drawingOption);
  QCommandLineOption importOption("screenshot-import", "GPX to import for a screenshot.", "GPX");
  importOption.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(importOption);
  parser.process(app);

  const std::filesystem::path settings = parser.isSet(settingsOption)
                                             ? varnolt::ToPath(parser.value(settingsOption))
                                             : varnolt::DefaultSettingsPath();
  varnolt::DesktopEnvironment env;
  varnolt::ConverterForm form(settings, env);
  form.show();
  form.CenterForm();

  if (parser.isSet(shotOption)) {
    int status = 1;
    QTimer::singleShot(200, &app, [&] {
      status = TakeScreenshots(form, parser.value(shotOption), parser.value(drawingOption),
                               parser.value(importOption));
      QApplication::quit();
    });
    app.exec();
    return status;
  }
  return app.exec();
}
