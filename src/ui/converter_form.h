// ConverterForm, the program's main window: the ten settings in three frames and the
// five buttons (Convert, correction calculator, help, the maker's page, exit). It
// maps its controls to a Settings value and hands the work to the core: the
// conversion run on a worker thread, the correction calculator in place.
#pragma once

#include <QCheckBox>
#include <QFutureWatcher>
#include <QLineEdit>
#include <QPoint>
#include <QSize>
#include <QWidget>

#include <chrono>
#include <filesystem>
#include <memory>

#include "base/error.h"
#include "form/controls.h"
#include "settings/settings.h"
#include "ui/run_task.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace varnolt {

class DrawingWindow;
class FormEnvironment;

// A settings text box: on receiving the focus its whole text is selected and its
// background turns light green; on losing it the background is restored. Nothing
// typed is checked or reformatted.
class SettingsEdit : public QLineEdit {
  Q_OBJECT

 public:
  static QColor FocusColour() {
    return QColor(form::kFocusBackground.r, form::kFocusBackground.g, form::kFocusBackground.b);
  }
  using QLineEdit::QLineEdit;

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
};

// The arcs check box (Check1): a click toggles between unchecked and checked. The
// greyed state comes only from a settings file holding 2; a click on it checks it.
class ArcsCheckBox : public QCheckBox {
  Q_OBJECT

 public:
  using QCheckBox::QCheckBox;

 protected:
  void nextCheckState() override;
};

class ConverterForm : public QWidget {
  Q_OBJECT

 public:
  // `settingsPath` is read now (defaults on any fault) and written by every run and
  // calculation; closing the window writes nothing.
  ConverterForm(std::filesystem::path settingsPath, FormEnvironment& env,
                QWidget* parent = nullptr);
  ~ConverterForm() override;

  Settings CurrentSettings() const;
  void ApplySettings(const Settings& settings);
  const std::filesystem::path& settingsPath() const { return settingsPath_; }

  bool runInProgress() const { return busy_; }
  // The drawing window, created by the first conversion; null before.
  DrawingWindow* drawingWindow() const { return drawing_; }
  // Created on demand (for screenshots and tests that open a drawing first).
  DrawingWindow* EnsureDrawingWindow();

  // Where the window goes on a screen: horizontally centred, a third of the free
  // height above it. Single-precision arithmetic, as the placement always was.
  static QPoint CenterPosition(QSize screen, QSize window);
  void CenterForm();

  // The user manual: beside the executable, then ../share/varnolt, then the
  // source tree's docs/. Empty when none exists.
  static QString ManualPath();

 public slots:
  void Convert();           // Command2
  void CalculateCorrection();  // xpcmdbutton1
  void ShowHelp();          // xpcmdbutton4
  void MoreSoftware();      // xpcmdbutton3
  void Exit();              // xpcmdbutton5
  // The drawing window's conversion options dialog.
  void EditOptions();
  // The drawing window's File ▸ Import: a KML, KMZ, GPX or GeoJSON file onto the
  // plane of the current settings, drawn with the drawing.
  void ImportGeoFile();

 signals:
  // A conversion ended (ok: the document was written), after any failure message.
  void runFinished(bool ok);
  // A correction calculation ended, after any failure message.
  void correctionFinished(bool ok);
  // An import ended (ok: drawn in the drawing window), after any failure message.
  void importFinished(bool ok);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // The close box ends the program: the drawing window goes too, and a selection
  // waiting there is dropped without a run. Nothing is saved.
  void closeEvent(QCloseEvent* event) override;

 private:
  class Host;
  void BuildControls();
  // One control of the table, made with its caption; the settings boxes and the
  // arcs box are remembered.
  QWidget* CreateControl(const form::Control& c, QWidget* parent);
  void SetBusy(bool busy);
  void FailRun(ErrorKind kind, const QString& detail);
  void OnSelectionEnded(bool cancelled);
  void OnRunFinished();
  void OnImportFinished();

  std::filesystem::path settingsPath_;
  FormEnvironment& env_;
  std::unique_ptr<Host> host_;

  QGroupBox *frame1_, *frame2_, *frame3_;
  QRadioButton *option1_, *option2_, *option3_;
  ArcsCheckBox* check1_;
  SettingsEdit* text_[form::kTextCount];
  QPushButton *command2_, *button1_, *button3_, *button4_, *button5_;

  // The opt-in settings beyond the ten, which no control of this window shows.
  std::vector<std::pair<std::string, std::string>> extra_;
  DrawingWindow* drawing_ = nullptr;
  RunChannel channel_;
  QFutureWatcher<RunOutcome> watcher_;
  QFutureWatcher<ImportOutcome> importWatcher_;
  QString importName_;  // the file being imported, for the command line
  bool busy_ = false;
  bool awaitingSelection_ = false;
  std::shared_ptr<OutputDocument> output_;  // created at the click, run after the pick
  std::chrono::system_clock::time_point started_;
};

}  // namespace varnolt
