#include "ui/converter_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include <cmath>
#include <exception>
#include <fstream>

#include "calc/correction.h"
#include "text/numtext.h"
#include "ui/about_dialog.h"
#include "ui/drawing_view.h"
#include "ui/drawing_window.h"
#include "ui/form_environment.h"
#include "ui/form_font.h"
#include "ui/qt_text.h"

namespace varnolt {

namespace {

// The window is laid out in twips, 15 to a pixel.
int Px(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }
QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(Px(left), Px(top), Px(width), Px(height));
}

const QColor kCaptionBlue(0, 0, 255);
const QColor kNotePurple(192, 0, 192);
const QColor kFrameRed(255, 0, 0);

void SetColour(QWidget* w, QPalette::ColorRole role, const QColor& colour) {
  QPalette p = w->palette();
  p.setColor(role, colour);
  w->setPalette(p);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry,
                  const QColor& colour) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setGeometry(geometry);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  SetColour(label, QPalette::WindowText, colour);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        QRect geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setGeometry(geometry);
  button->setFont(FormFont(9));
  button->setAutoDefault(false);
  return button;
}

QGroupBox* MakeFrame(QWidget* parent, const char* name, const QString& title, QRect geometry) {
  auto* frame = new QGroupBox(title, parent);
  frame->setObjectName(name);
  frame->setGeometry(geometry);
  // The frame's title is drawn in the Text role; the text boxes inside set theirs
  // back to black.
  SetColour(frame, QPalette::Text, kFrameRed);
  SetColour(frame, QPalette::WindowText, kFrameRed);
  return frame;
}

}  // namespace

void ArcsCheckBox::nextCheckState() {
  const bool check = checkState() != Qt::Checked;
  setTristate(false);
  setCheckState(check ? Qt::Checked : Qt::Unchecked);
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
      env_(env) {
  setObjectName("ConverterForm");
  setWindowTitle(QStringLiteral("Varnolt程序 V1.1"));
  setFixedSize(Px(7680), Px(4095));
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
}

ConverterForm::~ConverterForm() {
  // The worker reports to this window's channel; let it finish first.
  watcher_.waitForFinished();
}

void ConverterForm::BuildControls() {
  const QColor black = QGuiApplication::palette().color(QPalette::Active, QPalette::Text);
  frame1_ = MakeFrame(this, "Frame1", QStringLiteral("坐标系及中央子午线"),
                      TwipsRect(120, 120, 3495, 1695));
  frame2_ = MakeFrame(this, "Frame2", QStringLiteral("经纬度修正"),
                      TwipsRect(120, 1920, 3495, 2055));
  frame3_ = MakeFrame(this, "Frame3", QStringLiteral("参数设置"),
                      TwipsRect(3720, 120, 3855, 2655));

  option1_ = new QRadioButton(QStringLiteral("北京54"), frame1_);
  option1_->setObjectName("Option1");
  option1_->setGeometry(TwipsRect(480, 240, 975, 495));
  option2_ = new QRadioButton(QStringLiteral("西安80"), frame1_);
  option2_->setObjectName("Option2");
  option2_->setGeometry(TwipsRect(2040, 240, 1095, 495));
  for (QRadioButton* b : {option1_, option2_}) SetColour(b, QPalette::WindowText, kCaptionBlue);
  option1_->setChecked(true);

  check1_ = new ArcsCheckBox(QStringLiteral("多段线存在圆弧部分"), frame3_);
  check1_->setObjectName("Check1");
  check1_->setGeometry(TwipsRect(960, 240, 2175, 375));
  SetColour(check1_, QPalette::WindowText, kCaptionBlue);

  struct EditSpec {
    const char* name;
    QWidget* frame;
    QRect geometry;
  };
  const EditSpec edits[7] = {
      {"Text1", frame3_, TwipsRect(2640, 1200, 1020, 330)},
      {"Text2", frame1_, TwipsRect(1920, 840, 1020, 330)},
      {"Text3", frame3_, TwipsRect(2640, 1680, 1020, 330)},
      {"Text4", frame3_, TwipsRect(2640, 2160, 1020, 330)},
      {"Text5", frame2_, TwipsRect(2160, 480, 1140, 330)},
      {"Text6", frame2_, TwipsRect(2160, 960, 1140, 330)},
      {"Text7", frame3_, TwipsRect(2640, 720, 1020, 330)},
  };
  for (int i = 0; i < 7; ++i) {
    auto* edit = new SettingsEdit(edits[i].frame);
    edit->setObjectName(edits[i].name);
    edit->setGeometry(edits[i].geometry);
    edit->setFont(FormFont(10.5));
    SetColour(edit, QPalette::Text, black);
    text_[i] = edit;
  }
  text_[1]->setToolTip(QStringLiteral("用°′″表示，如：140.022866为140°02′28.66″"));
  text_[5]->setToolTip(QStringLiteral("用十进制分表示"));

  MakeLabel(frame1_, "Label4", QStringLiteral("中央子午线"), TwipsRect(480, 900, 1215, 255),
            kCaptionBlue);
  MakeLabel(frame1_, "Label8", QStringLiteral("注：单位为小数【度分秒】"),
            TwipsRect(360, 1320, 2535, 255), kNotePurple);
  MakeLabel(frame2_, "Label5", QStringLiteral("转换到世界84纬度修正"),
            TwipsRect(240, 550, 1815, 255), kCaptionBlue);
  MakeLabel(frame2_, "Label6", QStringLiteral("转换到世界84经度修正"),
            TwipsRect(120, 1000, 1935, 255), kCaptionBlue);
  MakeLabel(frame2_, "Label7", QStringLiteral("注：单位为【分】"),
            TwipsRect(120, 1500, 1575, 255), kNotePurple);
  MakeLabel(frame3_, "Label9", QStringLiteral("多段线中圆弧最小分段长度"),
            TwipsRect(240, 795, 2175, 375), kCaptionBlue);
  MakeLabel(frame3_, "Label1", QStringLiteral("直线最小分段长度"),
            TwipsRect(480, 1263, 1935, 375), kCaptionBlue);
  MakeLabel(frame3_, "Label2", QStringLiteral("圆及圆弧分段个数"),
            TwipsRect(840, 1731, 1575, 375), kCaptionBlue);
  MakeLabel(frame3_, "Label3", QStringLiteral("多段线显示线宽"),
            TwipsRect(840, 2200, 1575, 375), kCaptionBlue);

  button1_ = MakeButton(frame2_, "xpcmdbutton1", QStringLiteral("  修正计算"),
                        TwipsRect(2040, 1440, 1215, 375));
  command2_ = MakeButton(this, "Command2", QStringLiteral("  转  换"),
                         TwipsRect(4320, 2950, 1215, 375));
  button4_ = MakeButton(this, "xpcmdbutton4", QStringLiteral("  帮  助"),
                        TwipsRect(6000, 2950, 1215, 375));
  button3_ = MakeButton(this, "xpcmdbutton3", QStringLiteral("  更多软件"),
                        TwipsRect(4320, 3550, 1215, 375));
  button5_ = MakeButton(this, "xpcmdbutton5", QStringLiteral("  退  出"),
                        TwipsRect(6000, 3550, 1215, 375));

  // Tab order by the controls' tab indexes; the option pair is one stop.
  QWidget* order[] = {option1_, option2_, text_[1], text_[4], text_[5], text_[6],
                      text_[0], text_[2], text_[3], check1_,  command2_, button4_,
                      button3_, button5_, button1_};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
  option1_->installEventFilter(this);
  option2_->installEventFilter(this);

  connect(command2_, &QPushButton::clicked, this, &ConverterForm::Convert);
  connect(button1_, &QPushButton::clicked, this, &ConverterForm::CalculateCorrection);
  connect(button4_, &QPushButton::clicked, this, &ConverterForm::ShowHelp);
  connect(button3_, &QPushButton::clicked, this, &ConverterForm::MoreSoftware);
  connect(button5_, &QPushButton::clicked, this, &ConverterForm::Exit);
}

bool ConverterForm::eventFilter(QObject* watched, QEvent* event) {
  // Tabbing into the option pair lands on the selected option, from either side.
  if (event->type() == QEvent::FocusIn && (watched == option1_ || watched == option2_)) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    QRadioButton* self = static_cast<QRadioButton*>(watched);
    QRadioButton* other = self == option1_ ? option2_ : option1_;
    if ((reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) &&
        !self->isChecked() && other->isChecked()) {
      QTimer::singleShot(0, other, [other, reason] { other->setFocus(reason); });
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
  Settings s;
  s.Text1 = ToUtf8(text_[0]->text());
  s.Text2 = ToUtf8(text_[1]->text());
  s.Text3 = ToUtf8(text_[2]->text());
  s.Text4 = ToUtf8(text_[3]->text());
  s.Text5 = ToUtf8(text_[4]->text());
  s.Text6 = ToUtf8(text_[5]->text());
  s.Text7 = ToUtf8(text_[6]->text());
  s.Option1 = option1_->isChecked();
  s.Option2 = option2_->isChecked();
  switch (check1_->checkState()) {
    case Qt::Unchecked:
      s.Check1 = 0;
      break;
    case Qt::Checked:
      s.Check1 = 1;
      break;
    case Qt::PartiallyChecked:
      s.Check1 = 2;
      break;
  }
  return s;
}

void ConverterForm::ApplySettings(const Settings& s) {
  const std::string* texts[7] = {&s.Text1, &s.Text2, &s.Text3, &s.Text4,
                                 &s.Text5, &s.Text6, &s.Text7};
  for (int i = 0; i < 7; ++i) text_[i]->setText(ToQString(*texts[i]));
  // Set one after the other as the loader does: both selected ends with Option2,
  // and neither selected is possible, so the exclusivity is lifted meanwhile.
  option1_->setAutoExclusive(false);
  option2_->setAutoExclusive(false);
  option1_->setChecked(s.Option1);
  option2_->setChecked(s.Option2);
  if (s.Option1 && s.Option2) option1_->setChecked(false);
  option1_->setAutoExclusive(true);
  option2_->setAutoExclusive(true);
  // Greyed only when the file says so (2); a click leaves that state for good.
  check1_->setTristate(s.Check1 == 2);
  check1_->setCheckState(s.Check1 == 1   ? Qt::Checked
                         : s.Check1 == 2 ? Qt::PartiallyChecked
                                         : Qt::Unchecked);
}

QPoint ConverterForm::CenterPosition(QSize screen, QSize window) {
  const float left = (static_cast<float>(screen.width()) - static_cast<float>(window.width())) / 2.0f;
  const float top = (static_cast<float>(screen.height()) - static_cast<float>(window.height())) / 3.0f;
  return QPoint(static_cast<int>(std::lround(left)), static_cast<int>(std::lround(top)));
}

void ConverterForm::CenterForm() {
  QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!s) return;
  const QRect area = s->geometry();
  move(area.topLeft() + CenterPosition(area.size(), frameGeometry().size()));
}

QString ConverterForm::ManualPath() {
  const QString app = QCoreApplication::applicationDirPath();
  QStringList candidates = {app + "/manual.html", app + "/../share/varnolt/manual.html"};
#ifdef VARNOLT_SOURCE_DIR
  candidates << QStringLiteral(VARNOLT_SOURCE_DIR) + "/docs/manual.html";
#endif
  for (const QString& path : candidates) {
    if (QFileInfo(path).isFile()) return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
  }
  return QString();
}

DrawingWindow* ConverterForm::EnsureDrawingWindow() {
  if (drawing_) return drawing_;
  drawing_ = new DrawingWindow(env_, this);
  drawing_->setWindowFlag(Qt::Window, true);
  connect(drawing_->view(), &DrawingView::selectionEnded, this,
          &ConverterForm::OnSelectionEnded);
  return drawing_;
}

void ConverterForm::SetBusy(bool busy) {
  busy_ = busy;
  for (QPushButton* b : {command2_, button1_, button3_, button4_, button5_}) {
    b->setEnabled(!busy);
  }
  if (drawing_) drawing_->SetBusy(busy);
}

void ConverterForm::FailRun(ErrorKind kind, const QString& detail) {
  env_.ShowMessage(drawing_ && drawing_->isVisible() ? static_cast<QWidget*>(drawing_) : this,
                   MessageIcon::kCritical, ErrorTitle(),
                   ToQString(FailureMessage(Task::kConversion, kind)), detail);
}

void ConverterForm::Convert() {
  if (busy_) return;
  // The elapsed time the run reports counts from here: dialogs, opening the drawing
  // and picking included.
  started_ = std::chrono::system_clock::now();
  try {
    SaveSettings(settingsPath_, CurrentSettings());
  } catch (const Error& e) {
    FailRun(e.kind(), ToQString(e.what()));
    emit runFinished(false);
    return;
  }
  const QString output = env_.SaveFileName(this, SaveDialogTitle(), SaveDialogFilter());
  if (output.isEmpty()) {
    FailRun(ErrorKind::kFileAccess, QStringLiteral("no output file was chosen"));
    emit runFinished(false);
    return;
  }
  // The document's temporary file is created now: a path that cannot be written
  // fails before the user opens a drawing and picks.
  try {
    output_ = std::make_shared<OutputDocument>(ToPath(output));
  } catch (const Error& e) {
    FailRun(e.kind(), ToQString(e.what()));
    emit runFinished(false);
    return;
  }

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
  auto fail = [this](ErrorKind kind, const QString& detail) {
    env_.ShowMessage(this, MessageIcon::kCritical, ErrorTitle(),
                     ToQString(FailureMessage(Task::kCorrection, kind)), detail);
    emit correctionFinished(false);
  };
  try {
    SaveSettings(settingsPath_, CurrentSettings());
  } catch (const Error& e) {
    // Only opening the control points or the table counts as a file access here;
    // a settings file that cannot be written is "anything else".
    fail(ErrorKind::kGeneral, ToQString(e.what()));
    return;
  }
  const QString chosen = env_.OpenFileName(this, OpenDialogTitle(), OpenDialogFilter());
  if (chosen.isEmpty()) {
    fail(ErrorKind::kFileAccess, QStringLiteral("no control-point file was chosen"));
    return;
  }
  const std::filesystem::path input = ToPath(chosen);
  if (!std::ifstream(input, std::ios::binary)) {
    fail(ErrorKind::kFileAccess, QStringLiteral("cannot open '%1'").arg(chosen));
    return;
  }
  // The file is open: the corrections are emptied so that the projection adds
  // none, and stay empty if the calculation fails from here on.
  text_[4]->clear();
  text_[5]->clear();
  CorrectionResult result;
  try {
    result = RunCorrection(CurrentSettings(), input);
  } catch (const Error& e) {
    fail(e.kind(), ToQString(e.what()));
    return;
  } catch (const std::exception& e) {
    fail(ErrorKind::kGeneral, ToQString(e.what()));
    return;
  }
  text_[4]->setText(ToQString(FixedText(result.latAverage, 5)));
  text_[5]->setText(ToQString(FixedText(result.lonAverage, 5)));
  // The corrections stand; only showing the table failed, so say where it is.
  const QString table = FromPath(ResultPath(input));
  if (!env_.OpenUrl(QUrl::fromLocalFile(table))) {
    env_.ShowMessage(this, MessageIcon::kWarning, QStringLiteral("修正计算"),
                     QStringLiteral("无法打开计算结果：") + table,
                     QStringLiteral("No text viewer could be started for the result table. "
                                    "The corrections were put into the window; the table "
                                    "is in the file named above."));
  }
  emit correctionFinished(true);
}

void ConverterForm::ShowHelp() {
  const QString manual = ManualPath();
  if (manual.isEmpty()) {
    env_.ShowMessage(this, MessageIcon::kWarning, QStringLiteral("帮助"),
                     QStringLiteral("找不到帮助文件 manual.html。"),
                     QStringLiteral("Looked beside the program, in ../share/varnolt and "
                                    "in the source tree's docs/."));
    return;
  }
  env_.OpenUrl(QUrl::fromLocalFile(manual));
}

void ConverterForm::MoreSoftware() {
  env_.OpenUrl(QUrl(QString::fromLatin1(kHomePage)));
  env_.ShowAbout(this);
}

void ConverterForm::Exit() { env_.Quit(); }

}  // namespace varnolt
