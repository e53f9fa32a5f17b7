#include "ui/converter_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHash>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include <optional>

#include "form/actions.h"
#include "form/controls.h"
#include "form/conversion_options.h"
#include "import/import.h"
#include "settings/conversion_options.h"
#include "ui/about_dialog.h"
#include "ui/drawing_view.h"
#include "ui/drawing_window.h"
#include "ui/form_environment.h"
#include "ui/form_font.h"
#include "ui/qt_text.h"

namespace varnolt {

namespace {

// The window is laid out in twips, 15 to a pixel.
int Px(int twips) { return form::ToPixels(twips, 96); }
QRect PxRect(const form::Rect& r) { return QRect(Px(r.left), Px(r.top), Px(r.width), Px(r.height)); }

QString Q(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

void SetColour(QWidget* w, QPalette::ColorRole role, const QColor& colour) {
  QPalette p = w->palette();
  p.setColor(role, colour);
  w->setPalette(p);
}

QString QtFilter(const std::vector<form::FileFilter>& filters) {
  // Qt's syntax: "name(pattern pattern)" entries joined by ";;"; an entry whose name
  // already ends with its patterns is used as it is.
  QStringList entries;
  for (const form::FileFilter& f : filters) {
    QString patterns = Q(f.pattern).replace(';', ' ');
    if (patterns == "*.*") patterns = "*";
    const QString name = Q(f.description);
    entries << (name.endsWith("(" + patterns + ")") ? name : name + "(" + patterns + ")");
  }
  return entries.join(";;");
}

}  // namespace

// The window's controls and the desktop, as the shared button sequences see them.
class ConverterForm::Host : public form::FormHost {
 public:
  explicit Host(ConverterForm& form) : form_(form) {}
  QWidget* messageParent = nullptr;

  Settings CurrentSettings() override { return form_.CurrentSettings(); }
  void SetText(int index, const std::string& text) override {
    form_.text_[index]->setText(ToQString(text));
  }
  std::optional<std::filesystem::path> SaveFileName(
      std::string_view title, const std::vector<form::FileFilter>& filters) override {
    const QString chosen = form_.env_.SaveFileName(&form_, Q(title), QtFilter(filters));
    if (chosen.isEmpty()) return std::nullopt;
    return ToPath(chosen);
  }
  std::optional<std::filesystem::path> OpenFileName(
      std::string_view title, const std::vector<form::FileFilter>& filters) override {
    const QString chosen = form_.env_.OpenFileName(&form_, Q(title), QtFilter(filters));
    if (chosen.isEmpty()) return std::nullopt;
    return ToPath(chosen);
  }
  void ShowMessage(MessageIcon icon, std::string_view title, std::string_view text,
                   std::string_view detail) override {
    form_.env_.ShowMessage(messageParent ? messageParent : &form_, icon, Q(title), Q(text),
                           Q(detail));
  }
  bool ShowTextFile(const std::filesystem::path& file) override { return OpenFile(file); }
  bool OpenFile(const std::filesystem::path& file) override {
    return form_.env_.OpenUrl(QUrl::fromLocalFile(FromPath(file)));
  }
  bool OpenUrl(std::string_view url) override { return form_.env_.OpenUrl(QUrl(Q(url))); }
  void ShowAbout() override { form_.env_.ShowAbout(&form_); }
  void Quit() override { form_.env_.Quit(); }

 private:
  ConverterForm& form_;
};

void ArcsCheckBox::nextCheckState() {
  const int state = checkState() == Qt::Checked ? 1 : checkState() == Qt::PartiallyChecked ? 2 : 0;
  setTristate(false);
  setCheckState(form::NextCheckState(state) == 1 ? Qt::Checked : Qt::Unchecked);
}

void SettingsEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  SetColour(this, QPalette::Base, FocusColour());
  selectAll();
  // A mouse click places the cursor after the focus arrives; select again once
  // the click has been handled.
  if (event->reason() == Qt::MouseFocusReason) {
    QTimer::singleShot(0, this, [this] {
      if (hasFocus()) selectAll();
    });
  }
}

void SettingsEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  SetColour(this, QPalette::Base, QGuiApplication::palette().color(QPalette::Active, QPalette::Base));
}

ConverterForm::ConverterForm(std::filesystem::path settingsPath, FormEnvironment& env,
                             QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      settingsPath_(std::move(settingsPath)),
      env_(env),
      host_(std::make_unique<Host>(*this)) {
  setObjectName(Q(form::kFormName));
  setWindowTitle(Q(form::kCaption));
  setFixedSize(Px(form::kClientWidth), Px(form::kClientHeight));
  setFont(FormFont(9));
  BuildControls();
  ApplySettings(LoadSettings(settingsPath_));

  connect(&channel_, &RunChannel::prompt, this, [this](const QString& text) {
    if (drawing_) drawing_->AppendPrompt(text);
  }, Qt::QueuedConnection);
  connect(&channel_, &RunChannel::warning, this, [this](const QString& text) {
    if (drawing_) drawing_->AppendPrompt(QStringLiteral("警告：") + text);
  }, Qt::QueuedConnection);
  connect(&channel_, &RunChannel::progress, this, [this](qint64 done, qint64 total) {
    if (drawing_) drawing_->SetProgress(done, total);
  }, Qt::QueuedConnection);
  connect(&watcher_, &QFutureWatcher<RunOutcome>::finished, this,
          &ConverterForm::OnRunFinished);
  connect(&importWatcher_, &QFutureWatcher<ImportOutcome>::finished, this,
          &ConverterForm::OnImportFinished);
}

ConverterForm::~ConverterForm() {
  // The workers report to this window's channel; let them finish first.
  watcher_.waitForFinished();
  importWatcher_.waitForFinished();
}

QWidget* ConverterForm::CreateControl(const form::Control& c, QWidget* parent) {
  const QString caption = Q(c.caption);
  switch (c.kind) {
    case form::Kind::kFrame:
      return new QGroupBox(caption, parent);
    case form::Kind::kOption:
      return new QRadioButton(caption, parent);
    case form::Kind::kCheck:
      return check1_ = new ArcsCheckBox(caption, parent);
    case form::Kind::kLabel: {
      auto* label = new QLabel(caption, parent);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
    case form::Kind::kText: {
      auto* edit = new SettingsEdit(parent);
      // Text boxes inside a red-titled frame set their text back to black.
      SetColour(edit, QPalette::Text,
                QGuiApplication::palette().color(QPalette::Active, QPalette::Text));
      text_[form::TextIndex(c.name)] = edit;
      return edit;
    }
    case form::Kind::kButton: {
      auto* button = new QPushButton(caption, parent);
      button->setAutoDefault(false);
      return button;
    }
  }
  return nullptr;
}

void ConverterForm::BuildControls() {
  QHash<QString, QWidget*> made;
  made.insert(Q(form::kFormName), this);
  for (const form::Control& c : form::kControls) {
    QWidget* w = CreateControl(c, made.value(Q(c.container)));
    w->setObjectName(Q(c.name));
    w->setGeometry(PxRect(c.twips));
    if (c.kind == form::Kind::kText || c.kind == form::Kind::kButton) {
      w->setFont(FormFont(form::PointsOf(c.font)));
    }
    if (!c.toolTip.empty()) w->setToolTip(Q(c.toolTip));
    if (c.colour != form::Colour::kSystem) {
      const form::Rgb rgb = form::ColourOf(c.colour);
      const QColor colour(rgb.r, rgb.g, rgb.b);
      SetColour(w, QPalette::WindowText, colour);
      // A frame's title is drawn in the Text role.
      if (c.kind == form::Kind::kFrame) SetColour(w, QPalette::Text, colour);
    }
    made.insert(w->objectName(), w);
  }
  option1_ = static_cast<QRadioButton*>(made.value("Option1"));
  option2_ = static_cast<QRadioButton*>(made.value("Option2"));
  option3_ = static_cast<QRadioButton*>(made.value("Option3"));
  option1_->setChecked(true);
  command2_ = static_cast<QPushButton*>(made.value("Command2"));
  button1_ = static_cast<QPushButton*>(made.value("xpcmdbutton1"));
  button3_ = static_cast<QPushButton*>(made.value("xpcmdbutton3"));
  button4_ = static_cast<QPushButton*>(made.value("xpcmdbutton4"));
  button5_ = static_cast<QPushButton*>(made.value("xpcmdbutton5"));

  // Tab order by the controls' tab indexes; the option pair is one stop.
  const auto order = form::TabOrder();
  for (size_t i = 1; i < order.size(); ++i) {
    setTabOrder(made.value(Q(order[i - 1])), made.value(Q(order[i])));
  }
  option1_->installEventFilter(this);
  option2_->installEventFilter(this);
  option3_->installEventFilter(this);
  connect(option3_, &QRadioButton::clicked, this, [this] { form::ChooseCgcs2000(*host_); });

  connect(command2_, &QPushButton::clicked, this, &ConverterForm::Convert);
  connect(button1_, &QPushButton::clicked, this, &ConverterForm::CalculateCorrection);
  connect(button4_, &QPushButton::clicked, this, &ConverterForm::ShowHelp);
  connect(button3_, &QPushButton::clicked, this, &ConverterForm::MoreSoftware);
  connect(button5_, &QPushButton::clicked, this, &ConverterForm::Exit);
}

bool ConverterForm::eventFilter(QObject* watched, QEvent* event) {
  // Tabbing into the datum options lands on the selected one, from either side.
  if (event->type() == QEvent::FocusIn &&
      (watched == option1_ || watched == option2_ || watched == option3_)) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    QRadioButton* self = static_cast<QRadioButton*>(watched);
    if ((reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) &&
        !self->isChecked()) {
      for (QRadioButton* other : {option1_, option2_, option3_}) {
        if (other == self || !other->isChecked()) continue;
        QTimer::singleShot(0, other, [other, reason] { other->setFocus(reason); });
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

void ConverterForm::closeEvent(QCloseEvent* event) {
  if (drawing_) {
    if (awaitingSelection_) {
      awaitingSelection_ = false;
      output_.reset();  // its temporary file goes with it
      SetBusy(false);
    }
    drawing_->close();
  }
  QWidget::closeEvent(event);
}

Settings ConverterForm::CurrentSettings() const {
  form::Values v;
  for (int i = 0; i < form::kTextCount; ++i) v.texts[static_cast<size_t>(i)] = ToUtf8(text_[i]->text());
  v.option1 = option1_->isChecked();
  v.option2 = option2_->isChecked();
  v.option3 = option3_->isChecked();
  v.check1 = check1_->checkState() == Qt::Checked            ? 1
             : check1_->checkState() == Qt::PartiallyChecked ? 2
                                                             : 0;
  v.extra = extra_;
  return form::SettingsOf(v);
}

void ConverterForm::ApplySettings(const Settings& s) {
  const form::Values v = form::ValuesOf(s);
  extra_ = v.extra;
  for (int i = 0; i < form::kTextCount; ++i) text_[i]->setText(ToQString(v.texts[static_cast<size_t>(i)]));
  // Neither option selected is possible, so the exclusivity is lifted meanwhile.
  for (QRadioButton* o : {option1_, option2_, option3_}) o->setAutoExclusive(false);
  option1_->setChecked(v.option1);
  option2_->setChecked(v.option2);
  option3_->setChecked(v.option3);
  for (QRadioButton* o : {option1_, option2_, option3_}) o->setAutoExclusive(true);
  // Greyed only when the file says so (2); a click leaves that state for good.
  check1_->setTristate(v.check1 == 2);
  check1_->setCheckState(v.check1 == 1   ? Qt::Checked
                         : v.check1 == 2 ? Qt::PartiallyChecked
                                         : Qt::Unchecked);
}

QPoint ConverterForm::CenterPosition(QSize screen, QSize window) {
  const auto [left, top] =
      form::CenterPosition(screen.width(), screen.height(), window.width(), window.height());
  return QPoint(left, top);
}

void ConverterForm::CenterForm() {
  QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!s) return;
  const QRect area = s->geometry();
  move(area.topLeft() + CenterPosition(area.size(), frameGeometry().size()));
}

QString ConverterForm::ManualPath() {
  std::filesystem::path sourceDocs;
#ifdef VARNOLT_SOURCE_DIR
  sourceDocs = ToPath(QStringLiteral(VARNOLT_SOURCE_DIR "/docs"));
#endif
  return FromPath(form::ManualPath(ToPath(QCoreApplication::applicationDirPath()), sourceDocs));
}

DrawingWindow* ConverterForm::EnsureDrawingWindow() {
  if (drawing_) return drawing_;
  drawing_ = new DrawingWindow(env_, this);
  drawing_->setWindowFlag(Qt::Window, true);
  connect(drawing_->view(), &DrawingView::selectionEnded, this,
          &ConverterForm::OnSelectionEnded);
  connect(drawing_, &DrawingWindow::optionsRequested, this, &ConverterForm::EditOptions);
  connect(drawing_, &DrawingWindow::importRequested, this, &ConverterForm::ImportGeoFile);
  // A line that cannot be used reads as nothing here; the run names it.
  std::vector<std::string> unusable;
  drawing_->SetInclude(ReadConversionOptions(CurrentSettings(), unusable).include);
  return drawing_;
}

void ConverterForm::EditOptions() {
  if (busy_ || !drawing_) return;
  host_->messageParent = drawing_;
  ConversionOptions options = form::OptionsToEdit(*host_, CurrentSettings());
  host_->messageParent = nullptr;
  if (!env_.EditOptions(drawing_, options)) return;
  // OK saves the choice in the settings file's opt-in lines at once, as the Windows
  // window does; the drawing shown is read again when what it holds changes.
  try {
    extra_ = form::SaveConversionOptions(settingsPath_, options).extra;
    drawing_->SetInclude(options.include);
  } catch (const Error& e) {
    env_.ShowMessage(drawing_, MessageIcon::kCritical, ErrorTitle(),
                     ToQString(FailureMessage(Task::kConversion, e.kind())), ToQString(e.what()));
  }
}

void ConverterForm::ImportGeoFile() {
  if (busy_ || !drawing_) return;
  const QString path = env_.OpenFileName(drawing_, ImportTitle(), ImportFilter());
  if (path.isEmpty()) return;
  // A long track reads on a worker, the progress bar filling as a conversion's does.
  SetBusy(true);
  drawing_->SetProgress(0, 0);
  importName_ = QFileInfo(path).fileName();
  importWatcher_.setFuture(StartImport(ToPath(path), CurrentSettings(), &channel_));
}

void ConverterForm::OnImportFinished() {
  ImportOutcome outcome = importWatcher_.result();
  SetBusy(false);
  if (!drawing_) {
    emit importFinished(false);
    return;
  }
  if (outcome.ok) {
    drawing_->SetProgress(1, 1);
    drawing_->AddImported(outcome.drawing, importName_);
  } else {
    env_.ShowMessage(drawing_, MessageIcon::kCritical, ErrorTitle(),
                     ToQString(FailureMessage(Task::kConversion, outcome.kind)),
                     ToQString(outcome.what));
  }
  emit importFinished(outcome.ok);
}

void ConverterForm::SetBusy(bool busy) {
  busy_ = busy;
  for (QPushButton* b : {command2_, button1_, button3_, button4_, button5_}) {
    b->setEnabled(!busy);
  }
  if (drawing_) drawing_->SetBusy(busy);
}

void ConverterForm::FailRun(ErrorKind kind, const QString& detail) {
  host_->messageParent = drawing_ && drawing_->isVisible() ? static_cast<QWidget*>(drawing_) : this;
  form::ShowConversionFailure(*host_, kind, ToUtf8(detail));
  host_->messageParent = nullptr;
}

void ConverterForm::Convert() {
  if (busy_) return;
  // The elapsed time the run reports counts from here: dialogs, opening the drawing
  // and picking included.
  started_ = std::chrono::system_clock::now();
  std::unique_ptr<OutputDocument> output = form::BeginConversion(*host_, settingsPath_);
  if (!output) {
    emit runFinished(false);
    return;
  }
  output_ = std::move(output);

  // The CAD host: the drawing window, started with a drawing the user opens, or
  // attached to as it is.
  DrawingWindow* host = EnsureDrawingWindow();
  if (!host->HasDrawing()) {
    const QString path = env_.OpenFileName(this, OpenDrawingTitle(), OpenDrawingFilter());
    if (path.isEmpty()) {
      output_.reset();
      FailRun(ErrorKind::kGeneral, QStringLiteral("no drawing was opened to select from"));
      emit runFinished(false);
      return;
    }
    try {
      host->LoadDrawing(path);
    } catch (const Error& e) {
      output_.reset();
      FailRun(e.kind(), ToQString(e.what()));
      emit runFinished(false);
      return;
    }
  }
  host->show();
  host->raise();
  host->activateWindow();

  SetBusy(true);
  host->SetProgress(0, 0);
  host->AppendPrompt(ToQString(std::string(kSelectPrompt)));
  awaitingSelection_ = true;
  host->view()->BeginSelection();
}

void ConverterForm::OnSelectionEnded(bool /*cancelled: the run reports the empty pick*/) {
  if (!awaitingSelection_) return;
  awaitingSelection_ = false;
  DrawingView* view = drawing_->view();
  watcher_.setFuture(StartRun(view->drawing(), view->picked(),
                              ToUtf8(QFileInfo(drawing_->drawingPath()).fileName()),
                              CurrentSettings(), std::move(output_), started_, &channel_));
}

void ConverterForm::OnRunFinished() {
  const RunOutcome outcome = watcher_.result();
  SetBusy(false);
  if (outcome.ok) {
    drawing_->SetProgress(1, 1);
  } else {
    FailRun(outcome.kind, ToQString(outcome.what));
  }
  emit runFinished(outcome.ok);
}

void ConverterForm::CalculateCorrection() {
  if (busy_) return;
  emit correctionFinished(form::CalculateCorrection(*host_, settingsPath_));
}

void ConverterForm::ShowHelp() { form::ShowHelp(*host_, ToPath(ManualPath())); }

void ConverterForm::MoreSoftware() { form::MoreSoftware(*host_); }

void ConverterForm::Exit() { host_->Quit(); }

}  // namespace varnolt
