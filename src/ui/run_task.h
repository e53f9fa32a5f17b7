// A conversion run (or an import) on a worker thread, so the window stays responsive.
// A run's entities were picked on the user-interface thread before it starts; the
// prompts and progress come back through a channel's signals, queued to the window's
// thread.
#pragma once

#include <QFuture>
#include <QObject>
#include <QString>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "cad/dxf.h"
#include "import/import.h"
#include "picking/picked_source.h"
#include "run/run.h"
#include "settings/settings.h"

namespace varnolt {

// Lives on the window's thread; the worker emits, the window's slots receive.
class RunChannel : public QObject {
  Q_OBJECT

 signals:
  void prompt(const QString& text);
  void progress(qint64 done, qint64 total);
  void warning(const QString& text);  // in the pane's words (Chinese)
};

struct RunOutcome {
  bool ok = false;
  ErrorKind kind = ErrorKind::kGeneral;
  std::string what;  // the failure, as the core worded it
  RunResult result;
};

// Runs RunConversion into `output` (created when the user named it) on a pool
// thread; `started` is the Convert click. The select prompt has already been shown
// while the user picked, so the run's own copy of it is not sent again.
QFuture<RunOutcome> StartRun(std::shared_ptr<const DxfDrawing> drawing,
                             std::vector<size_t> picks, std::string description,
                             Settings settings, std::shared_ptr<OutputDocument> output,
                             std::chrono::system_clock::time_point started,
                             RunChannel* channel);

struct ImportOutcome {
  bool ok = false;
  ErrorKind kind = ErrorKind::kGeneral;
  std::string what;  // the failure, as the core worded it
  ImportedDrawing drawing;
};

// Imports `path` onto the plane of `settings` on a pool thread; the channel hears the
// progress in percent (of 100) as the file is read and its positions placed.
QFuture<ImportOutcome> StartImport(std::filesystem::path path, Settings settings,
                                   RunChannel* channel);

}  // namespace varnolt
