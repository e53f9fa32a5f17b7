// The main window and its drawing window, driven as a user would: the layout and
// tab order against the window's design table, the settings boxes, the settings
// file, a conversion with picks made by mouse on the drawing, the correction
// calculator and every failure message. Dialogs and message boxes are scripted.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cad/dxf.h"
#include "run/run.h"
#include "ui/about_dialog.h"
#include "ui/converter_form.h"
#include "ui/drawing_view.h"
#include "ui/drawing_window.h"
#include "ui/form_environment.h"
#include "ui/form_font.h"
#include "ui/options_dialog.h"
#include "ui/qt_text.h"

using namespace varnolt;

namespace {

// Answers the dialogs from queues (an empty queue cancels) and records everything
// else the windows ask of the desktop, in order.
class ScriptedEnvironment : public FormEnvironment {
 public:
  struct Message {
    MessageIcon icon;
    QString title, text, detail;
  };

  QStringList saveAnswers, openAnswers;
  QStringList saveTitles, saveFilters, openTitles, openFilters;
  QList<Message> messages;
  QList<QUrl> urls;
  QStringList log;  // "url", "about", "quit" in the order they came
  int quits = 0;
  int saveDialogMs = 0;    // how long the user takes in the save dialog
  bool urlsOpen = true;    // false: the desktop has nothing to open a URL with

  QString SaveFileName(QWidget*, const QString& title, const QString& filter) override {
    saveTitles << title;
    saveFilters << filter;
    QThread::msleep(static_cast<unsigned long>(saveDialogMs));
    return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
  }
  QString OpenFileName(QWidget*, const QString& title, const QString& filter) override {
    openTitles << title;
    openFilters << filter;
    return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
  }
  void ShowMessage(QWidget*, MessageIcon icon, const QString& title, const QString& text,
                   const QString& detail) override {
    messages.append({icon, title, text, detail});
  }
  bool OpenUrl(const QUrl& url) override {
    urls << url;
    log << "url";
    return urlsOpen;
  }
  void ShowAbout(QWidget*) override { log << "about"; }
  void Quit() override {
    ++quits;
    log << "quit";
  }
};

QString SourceDir() { return QString::fromUtf8(qgetenv("VARNOLT_SOURCE_DIR")); }
QString SiteDxf() { return SourceDir() + "/examples/site.dxf"; }

std::string ReadBytes(const QString& path) {
  std::ifstream in(ToPath(path), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteBytes(const QString& path, const std::string& bytes) {
  std::ofstream out(ToPath(path), std::ios::binary);
  out << bytes;
}

template <typename T>
T* Find(QWidget& root, const char* name) {
  T* w = root.findChild<T*>(QString::fromLatin1(name));
  if (!w) qFatal("no control %s", name);
  return w;
}

int Px(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

// The site plan's origin (see examples/make_site.py).
constexpr double kE0 = 512300.0;
constexpr double kN0 = 3380400.0;

QPoint Screen(DrawingView* view, double dx, double dy) {
  return view->WorldToScreen(kE0 + dx, kN0 + dy).toPoint();
}

}  // namespace

class FormTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  QString settingsPath() const { return dir_.filePath("Varnolt.ini"); }
  void RemoveSettings() { QFile::remove(settingsPath()); }

 private slots:
  void init() { RemoveSettings(); }

  void windowFrameAndPlacement() {
    ScriptedEnvironment env;
    ConverterForm form(ToPath(settingsPath()), env);
    QCOMPARE(form.windowTitle(), QStringLiteral("Varnolt程序 V1.1"));
    QCOMPARE(form.minimumSize(), QSize(512, 273));
    QCOMPARE(form.maximumSize(), QSize(512, 273));
    QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    // 15360 x 11520 twips screen, 7800 x 4500 twips window: left 3780, top 2340.
    QCOMPARE(ConverterForm::CenterPosition(QSize(1024, 768), QSize(520, 300)),
             QPoint(252, 156));
    // A window larger than the screen goes off its top-left edge the same way.
    QCOMPARE(ConverterForm::CenterPosition(QSize(400, 300), QSize(520, 330)),
             QPoint(-60, -10));
  }

  void layoutFollowsTheDesignTable_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    auto row = [](const char* name, const char* container, const QString& caption,
                  int l, int t, int w, int h) {
      QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(container)
                          << caption << QRect(l, t, w, h);
    };
    row("Frame1", "ConverterForm", QStringLiteral("坐标系及中央子午线"), 120, 120, 3495, 1695);
    row("Option1", "Frame1", QStringLiteral("北京54"), 180, 240, 960, 495);
    row("Option2", "Frame1", QStringLiteral("西安80"), 1200, 240, 1020, 495);
    row("Option3", "Frame1", QStringLiteral("2000国家"), 2250, 240, 1200, 495);
    row("Label4", "Frame1", QStringLiteral("中央子午线"), 480, 900, 1215, 255);
    row("Text2", "Frame1", QStringLiteral("115"), 1920, 840, 1020, 330);
    row("Label8", "Frame1", QStringLiteral("注：单位为小数【度分秒】"), 360, 1320, 2535, 255);
    row("Frame2", "ConverterForm", QStringLiteral("经纬度修正"), 120, 1920, 3495, 2055);
    row("Label5", "Frame2", QStringLiteral("转换到世界84纬度修正"), 240, 550, 1815, 255);
    row("Text5", "Frame2", QStringLiteral("-0.0335"), 2160, 480, 1140, 330);
    row("Label6", "Frame2", QStringLiteral("转换到世界84经度修正"), 120, 1000, 1935, 255);
    row("Text6", "Frame2", QStringLiteral("0.039"), 2160, 960, 1140, 330);
    row("xpcmdbutton1", "Frame2", QStringLiteral("  修正计算"), 2040, 1440, 1215, 375);
    row("Label7", "Frame2", QStringLiteral("注：单位为【分】"), 120, 1500, 1575, 255);
    row("Frame3", "ConverterForm", QStringLiteral("参数设置"), 3720, 120, 3855, 2655);
    row("Check1", "Frame3", QStringLiteral("多段线存在圆弧部分"), 960, 240, 2175, 375);
    row("Label9", "Frame3", QStringLiteral("多段线中圆弧最小分段长度"), 240, 795, 2175, 375);
    row("Text7", "Frame3", QStringLiteral("10"), 2640, 720, 1020, 330);
    row("Label1", "Frame3", QStringLiteral("直线最小分段长度"), 480, 1263, 1935, 375);
    row("Text1", "Frame3", QStringLiteral("10"), 2640, 1200, 1020, 330);
    row("Label2", "Frame3", QStringLiteral("圆及圆弧分段个数"), 840, 1731, 1575, 375);
    row("Text3", "Frame3", QStringLiteral("100"), 2640, 1680, 1020, 330);
    row("Label3", "Frame3", QStringLiteral("多段线显示线宽"), 840, 2200, 1575, 375);
    row("Text4", "Frame3", QStringLiteral("6"), 2640, 2160, 1020, 330);
    row("Command2", "ConverterForm", QStringLiteral("  转  换"), 4320, 2950, 1215, 375);
    row("xpcmdbutton4", "ConverterForm", QStringLiteral("  帮  助"), 6000, 2950, 1215, 375);
    row("xpcmdbutton3", "ConverterForm", QStringLiteral("  更多软件"), 4320, 3550, 1215, 375);
    row("xpcmdbutton5", "ConverterForm", QStringLiteral("  退  出"), 6000, 3550, 1215, 375);
  }

  void layoutFollowsTheDesignTable() {
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    ScriptedEnvironment env;  // no settings file: the design values show
    ConverterForm form(ToPath(settingsPath()), env);
    QWidget* w = form.findChild<QWidget*>(name);
    QVERIFY(w);
    QCOMPARE(w->parentWidget()->objectName(), container);
    QCOMPARE(w->geometry(), QRect(Px(twips.x()), Px(twips.y()), Px(twips.width()),
                                  Px(twips.height())));
    QString shown;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) shown = b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) shown = l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w)) shown = e->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) shown = g->title();
    QCOMPARE(shown, caption);
  }

  void looksAndTips() {
    ScriptedEnvironment env;
    ConverterForm form(ToPath(settingsPath()), env);
    const QString family = QFontDatabase::families().contains("SimSun")
                               ? QStringLiteral("SimSun")
                               : QStringLiteral("WenQuanYi Micro Hei");
    QCOMPARE(FormFontFamily(), family);
    for (const char* name : {"Text1", "Text2", "Text3", "Text4", "Text5", "Text6", "Text7"}) {
      QLineEdit* e = Find<QLineEdit>(form, name);
      QCOMPARE(e->font().family(), family);
      QCOMPARE(e->font().pointSizeF(), 10.5);
      QCOMPARE(e->palette().color(QPalette::Text),
               QGuiApplication::palette().color(QPalette::Text));
    }
    for (const char* name :
         {"Command2", "xpcmdbutton1", "xpcmdbutton3", "xpcmdbutton4", "xpcmdbutton5"}) {
      QCOMPARE(Find<QPushButton>(form, name)->font().pointSizeF(), 9.0);
      QCOMPARE(Find<QPushButton>(form, name)->font().family(), family);
    }
    const QColor blue(0, 0, 255), purple(192, 0, 192), red(255, 0, 0);
    for (const char* name : {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6",
                             "Label9", "Option1", "Option2", "Option3", "Check1"}) {
      QCOMPARE(Find<QWidget>(form, name)->palette().color(QPalette::WindowText), blue);
    }
    QCOMPARE(Find<QLabel>(form, "Label7")->palette().color(QPalette::WindowText), purple);
    QCOMPARE(Find<QLabel>(form, "Label8")->palette().color(QPalette::WindowText), purple);
    for (const char* name : {"Frame1", "Frame2", "Frame3"}) {
      // The frame title is painted with the Text role.
      QCOMPARE(Find<QGroupBox>(form, name)->palette().color(QPalette::Text), red);
    }
    QCOMPARE(Find<QLineEdit>(form, "Text2")->toolTip(),
             QStringLiteral("用°′″表示，如：140.022866为140°02′28.66″"));
    QCOMPARE(Find<QLineEdit>(form, "Text6")->toolTip(), QStringLiteral("用十进制分表示"));
    for (const char* name : {"Text1", "Text3", "Text4", "Text5", "Text7", "Option1", "Check1"}) {
      QVERIFY(Find<QWidget>(form, name)->toolTip().isEmpty());
    }
  }

  void tabOrderFromTheSelectedOption() {
    ScriptedEnvironment env;
    ConverterForm form(ToPath(settingsPath()), env);
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const QStringList expected = {"Text2",    "Text5",        "Text6",        "Text7",
                                  "Text1",    "Text3",        "Text4",        "Check1",
                                  "Command2", "xpcmdbutton4", "xpcmdbutton3", "xpcmdbutton5",
                                  "xpcmdbutton1", "Option1"};
    Find<QRadioButton>(form, "Option1")->setFocus(Qt::TabFocusReason);
    QStringList visited;
    for (int i = 0; i < expected.size(); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, expected);

    // With the other datum selected, the option pair is entered at Option2.
    Find<QRadioButton>(form, "Option2")->setChecked(true);
    Find<QPushButton>(form, "xpcmdbutton1")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTRY_COMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Option2"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Text2"));
    // The third datum likewise.
    Find<QRadioButton>(form, "Option3")->setChecked(true);
    Find<QPushButton>(form, "xpcmdbutton1")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTRY_COMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Option3"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Text2"));
    // And backwards with the first datum selected.
    Find<QRadioButton>(form, "Option1")->setChecked(true);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QTRY_COMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Option1"));
  }

  void settingsBoxSelectsAllAndTurnsGreen() {
    ScriptedEnvironment env;
    ConverterForm form(ToPath(settingsPath()), env);
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QLineEdit* text5 = Find<QLineEdit>(form, "Text5");
    const QColor normal = text5->palette().color(QPalette::Base);
    QCOMPARE(normal, QGuiApplication::palette().color(QPalette::Active, QPalette::Base));
    Find<QLineEdit>(form, "Text2")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), text5);
    QCOMPARE(text5->selectedText(), QStringLiteral("-0.0335"));
    QCOMPARE(text5->selectionStart(), 0);
    QCOMPARE(text5->palette().color(QPalette::Base), QColor(192, 255, 192));
    QTest::keyClick(text5, Qt::Key_Tab);
    QCOMPARE(text5->palette().color(QPalette::Base), normal);
    QCOMPARE(text5->text(), QStringLiteral("-0.0335"));

    // A click selects the whole text too, once the click has been handled.
    QLineEdit* text4 = Find<QLineEdit>(form, "Text4");
    text4->setText("6.5");
    QTest::mouseClick(text4, Qt::LeftButton, Qt::NoModifier, QPoint(3, 5));
    QTRY_COMPARE(text4->selectedText(), QStringLiteral("6.5"));

    // Anything typed is kept as typed: nothing is checked on entry or on leaving.
    QLineEdit* text1 = Find<QLineEdit>(form, "Text1");
    text1->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(text1, "1x5 m");
    QTest::keyClick(text1, Qt::Key_Tab);
    QCOMPARE(text1->text(), QStringLiteral("1x5 m"));
    QVERIFY(env.messages.isEmpty());
  }

  void settingsLoadedAtStartSavedByRunsNotOnClose() {
    // A file that differs from the defaults everywhere.
    const std::string file = "12\r\n114.3\r\n50\r\n3\r\n-0.01\r\n\r\n7\r\n0\r\n-1\r\n1\r\n";
    WriteBytes(settingsPath(), file);
    ScriptedEnvironment env;
    {
      ConverterForm form(ToPath(settingsPath()), env);
      Settings expected;
      expected.Text1 = "12";
      expected.Text2 = "114.3";
      expected.Text3 = "50";
      expected.Text4 = "3";
      expected.Text5 = "-0.01";
      expected.Text6 = "";
      expected.Text7 = "7";
      expected.Option1 = false;
      expected.Option2 = true;
      expected.Check1 = 1;
      QVERIFY(form.CurrentSettings() == expected);
      QVERIFY(Find<QRadioButton>(form, "Option2")->isChecked());
      QCOMPARE(Find<QCheckBox>(form, "Check1")->checkState(), Qt::Checked);

      // Changed, then closed without a run: the file stays as it was.
      Find<QLineEdit>(form, "Text1")->setText("99");
      form.show();
      form.close();
    }
    QCOMPARE(ReadBytes(settingsPath()), file);

    // A Convert saves first, even when its save dialog is then cancelled.
    {
      ConverterForm form(ToPath(settingsPath()), env);
      Find<QLineEdit>(form, "Text1")->setText("abc");
      Find<QRadioButton>(form, "Option1")->setChecked(true);
      Find<QCheckBox>(form, "Check1")->setCheckState(Qt::Unchecked);
      form.Convert();
      QCOMPARE(ReadBytes(settingsPath()),
               std::string("abc\r\n114.3\r\n50\r\n3\r\n-0.01\r\n\r\n7\r\n-1\r\n0\r\n0\r\n"));
    }

    // Both options "-1": the second wins. Nine lines: every default.
    WriteBytes(settingsPath(), "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n-1\r\n-1\r\n0\r\n");
    {
      ConverterForm form(ToPath(settingsPath()), env);
      QVERIFY(!Find<QRadioButton>(form, "Option1")->isChecked());
      QVERIFY(Find<QRadioButton>(form, "Option2")->isChecked());
    }
    WriteBytes(settingsPath(), "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n0\r\n0\r\n");
    {
      ConverterForm form(ToPath(settingsPath()), env);
      QVERIFY(form.CurrentSettings() == Settings());
    }
  }

  void convertPicksByWindowCrossingAndShiftThenWritesTheSameDocument() {
    QTemporaryDir out;
    ScriptedEnvironment env;
    ConverterForm form(ToPath(settingsPath()), env);
    Find<QLineEdit>(form, "Text2")->setText("114.3");
    const QString kml = out.filePath("gui/site.kml");
    QDir().mkpath(out.filePath("gui"));
    env.saveAnswers << kml;
    env.openAnswers << SiteDxf();
    form.show();
    DrawingWindow* host = form.EnsureDrawingWindow();
    host->resize(1000, 800);

    QSignalSpy finished(&form, &ConverterForm::runFinished);
    form.Convert();
    QCOMPARE(env.saveTitles, QStringList{QStringLiteral("保存kml文件")});
    QCOMPARE(env.saveFilters, QStringList{QStringLiteral("kml文件(*.kml)")});
    QCOMPARE(env.openTitles.size(), 1);  // the drawing to start the host with
    QVERIFY(QTest::qWaitForWindowExposed(host));
    DrawingView* view = host->view();
    QVERIFY(view->selecting());
    QVERIFY(form.runInProgress());
    QVERIFY(!Find<QPushButton>(form, "Command2")->isEnabled());
    QVERIFY(!Find<QPushButton>(form, "xpcmdbutton1")->isEnabled());
    QApplication::processEvents();

    // Window, left to right, around the building and its label.
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, Screen(view, 15, 50));
    QTest::mouseMove(view, Screen(view, 40, 30));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, Screen(view, 65, 15));
    QCOMPARE(view->picked().size(), size_t{2});
    // Crossing window, right to left, over the road and both kerbs.
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, Screen(view, 105, 10));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, Screen(view, 100, -10));
    QCOMPARE(view->picked().size(), size_t{5});
    // Shift and a pick on the northern kerb takes it out again.
    QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, Screen(view, 50, 8));
    QCOMPARE(view->picked().size(), size_t{4});
    QTest::keyClick(view, Qt::Key_Return);
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.first().first().toBool(), true);
    QVERIFY(env.messages.isEmpty());
    QVERIFY(!form.runInProgress());
    QVERIFY(Find<QPushButton>(form, "Command2")->isEnabled());
    QCOMPARE(host->progressBar()->value(), 100);

    // The same entities, in the same order, through the core directly.
    const DxfDrawing drawing = ReadDxfFile(ToPath(SiteDxf()));
    auto find = [&](auto predicate) {
      for (const Entity& e : drawing.entities) {
        if (predicate(e)) return e;
      }
      qFatal("entity not in the sample drawing");
    };
    const Entity building = find([](const Entity& e) {
      return e.As<LwPolyline>() != nullptr && e.As<LwPolyline>()->closed;
    });
    const Entity label = find([](const Entity& e) { return TextOf(e) == "1号楼"; });
    const Entity road = find([](const Entity& e) {
      return e.As<LwPolyline>() != nullptr && !e.As<LwPolyline>()->closed;
    });
    const Entity southKerb = find([](const Entity& e) {
      return e.As<varnolt::Line>() != nullptr && e.As<varnolt::Line>()->start[1] == kN0 - 8;
    });
    MemorySource expectedSource(drawing.layers, {building, label, road, southKerb});
    struct Quiet : RunReporter {
      void Prompt(const std::string&) override {}
    } quiet;
    const QString reference = out.filePath("core/site.kml");
    QDir().mkpath(out.filePath("core"));
    RunConversion(expectedSource, form.CurrentSettings(), ToPath(reference), quiet);
    const std::string produced = ReadBytes(kml);
    QVERIFY(!produced.empty());
    QVERIFY(produced == ReadBytes(reference));
    // Pick order decided which polyline is pline1.
    const size_t pline1 = produced.find("<name>pline1</name>");
    QVERIFY(pline1 != std::string::npos);

    // Every prompt of the run in the pane, the select prompt once.
    const QStringList lines = host->commandPane()->toPlainText().split('\n');
    QCOMPARE(lines.value(0), ToQString(std::string(kSelectPrompt)));
    QCOMPARE(lines.value(1), ToQString(std::string(kProcessingPrompt)));
    QCOMPARE(lines.count(ToQString(std::string(kSelectPrompt))), 1);
    QVERIFY(lines.contains(QStringLiteral("====== 正在转换多段线  第 2 个 / 共 2 个 ======")));
    QVERIFY(lines.contains(QStringLiteral("====== 正在转换文本  第 1 个 / 共 1 个 ======")));
    QVERIFY(lines.contains(QStringLiteral("====== 正在转换直线  第 1 个 / 共 1 个 ======")));
    QCOMPARE(lines.last(), ToQString(CompletionPrompt(ToUtf8(kml))));

    // A second run attaches to the open drawing: no drawing is asked for.
    const QString all = out.filePath("gui/all.kml");
    env.saveAnswers << all;
    form.Convert();
    QVERIFY(view->selecting());
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(view->picked().size(), drawing.entities.size());
    QTest::keyClick(view, Qt::Key_Space);
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.last().first().toBool(), true);
    QCOMPARE(env.openTitles.size(), 1);
    DxfSource whole(ToPath(SiteDxf()));
    const QString wholeReference = out.filePath("core/all.kml");
    RunConversion(whole, form.CurrentSettings(), ToPath(wholeReference), quiet);
    QVERIFY(ReadBytes(all) == ReadBytes(wholeReference));
  }

  void drawingViewPicksPansAndZooms() {
    ScriptedEnvironment env;
    DrawingWindow host(env);
    host.resize(1000, 800);
    host.LoadDrawing(SiteDxf());
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QApplication::processEvents();
    DrawingView* view = host.view();
    const std::vector<Entity>& entities = host.drawing()->entities;
    auto typeOf = [&](size_t i) { return entities[i].type(); };

    // Outside a selection a click picks nothing.
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, Screen(view, 96, 80));
    QVERIFY(view->picked().empty());

    QSignalSpy ended(view, &DrawingView::selectionEnded);
    view->BeginSelection();
    // A click inside the well (centre 90,80, radius 6), away from its rim, finds
    // nothing and starts a window; the second click closes it. Left to right, a
    // window cutting the well takes nothing; one around it takes the well.
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, Screen(view, 90, 80));
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, Screen(view, 120, 95));
    QVERIFY(view->picked().empty());
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, Screen(view, 80, 70));
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, Screen(view, 100, 90));
    QCOMPARE(view->picked().size(), size_t{1});
    QCOMPARE(typeOf(view->picked()[0]), EntityType::kCircle);
    // A click on its rim picks it again, which does not repeat it.
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, Screen(view, 96, 80));
    QCOMPARE(view->picked().size(), size_t{1});
    // A click on the northern kerb picks the line, after the well.
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, Screen(view, 50, 8));
    QCOMPARE(view->picked().size(), size_t{2});
    QCOMPARE(typeOf(view->picked()[1]), EntityType::kLine);
    QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, Screen(view, 50, 8));
    // Shift with a crossing window takes out what it touches.
    QTest::mousePress(view, Qt::LeftButton, Qt::ShiftModifier, Screen(view, 100, 80));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::ShiftModifier, Screen(view, 93, 75));
    QVERIFY(view->picked().empty());
    QVERIFY(ended.isEmpty());
    QTest::mouseClick(view, Qt::RightButton, Qt::NoModifier, Screen(view, 0, 0));
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.first().first().toBool(), false);
    QVERIFY(!view->selecting());

    // The middle button drags the drawing along; the wheel zooms about the cursor.
    const QPoint before = Screen(view, 90, 80);
    QTest::mousePress(view, Qt::MiddleButton, Qt::NoModifier, QPoint(300, 300));
    QMouseEvent move(QEvent::MouseMove, QPointF(340, 310), view->mapToGlobal(QPointF(340, 310)),
                     Qt::NoButton, Qt::MiddleButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    QTest::mouseRelease(view, Qt::MiddleButton, Qt::NoModifier, QPoint(340, 310));
    QCOMPARE(Screen(view, 90, 80), before + QPoint(40, 10));
    const double scale = view->viewport().scale;
    const QPointF at = view->WorldToScreen(kE0 + 90, kN0 + 80);
    QWheelEvent wheel(at, view->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &wheel);
    QVERIFY(view->viewport().scale > scale);
    const QPointF after = view->WorldToScreen(kE0 + 90, kN0 + 80);
    QVERIFY(std::abs(after.x() - at.x()) < 1e-6 && std::abs(after.y() - at.y()) < 1e-6);
  }

  void convertFailuresShowTheirMessages() {
    QTemporaryDir out;
    const QString cancelled = QStringLiteral("读取文件被取消！");
    const QString general = QStringLiteral("数据文件格式有误、操作不当或其它未知错误！");
    auto expectOne = [](ScriptedEnvironment& env, const QString& text) {
      QCOMPARE(env.messages.size(), 1);
      QCOMPARE(env.messages[0].icon, MessageIcon::kCritical);
      QCOMPARE(env.messages[0].title, QStringLiteral("错误"));
      QCOMPARE(env.messages[0].text, text);
      QVERIFY(!env.messages[0].detail.isEmpty());
    };

    {  // Save dialog cancelled: settings written, nothing sent to the drawing window.
      ScriptedEnvironment env;
      ConverterForm form(ToPath(settingsPath()), env);
      form.Convert();
      expectOne(env, cancelled);
      QVERIFY(QFile::exists(settingsPath()));
      QVERIFY(form.drawingWindow() == nullptr);
      QVERIFY(env.openTitles.isEmpty());
      QVERIFY(!form.runInProgress());
    }
    {  // The settings file cannot be written: the run stops before any dialog.
      ScriptedEnvironment env;
      WriteBytes(out.filePath("plain-file"), "x");
      ConverterForm form(ToPath(out.filePath("plain-file/Varnolt.ini")), env);
      form.Convert();
      expectOne(env, cancelled);
      QVERIFY(env.saveTitles.isEmpty());
    }
    {  // No drawing chosen to start the host with.
      ScriptedEnvironment env;
      env.saveAnswers << out.filePath("a.kml");
      ConverterForm form(ToPath(settingsPath()), env);
      form.Convert();
      expectOne(env, general);
      QVERIFY(!form.runInProgress());
    }
    {  // A drawing that cannot be read, and one that is not DXF.
      ScriptedEnvironment env;
      env.saveAnswers << out.filePath("a.kml") << out.filePath("b.kml");
      env.openAnswers << out.filePath("nowhere.dxf");
      WriteBytes(out.filePath("junk.dxf"), "this is not a drawing\n");
      env.openAnswers << out.filePath("junk.dxf");
      ConverterForm form(ToPath(settingsPath()), env);
      form.Convert();
      expectOne(env, cancelled);
      env.messages.clear();
      form.Convert();
      expectOne(env, general);
      QVERIFY(!form.drawingWindow()->HasDrawing());
    }
    {  // Esc during the selection: nothing picked, which the run reports.
      ScriptedEnvironment env;
      const QString kml = out.filePath("esc.kml");
      env.saveAnswers << kml;
      env.openAnswers << SiteDxf();
      ConverterForm form(ToPath(settingsPath()), env);
      QSignalSpy finished(&form, &ConverterForm::runFinished);
      form.Convert();
      DrawingView* view = form.drawingWindow()->view();
      QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClick(view, Qt::Key_Escape);
      QVERIFY(finished.wait(30000));
      QCOMPARE(finished.first().first().toBool(), false);
      expectOne(env, general);
      QVERIFY(!QFile::exists(kml));
      QVERIFY(Find<QPushButton>(form, "Command2")->isEnabled());

      // Closing the drawing window while it waits for a pick cancels the same way.
      env.messages.clear();
      env.saveAnswers << kml;
      form.Convert();
      QVERIFY(view->selecting());
      form.drawingWindow()->close();
      QVERIFY(finished.wait(30000));
      expectOne(env, general);

      // Closing the main window while a selection waits drops it: no run, no message,
      // and the drawing window closes with it.
      env.messages.clear();
      env.saveAnswers << kml;
      form.show();
      form.Convert();
      QVERIFY(view->selecting());
      form.close();
      QVERIFY(!finished.wait(300));
      QVERIFY(env.messages.isEmpty());
      QVERIFY(!form.drawingWindow()->isVisible());
      QVERIFY(!form.runInProgress());

      // An output folder that does not exist fails as a file access, at once.
      env.messages.clear();
      env.saveAnswers << out.filePath("no/such/dir/x.kml");
      form.Convert();
      QVERIFY(!view->selecting());
      expectOne(env, cancelled);
      QVERIFY(!form.runInProgress());
    }
    {  // ... before a drawing is opened or anything picked.
      ScriptedEnvironment env;
      env.saveAnswers << out.filePath("no/such/dir/x.kml");
      env.openAnswers << SiteDxf();
      ConverterForm form(ToPath(settingsPath()), env);
      form.Convert();
      expectOne(env, cancelled);
      QVERIFY(env.openTitles.isEmpty());
      QVERIFY(form.drawingWindow() == nullptr);
      QVERIFY(!form.runInProgress());
    }
  }

  // Clicks toggle the arcs box between unchecked and checked; greyed comes only from
  // a settings file holding 2, and a click on it checks it.
  void arcsBoxClicksToggleAndGreyComesFromTheFileOnly() {
    ScriptedEnvironment env;
    QFile::remove(settingsPath());
    {
      ConverterForm form(ToPath(settingsPath()), env);
      QCheckBox* box = Find<QCheckBox>(form, "Check1");
      for (const int expected : {1, 0, 1}) {
        box->click();
        QCOMPARE(form.CurrentSettings().Check1, expected);
      }
    }
    WriteBytes(settingsPath(), "10\r\n115\r\n100\r\n6\r\n-0.0335\r\n0.039\r\n10\r\n-1\r\n0\r\n2\r\n");
    ConverterForm form(ToPath(settingsPath()), env);
    QCheckBox* box = Find<QCheckBox>(form, "Check1");
    QCOMPARE(box->checkState(), Qt::PartiallyChecked);
    QCOMPARE(form.CurrentSettings().Check1, 2);
    for (const int expected : {1, 0, 1, 0}) {
      box->click();
      QCOMPARE(form.CurrentSettings().Check1, expected);
    }
  }

  // The elapsed time counts from the Convert click: the save dialog, opening the
  // drawing and picking are part of it. Warnings reach the pane in its own words.
  void elapsedTimeFromTheClickAndChineseWarnings() {
    QTemporaryDir out;
    ScriptedEnvironment env;
    env.saveDialogMs = 1100;
    env.saveAnswers << out.filePath("slow.kml");
    env.openAnswers << SiteDxf();
    ConverterForm form(ToPath(settingsPath()), env);
    Find<QLineEdit>(form, "Text2")->setText("abc");  // reads 0: outside China
    QSignalSpy finished(&form, &ConverterForm::runFinished);
    form.Convert();
    DrawingView* view = form.drawingWindow()->view();
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Enter);
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.first().first().toBool(), true);
    const QString pane = form.drawingWindow()->commandPane()->toPlainText();
    QVERIFY2(pane.contains(QStringLiteral("秒 > ======")), qPrintable(pane));
    QVERIFY2(!pane.contains(QStringLiteral("====== < 0分0秒 > ======")), qPrintable(pane));
    QVERIFY2(pane.contains(QStringLiteral("警告：中央子午线（Text2：\"abc\"）")), qPrintable(pane));
    QVERIFY2(pane.contains(QStringLiteral("东经73度至135度")), qPrintable(pane));
  }

  void correctionFillsTheCorrections() {
    QTemporaryDir work;
    const QString input = work.filePath("pts.txt");
    QVERIFY(QFile::copy(SourceDir() + "/examples/control_points.txt", input));
    ScriptedEnvironment env;
    env.openAnswers << input;
    ConverterForm form(ToPath(settingsPath()), env);
    Find<QLineEdit>(form, "Text2")->setText("114.3");
    QSignalSpy finished(&form, &ConverterForm::correctionFinished);
    Find<QPushButton>(form, "xpcmdbutton1")->click();
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toBool(), true);
    QVERIFY(env.messages.isEmpty());
    QCOMPARE(env.openTitles,
             QStringList{QStringLiteral("读取平面坐标及对应点84经纬度资料")});
    QCOMPARE(env.openFilters,
             QStringList{QStringLiteral("坐标及经纬度文件(*.txt);;所有文件（*.*)(*)")});
    QCOMPARE(Find<QLineEdit>(form, "Text5")->text(), QStringLiteral("-0.03362"));
    QCOMPARE(Find<QLineEdit>(form, "Text6")->text(), QStringLiteral("0.03946"));
    QVERIFY(env.messages.isEmpty());

    const QString table = work.filePath("pts_计算结果.txt");
    QVERIFY(QFile::exists(table));
    QCOMPARE(env.urls, QList<QUrl>{QUrl::fromLocalFile(table)});
    // The file got the corrections from before the calculation.
    const Settings saved = LoadSettings(ToPath(settingsPath()));
    QCOMPARE(ToQString(saved.Text5), QStringLiteral("-0.0335"));
    QCOMPARE(ToQString(saved.Text2), QStringLiteral("114.3"));

    // No text viewer to show the table: the corrections still stand, and a message
    // says where the table is.
    env.urlsOpen = false;
    env.openAnswers << input;
    Find<QPushButton>(form, "xpcmdbutton1")->click();
    QCOMPARE(finished.size(), 2);
    QCOMPARE(finished.last().first().toBool(), true);
    QCOMPARE(env.messages.size(), 1);
    QCOMPARE(env.messages[0].icon, MessageIcon::kWarning);
    QVERIFY(env.messages[0].text.contains(work.filePath("pts_计算结果.txt")));
    QCOMPARE(Find<QLineEdit>(form, "Text5")->text(), QStringLiteral("-0.03362"));
  }

  void correctionFailures() {
    QTemporaryDir work;
    const QString cancelled = QStringLiteral("读取文件被取消！");
    const QString bad = QStringLiteral("数据文件格式有误或操作不当！");
    ScriptedEnvironment env;
    ConverterForm form(ToPath(settingsPath()), env);
    QLineEdit* text5 = Find<QLineEdit>(form, "Text5");
    QLineEdit* text6 = Find<QLineEdit>(form, "Text6");
    auto expectOne = [&](const QString& text) {
      QCOMPARE(env.messages.size(), 1);
      QCOMPARE(env.messages[0].icon, MessageIcon::kCritical);
      QCOMPARE(env.messages[0].title, QStringLiteral("错误"));
      QCOMPARE(env.messages[0].text, text);
      env.messages.clear();
    };

    // Cancelled, or a file that cannot be opened: the corrections keep their values.
    form.CalculateCorrection();
    expectOne(cancelled);
    env.openAnswers << work.filePath("absent.txt");
    form.CalculateCorrection();
    expectOne(cancelled);
    QCOMPARE(text5->text(), QStringLiteral("-0.0335"));
    QCOMPARE(text6->text(), QStringLiteral("0.039"));

    // A data line with four fields: the file was opened, so both stay empty.
    const QString four = work.filePath("four.txt");
    WriteBytes(four, "P1 3381245.312 481906.447 30.33008619\r\n");
    env.openAnswers << four;
    form.CalculateCorrection();
    expectOne(bad);
    QVERIFY(text5->text().isEmpty());
    QVERIFY(text6->text().isEmpty());
    QVERIFY(!QFile::exists(work.filePath("four_计算结果.txt")));

    // Comments only: no data, no averages.
    text5->setText("-0.0335");
    text6->setText("0.039");
    const QString none = work.filePath("none.txt");
    WriteBytes(none, ";; X Y B L\r\n\r\n");
    env.openAnswers << none;
    form.CalculateCorrection();
    expectOne(bad);
    QVERIFY(text5->text().isEmpty());
    QVERIFY(text6->text().isEmpty());
    QVERIFY(env.urls.isEmpty());

    // A settings file that cannot be written stops the calculation before its
    // dialog, with the general message.
    WriteBytes(work.filePath("plain-file"), "x");
    ConverterForm blocked(ToPath(work.filePath("plain-file/Varnolt.ini")), env);
    const int asked = env.openTitles.size();
    blocked.CalculateCorrection();
    expectOne(bad);
    QCOMPARE(env.openTitles.size(), asked);
    QCOMPARE(Find<QLineEdit>(blocked, "Text5")->text(), QStringLiteral("-0.0335"));
  }

  // File ▸ Import draws the file over the drawing, reading it on a worker with the
  // progress bar full at the end; a file it cannot read is a message.
  void importDrawsOverTheDrawing() {
    ScriptedEnvironment env;
    ConverterForm form(ToPath(settingsPath()), env);
    DrawingWindow* host = form.EnsureDrawingWindow();
    host->LoadDrawing(SiteDxf());
    const size_t before = host->drawing()->entities.size();
    auto* action = host->findChild<QAction*>(QStringLiteral("importAction"));
    QVERIFY(action);
    WriteBytes(dir_.filePath("junk.gpx"), "<gpx><wpt lat=\"x\" lon=\"1\"/></gpx>");
    env.openAnswers << SourceDir() + "/fuzz/seeds/geo_import/track.gpx"
                    << dir_.filePath("junk.gpx");
    QSignalSpy finished(&form, &ConverterForm::importFinished);
    action->trigger();
    QCOMPARE(env.openTitles.last(), QStringLiteral("导入 KML/GPX"));
    QVERIFY(!action->isEnabled());  // busy while the worker reads
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.takeFirst().at(0).toBool(), true);
    QVERIFY(action->isEnabled());
    QCOMPARE(host->progressBar()->value(), 100);
    // The waypoint and its name, the route, the track.
    QCOMPARE(host->drawing()->entities.size(), before + 4);
    QVERIFY(host->commandPane()->toPlainText().contains(QStringLiteral("已导入 track.gpx")));
    QVERIFY(env.messages.isEmpty());
    action->trigger();
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.takeFirst().at(0).toBool(), false);
    QCOMPARE(env.messages.size(), 1);
    QVERIFY(env.messages[0].detail.contains(QStringLiteral("junk.gpx")));
    QCOMPARE(host->drawing()->entities.size(), before + 4);
  }

  void helpMoreSoftwareAndExit() {
    ScriptedEnvironment env;
    ConverterForm form(ToPath(settingsPath()), env);
    Find<QPushButton>(form, "xpcmdbutton4")->click();
    QCOMPARE(env.urls.size(), 1);
    QVERIFY(env.urls[0].isLocalFile());
    QVERIFY(env.urls[0].toLocalFile().endsWith("/manual.html"));
    QVERIFY(QFile::exists(env.urls[0].toLocalFile()));
    QVERIFY(env.messages.isEmpty());

    env.urls.clear();
    env.log.clear();
    Find<QPushButton>(form, "xpcmdbutton3")->click();
    QCOMPARE(env.urls, QList<QUrl>{QUrl(QString::fromLatin1(kHomePage))});
    QCOMPARE(env.log, (QStringList{"url", "about"}));

    Find<QPushButton>(form, "xpcmdbutton5")->click();
    QCOMPARE(env.quits, 1);
    QVERIFY(!QFile::exists(settingsPath()));  // exit saves nothing
  }

  // The conversion options dialog has a box for every choice of the form's tables,
  // shows what it is given and gives back what its boxes say.
  void optionsDialogBoxesFollowTheTables() {
    ConversionOptions given;
    given.include = kIncludeFrames;
    given.plainText = true;
    OptionsDialog dialog(given);
    auto box = [&dialog](std::string_view caption) -> QCheckBox* {
      for (QCheckBox* b : dialog.findChildren<QCheckBox*>()) {
        if (b->text() == ToQString(std::string(caption))) return b;
      }
      return nullptr;
    };
    QCheckBox* frames = box(form::kIncludeChoices[9].caption);
    QCheckBox* meshes = box(form::kIncludeChoices[7].caption);
    QCheckBox* plain = box(form::kReadingChoices[0].caption);
    QCheckBox* strict = box(form::kReadingChoices[1].caption);
    QVERIFY(frames && meshes && plain && strict);
    QVERIFY(frames->isChecked() && !meshes->isChecked() && plain->isChecked());
    QVERIFY(!strict->isChecked());
    meshes->setChecked(true);
    plain->setChecked(false);
    strict->setChecked(true);
    const ConversionOptions o = dialog.Options();
    QCOMPARE(o.include, unsigned{kIncludeFrames | kIncludeMeshes});
    QVERIFY(!o.plainText && o.strict);
  }
};

QTEST_MAIN(FormTest)
#include "form_test.moc"
