// The main window's shared logic, without a toolkit: the control table's tab order,
// settings through the controls and back, the window's placement, what each button
// sequence asks and shows, driven through a scripted host; the conversion options
// dialog as its table of rows; Explorer's conversion of a drawing beside itself.
#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <sstream>

#include "base/paths.h"
#include "cad/dxf.h"
#include "calc/correction.h"
#include "form/actions.h"
#include "form/controls.h"
#include "form/conversion_options.h"
#include "form/convert_beside.h"
#include "temp_dir.h"
#include "text/numtext.h"

namespace varnolt::form {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

fs::path SourceDir() { return PathFromUtf8(VARNOLT_SOURCE_DIR); }

TEST(FormControls, TabOrderEntersTheOptionPairAtItsSelectedOption) {
  std::vector<std::string_view> visited;
  std::string_view at = "Option1";
  for (int i = 0; i < 14; ++i) visited.push_back(at = NextTabStop(at, true, 1));
  const std::vector<std::string_view> expected = {
      "Text2", "Text5", "Text6", "Text7", "Text1", "Text3", "Text4", "Check1",
      "Command2", "xpcmdbutton4", "xpcmdbutton3", "xpcmdbutton5", "xpcmdbutton1", "Option1"};
  EXPECT_EQ(visited, expected);
  EXPECT_EQ(NextTabStop("xpcmdbutton1", true, 2), "Option2");
  EXPECT_EQ(NextTabStop("xpcmdbutton1", true, 3), "Option3");
  EXPECT_EQ(NextTabStop("Option3", false, 3), "xpcmdbutton1");
  EXPECT_EQ(NextTabStop("Option2", true, 2), "Text2");
  EXPECT_EQ(NextTabStop("Text2", false, 1), "Option1");
  EXPECT_EQ(NextTabStop("Option1", false, 1), "xpcmdbutton1");
  // Backwards retraces forwards from every stop.
  for (std::string_view name : TabOrder()) {
    EXPECT_EQ(NextTabStop(NextTabStop(name, true, 2), false, 2),
              name == "Option1" || name == "Option3" ? "Option2" : name);
  }
  // Every control sits inside its container, which comes before it in the table.
  for (size_t i = 0; i < kControls.size(); ++i) {
    const Control& c = kControls[i];
    if (c.container == kFormName) {
      EXPECT_LE(c.twips.left + c.twips.width, kClientWidth) << c.name;
      EXPECT_LE(c.twips.top + c.twips.height, kClientHeight) << c.name;
      continue;
    }
    const Control* frame = FindControl(c.container);
    ASSERT_NE(frame, nullptr) << c.name;
    EXPECT_LT(frame - kControls.data(), static_cast<ptrdiff_t>(i));
    EXPECT_LE(c.twips.left + c.twips.width, frame->twips.width) << c.name;
    EXPECT_LE(c.twips.top + c.twips.height, frame->twips.height) << c.name;
  }
}

TEST(FormControls, SettingsThroughTheControlsAndBack) {
  Settings changed;
  changed.Text1 = "12";
  changed.Text2 = "114.3";
  changed.Text3 = "50";
  changed.Text4 = "3";
  changed.Text5 = "";
  changed.Text6 = "1x5 m";
  changed.Text7 = "7";
  changed.Option1 = false;
  changed.Option2 = true;
  changed.Check1 = 2;
  changed.SetExtra("include", "blocks,points");
  // The third datum: lines 8 and 9 both "0" and its own line.
  Settings cgcs;
  cgcs.Option1 = false;
  cgcs.SetExtra("datum", "cgcs2000");
  EXPECT_TRUE(ValuesOf(cgcs).option3 && !ValuesOf(cgcs).option1 && !ValuesOf(cgcs).option2);
  Values three = ValuesOf(Settings{});
  three.option1 = false;
  three.option3 = true;
  EXPECT_EQ(SettingsOf(three), cgcs);
  three.option3 = false;
  three.option2 = true;
  EXPECT_EQ(SettingsOf(three).Extra("datum"), "");
  for (const Settings& s : {Settings(), changed}) {
    const Values v = ValuesOf(s);
    EXPECT_EQ(SettingsOf(v), s);
    EXPECT_EQ(ValuesOf(SettingsOf(v)), v);
    // Each box shows its own setting, and the default text is the table's caption.
    for (int i = 0; i < 7; ++i) {
      EXPECT_EQ(TextName(i), "Text" + std::to_string(i + 1));
      if (s == Settings()) {
        EXPECT_EQ(v.texts[static_cast<size_t>(i)], FindControl(TextName(i))->caption);
      }
    }
  }
  Settings both;
  both.Option1 = both.Option2 = true;
  EXPECT_FALSE(ValuesOf(both).option1);
  EXPECT_TRUE(ValuesOf(both).option2);
  EXPECT_EQ(NextCheckState(0), 1);
  EXPECT_EQ(NextCheckState(1), 0);
  EXPECT_EQ(NextCheckState(2), 1);
}

TEST(FormControls, CenterFormPlacesAThirdOfTheFreeHeightAbove) {
  // 15360 x 11520 twips screen, 7800 x 4500 twips window.
  EXPECT_EQ(CenterPosition(15360, 11520, 7800, 4500), std::make_pair(3780, 2340));
  EXPECT_EQ(CenterPosition(400, 300, 520, 330), std::make_pair(-60, -10));
  EXPECT_EQ(ToPixels(kClientWidth, 96), 512);
  EXPECT_EQ(ToPixels(kClientHeight, 96), 273);
  EXPECT_EQ(ToPixels(kClientWidth, 144), 768);
}

// Answers dialogs from queues (an empty queue cancels) and records the rest.
class ScriptedHost : public FormHost {
 public:
  struct Message {
    MessageIcon icon;
    std::string title, text, detail;
  };
  Settings settings;
  std::deque<fs::path> saveAnswers, openAnswers;
  std::vector<std::string> asked;  // dialog titles in order
  std::vector<Message> messages;
  std::vector<std::string> log;    // "text:<path>", "file:<path>", "url:<url>", "about", "quit"
  bool filesOpen = true;

  Settings CurrentSettings() override { return settings; }
  void SetText(int index, const std::string& text) override {
    Values v = ValuesOf(settings);
    v.texts[static_cast<size_t>(index)] = text;
    settings = SettingsOf(v);
  }
  std::optional<fs::path> SaveFileName(std::string_view title,
                                       const std::vector<FileFilter>&) override {
    return Answer(title, saveAnswers);
  }
  std::optional<fs::path> OpenFileName(std::string_view title,
                                       const std::vector<FileFilter>&) override {
    return Answer(title, openAnswers);
  }
  void ShowMessage(MessageIcon icon, std::string_view title, std::string_view text,
                   std::string_view detail) override {
    messages.push_back({icon, std::string(title), std::string(text), std::string(detail)});
  }
  bool ShowTextFile(const fs::path& file) override {
    log.push_back("text:" + Utf8(file));
    return filesOpen;
  }
  bool OpenFile(const fs::path& file) override {
    log.push_back("file:" + Utf8(file));
    return true;
  }
  bool OpenUrl(std::string_view url) override {
    log.push_back("url:" + std::string(url));
    return true;
  }
  void ShowAbout() override { log.push_back("about"); }
  void Quit() override { log.push_back("quit"); }

  // The one message shown, as "title|text", and the list emptied.
  std::string TakeMessage() {
    if (messages.size() != 1) return "messages: " + std::to_string(messages.size());
    const Message m = messages.front();
    messages.clear();
    EXPECT_FALSE(m.detail.empty());
    return (m.icon == MessageIcon::kCritical ? "critical|" : "other|") + m.title + "|" + m.text;
  }

 private:
  std::optional<fs::path> Answer(std::string_view title, std::deque<fs::path>& queue) {
    asked.emplace_back(title);
    if (queue.empty()) return std::nullopt;
    fs::path p = queue.front();
    queue.pop_front();
    return p;
  }
};

class QuietReporter : public RunReporter {
 public:
  void Prompt(const std::string&) override {}
};

class FormActions : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }
  fs::path At(const std::string& name) const { return dir_.path() / PathFromUtf8(name); }
  fs::path settingsPath() const { return At("Varnolt.ini"); }
  testing::TempDir dir_{"varnolt-form"};
  ScriptedHost host_;
  QuietReporter quiet_;
};

TEST_F(FormActions, ConvertFailuresGetTheirMessages) {
  const std::string cancelled = "critical|错误|读取文件被取消！";
  const std::string general = "critical|错误|数据文件格式有误、操作不当或其它未知错误！";
  int attached = 0;
  auto none = [&attached]() -> std::unique_ptr<EntitySource> {
    ++attached;
    return nullptr;
  };

  // Save dialog cancelled: the settings are written all the same, no source attached.
  host_.settings.Text1 = "12";
  EXPECT_FALSE(Convert(host_, settingsPath(), none, quiet_));
  EXPECT_EQ(host_.TakeMessage(), cancelled);
  EXPECT_EQ(host_.asked, std::vector<std::string>{"保存kml文件"});
  EXPECT_EQ(LoadSettings(settingsPath()).Text1, "12");
  // An output folder that does not exist fails before the source is attached.
  host_.saveAnswers = {At("no/such/x.kml")};
  EXPECT_FALSE(Convert(host_, settingsPath(), none, quiet_));
  EXPECT_EQ(host_.TakeMessage(), cancelled);
  EXPECT_EQ(attached, 0);
  // A settings file that cannot be written stops before any dialog.
  WriteBytes(At("plain"), "x");
  host_.asked.clear();
  EXPECT_FALSE(Convert(host_, At("plain/Varnolt.ini"), none, quiet_));
  EXPECT_EQ(host_.TakeMessage(), cancelled);
  EXPECT_TRUE(host_.asked.empty());
  // No drawing given, one the host cannot read as R2000 or later, a host that has
  // said why itself, an empty pick.
  host_.saveAnswers = {At("a.kml"), At("a.kml"), At("a.kml"), At("a.kml")};
  EXPECT_FALSE(Convert(host_, settingsPath(), none, quiet_));
  EXPECT_EQ(host_.TakeMessage(), general);
  auto old = []() -> std::unique_ptr<EntitySource> {
    throw Error(ErrorKind::kUnsupported, "AC1009");
  };
  EXPECT_FALSE(Convert(host_, settingsPath(), old, quiet_));
  EXPECT_EQ(host_.TakeMessage(), "critical|错误|程序仅支持R2000以上版本！");
  auto refused = []() -> std::unique_ptr<EntitySource> { throw Abandoned(); };
  EXPECT_FALSE(Convert(host_, settingsPath(), refused, quiet_));
  EXPECT_TRUE(host_.messages.empty());
  auto empty = []() -> std::unique_ptr<EntitySource> { return std::make_unique<MemorySource>(); };
  EXPECT_FALSE(Convert(host_, settingsPath(), empty, quiet_));
  EXPECT_EQ(host_.TakeMessage(), general);
  EXPECT_FALSE(fs::exists(At("a.kml")));
}

TEST_F(FormActions, ConvertWritesWhatTheRunWritesWithTheWindowsSettings) {
  host_.settings.Text2 = "114.3";
  host_.settings.Check1 = 1;
  host_.saveAnswers = {At("site.kml")};
  const fs::path dxf = SourceDir() / "examples" / "site.dxf";
  auto attach = [&dxf]() -> std::unique_ptr<EntitySource> {
    return std::make_unique<DxfSource>(dxf);
  };
  ASSERT_TRUE(Convert(host_, settingsPath(), attach, quiet_));
  EXPECT_TRUE(host_.messages.empty());
  // The document is named after its file: the reference goes to another folder.
  fs::create_directories(At("reference"));
  DxfSource reference(dxf);
  RunConversion(reference, host_.settings, At("reference/site.kml"), quiet_);
  EXPECT_EQ(ReadBytes(At("site.kml")), ReadBytes(At("reference/site.kml")));
}

TEST_F(FormActions, CalculatorFillsTheCorrectionsOrSaysWhy) {
  const fs::path points = At("pts.txt");
  fs::copy_file(SourceDir() / "examples" / "control_points.txt", points);
  host_.settings.Text2 = "114.3";
  host_.openAnswers = {points};
  ASSERT_TRUE(CalculateCorrection(host_, settingsPath()));
  EXPECT_EQ(host_.asked, std::vector<std::string>{"读取平面坐标及对应点84经纬度资料"});
  Settings plain = host_.settings;
  plain.Text5 = plain.Text6 = "";
  const CorrectionResult expected = RunCorrection(plain, points);
  EXPECT_EQ(host_.settings.Text5, FixedText(expected.latAverage, 5));
  EXPECT_EQ(host_.settings.Text6, FixedText(expected.lonAverage, 5));
  EXPECT_EQ(host_.log, std::vector<std::string>{"text:" + Utf8(ResultPath(points))});
  EXPECT_TRUE(host_.messages.empty());

  // No viewer for the table: the corrections stand and a warning names the table.
  host_.filesOpen = false;
  host_.openAnswers = {points};
  ASSERT_TRUE(CalculateCorrection(host_, settingsPath()));
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].icon, MessageIcon::kWarning);
  EXPECT_NE(host_.messages[0].text.find(Utf8(ResultPath(points))), std::string::npos);
  host_.messages.clear();

  const std::string cancelled = "critical|错误|读取文件被取消！";
  const std::string bad = "critical|错误|数据文件格式有误或操作不当！";
  host_.settings = Settings();
  EXPECT_FALSE(CalculateCorrection(host_, settingsPath()));  // cancelled
  EXPECT_EQ(host_.TakeMessage(), cancelled);
  host_.openAnswers = {At("absent.txt")};
  EXPECT_FALSE(CalculateCorrection(host_, settingsPath()));
  EXPECT_EQ(host_.TakeMessage(), cancelled);
  EXPECT_EQ(host_.settings, Settings());  // unopened: the corrections keep their values
  WriteBytes(At("four.txt"), "P1 3381245.312 481906.447 30.33008619\r\n");
  host_.openAnswers = {At("four.txt")};
  EXPECT_FALSE(CalculateCorrection(host_, settingsPath()));
  EXPECT_EQ(host_.TakeMessage(), bad);
  EXPECT_EQ(host_.settings.Text5, "");  // opened: emptied, and left so
  EXPECT_EQ(host_.settings.Text6, "");
  WriteBytes(At("plain"), "x");
  EXPECT_FALSE(CalculateCorrection(host_, At("plain/Varnolt.ini")));
  EXPECT_EQ(host_.TakeMessage(), bad);
}

// The window goes on with a settings file it cannot fully use: the options dialog
// opens after one box naming each unusable line, with those at their defaults, and
// the controls give the file back with every opt-in line as written.
TEST_F(FormActions, UnusableOptionLinesAreShownOnceAndKept) {
  Settings s;
  ASSERT_TRUE(ParseSettings("10\r\n115\r\n100\r\n6\r\n-0.0335\r\n0.039\r\n10\r\n0\r\n0\r\n0\r\n"
                            "datum=CGCS2000\r\naltitude=sky\r\nzone=38\r\nfolders=Layer\r\n",
                            s));
  const ConversionOptions o = OptionsToEdit(host_, s);
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_NE(host_.messages[0].text.find("the setting altitude=sky: \"sky\" is not"),
            std::string::npos) << host_.messages[0].text;
  EXPECT_EQ(o.altitude, Altitude::kRelative);
  EXPECT_TRUE(o.layerFolders && o.cgcs2000);
  host_.messages.clear();
  EXPECT_TRUE(ValuesOf(s).option3);
  EXPECT_EQ(SettingsFileText(SettingsOf(ValuesOf(s))), SettingsFileText(s));
  // A zone the coordinate system fixed shows no auto box and survives an unchecked one.
  ConversionOptions edited = o;
  EXPECT_FALSE(ZoneAutoChecked(edited));
  SetZoneAuto(edited, false);
  EXPECT_EQ(edited, o);
  SetZoneAuto(edited, true);
  EXPECT_TRUE(ZoneAutoChecked(edited));
  // The third option chosen: the corrections become 0, nothing else changes.
  host_.settings = s;
  ChooseCgcs2000(host_);
  Settings cleared = s;
  cleared.Text5 = cleared.Text6 = "0";
  EXPECT_EQ(host_.settings, cleared);
  EXPECT_TRUE(host_.messages.empty());
  // Convert names the line in its box before asking for anything, and the saved
  // file keeps every line.
  int attached = 0;
  auto attach = [&attached]() -> std::unique_ptr<EntitySource> {
    ++attached;
    return nullptr;
  };
  EXPECT_FALSE(Convert(host_, settingsPath(), attach, quiet_));
  EXPECT_NE(host_.TakeMessage().find("critical|错误|参数文件中的设置无法使用：\nthe setting altitude=sky"),
            std::string::npos);
  EXPECT_TRUE(host_.asked.empty());
  EXPECT_EQ(attached, 0);
  EXPECT_EQ(ReadBytes(settingsPath()), SettingsFileText(cleared));
}

TEST_F(FormActions, HelpMakersPageAndTheManualsPlace) {
  fs::create_directories(At("app/bin"));
  fs::create_directories(At("app/share/varnolt"));
  fs::create_directories(At("src/docs"));
  EXPECT_TRUE(ManualPath(At("app/bin"), At("src/docs")).empty());
  WriteBytes(At("src/docs/manual.html"), "s");
  EXPECT_EQ(ManualPath(At("app/bin"), At("src/docs")), At("src/docs/manual.html"));
  WriteBytes(At("app/share/varnolt/manual.html"), "i");
  EXPECT_EQ(ManualPath(At("app/bin"), At("src/docs")), At("app/share/varnolt/manual.html"));
  WriteBytes(At("app/bin/manual.html"), "b");
  const fs::path beside = ManualPath(At("app/bin"), At("src/docs"));
  EXPECT_EQ(beside, At("app/bin/manual.html"));

  ShowHelp(host_, beside);
  ShowHelp(host_, {});
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].icon, MessageIcon::kWarning);
  MoreSoftware(host_);
  EXPECT_EQ(host_.log, (std::vector<std::string>{"file:" + Utf8(beside),
                                                 std::string("url:") + kHomePage, "about"}));
}

// --- the conversion options dialog and Explorer's verb ---------------------------

size_t RowIndex(std::string_view name) {
  const OptionRow* row = FindOptionRow(name);
  EXPECT_NE(row, nullptr) << name;
  return row ? static_cast<size_t>(row - OptionRows().data()) : 0;
}

// Options that set something on every row, and a zone a coordinate system fixed.
ConversionOptions Busy() {
  ConversionOptions o;
  o.include = kIncludePoints | kIncludeHatches;
  o.layerFolders = true;
  o.altitude = Altitude::kAbsolute;
  o.zoneInEastings = true;
  o.requiredZone = 38;
  o.method = Method::kHelmert;
  o.helmert = *ParseHelmert("-15.8,150.6,81.2,0.1,0.2,-0.3,1.5");
  o.gcj02 = true;
  return o;
}

// Every control, changed alone, reaches the settings file's lines, and the dialog
// opened again on that file shows what was chosen: the table and the file cannot
// disagree.
TEST(OptionsTable, EachRowChangedAloneReopensAsChosen) {
  for (const ConversionOptions& given : {ConversionOptions(), Busy()}) {
    const OptionValues shown = OptionValuesOf(given);
    const EditedOptions unchanged = OptionsOf(given, shown);
    EXPECT_EQ(unchanged.options, given);
    EXPECT_FALSE(unchanged.badRow.has_value());
    const std::vector<OptionRow>& rows = OptionRows();
    for (size_t i = 0; i < rows.size(); ++i) {
      if (rows[i].control == OptionControl::kText) continue;
      SCOPED_TRACE(std::string(rows[i].name));
      OptionValues changed = shown;
      const int count = rows[i].control == OptionControl::kCheck
                            ? 2
                            : static_cast<int>(rows[i].choices.size());
      changed.values[i] = (shown.values[i] + 1) % count;
      const ConversionOptions edited = OptionsOf(given, changed).options;
      EXPECT_NE(edited, given);
      Settings file;
      StoreConversionOptions(given, file);
      StoreConversionOptions(edited, file);
      const OptionValues reopened = OptionValuesOf(ReadConversionOptions(file));
      EXPECT_EQ(reopened.values, changed.values);
      EXPECT_EQ(reopened.texts, OptionValuesOf(edited).texts);
    }
  }
}

// The seven parameters: their box counts only with their method chosen, and a box
// that is not seven numbers is the row at fault, the options keeping theirs.
TEST(OptionsTable, SevenParametersAreCheckedOnlyWithTheirMethod) {
  const size_t method = RowIndex("method"), helmert = RowIndex("helmert");
  const OptionRow& box = OptionRows()[helmert];
  ConversionOptions given = Busy();
  OptionValues v = OptionValuesOf(given);
  EXPECT_EQ(v.texts[helmert], HelmertText(given.helmert));
  EXPECT_TRUE(box.enabled(given));
  v.texts[helmert] = "1,2,3";
  EditedOptions e = OptionsOf(given, v);
  ASSERT_EQ(e.badRow, std::optional<size_t>(helmert));
  EXPECT_EQ(e.options.helmert, given.helmert);
  EXPECT_FALSE(box.badText.empty());
  v.texts[helmert] = " 1,2,3,4,5,6,7 ";
  e = OptionsOf(given, v);
  EXPECT_FALSE(e.badRow.has_value());
  EXPECT_EQ(HelmertText(e.options.helmert), "1,2,3,4,5,6,7");
  // The corrections chosen: the box is off and its text does not matter.
  v.values[method] = static_cast<int>(Method::kCorrections);
  v.texts[helmert] = "not numbers";
  e = OptionsOf(given, v);
  EXPECT_FALSE(e.badRow.has_value());
  EXPECT_FALSE(box.enabled(e.options));
  EXPECT_EQ(e.options.method, Method::kCorrections);
}

// OK saves at once into the file's opt-in lines: the ten lines and every other line
// (one of a newer build, one that cannot be used) stay as the file has them.
TEST(OptionsTable, SavingWritesOnlyTheChangedLines) {
  const testing::TempDir dir("varnolt-options");
  ASSERT_FALSE(dir.path().empty());
  const fs::path path = dir.path() / "Varnolt.ini";
  const std::string ten = "10\r\n114.3\r\n100\r\n6\r\n-0.0335\r\n0.039\r\n10\r\n-1\r\n0\r\n0\r\n";
  std::ofstream(path, std::ios::binary) << ten << "future=x\r\naltitude=sky\r\n";
  std::vector<std::string> unusable;
  ConversionOptions o = ReadConversionOptions(LoadSettings(path), unusable);
  ASSERT_EQ(unusable.size(), 1u);
  o.polygons = true;
  const Settings saved = SaveConversionOptions(path, o);
  EXPECT_EQ(ReadBytes(path), ten + "future=x\r\naltitude=sky\r\npolygons=yes\r\n");
  EXPECT_EQ(saved, LoadSettings(path));
  // No file yet: the defaults and the line.
  const fs::path fresh = dir.path() / "new" / "Varnolt.ini";
  fs::create_directories(fresh.parent_path());
  SaveConversionOptions(fresh, o);
  EXPECT_EQ(ReadBytes(fresh), SettingsFileText(Settings()) + "polygons=yes\r\n");
}

// Explorer's verb: the golden drawing beside itself gives the golden document, read
// with the saved settings, which stay unwritten; a failure names the drawing and
// leaves no document.
TEST(ConvertBeside, WritesTheDocumentBesideTheDrawingOrSaysWhy) {
  const testing::TempDir dir("varnolt-beside");
  ASSERT_FALSE(dir.path().empty());
  const fs::path golden = SourceDir() / "tests" / "golden" / "families";
  const fs::path folder = dir.path() / PathFromUtf8("图纸 一");
  fs::create_directories(folder);
  const fs::path drawing = folder / "families.DXF";
  fs::copy_file(golden / "drawing.dxf", drawing);
  const fs::path settings = dir.path() / "Varnolt.ini";
  fs::copy_file(golden / "Varnolt.ini", settings);
  const std::string settingsBefore = ReadBytes(settings);

  const BesideOutcome done = ConvertBeside(drawing, settings);
  EXPECT_TRUE(done.ok) << done.text;
  EXPECT_EQ(done.title, "转换完成");
  EXPECT_NE(done.text.find("KML文件转换完成！ <" + Utf8(folder / "families.kml") + ">"),
            std::string::npos)
      << done.text;
  EXPECT_TRUE(ReadBytes(folder / "families.kml") == ReadBytes(golden / "expected.kml"));
  EXPECT_EQ(ReadBytes(settings), settingsBefore);

  const fs::path broken = folder / "broken.dxf";
  std::ofstream(broken, std::ios::binary) << "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\nabc\n";
  const BesideOutcome failed = ConvertBeside(broken, settings);
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(failed.title, "错误");
  EXPECT_EQ(failed.text.rfind("数据文件格式有误、操作不当或其它未知错误！\n\n" + Utf8(broken), 0), 0u)
      << failed.text;
  EXPECT_FALSE(fs::exists(folder / "broken.kml"));

  std::string unusable = settingsBefore;
  if (!unusable.empty() && unusable.back() != '\n') unusable += "\r\n";
  std::ofstream(settings, std::ios::binary | std::ios::trunc) << unusable << "include=everything\r\n";
  const BesideOutcome refused = ConvertBeside(drawing, settings);
  EXPECT_FALSE(refused.ok);
  EXPECT_NE(refused.text.find("include=everything"), std::string::npos) << refused.text;
}

}  // namespace
}  // namespace varnolt::form
