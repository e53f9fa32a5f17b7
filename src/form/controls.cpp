#include "form/controls.h"

#include <algorithm>
#include <cmath>

#include "settings/conversion_options.h"

namespace varnolt::form {

namespace {
constexpr std::string_view F = kFormName;
}  // namespace

const std::array<Control, 28> kControls = {{
    {"Frame1", Kind::kFrame, F, "坐标系及中央子午线", {120, 120, 3495, 1695}, -1, "", Colour::kRed, Font::kNormal},
    {"Frame2", Kind::kFrame, F, "经纬度修正", {120, 1920, 3495, 2055}, -1, "", Colour::kRed, Font::kNormal},
    {"Frame3", Kind::kFrame, F, "参数设置", {3720, 120, 3855, 2655}, -1, "", Colour::kRed, Font::kNormal},
    {"Option1", Kind::kOption, "Frame1", "北京54", {180, 240, 960, 495}, 0, "", Colour::kBlue, Font::kNormal},
    {"Option2", Kind::kOption, "Frame1", "西安80", {1200, 240, 1020, 495}, 1, "", Colour::kBlue, Font::kNormal},
    {"Option3", Kind::kOption, "Frame1", "2000国家", {2250, 240, 1200, 495}, 2, "", Colour::kBlue, Font::kNormal},
    {"Label4", Kind::kLabel, "Frame1", "中央子午线", {480, 900, 1215, 255}, -1, "", Colour::kBlue, Font::kNormal},
    {"Text2", Kind::kText, "Frame1", "115", {1920, 840, 1020, 330}, 3,
     "用°′″表示，如：140.022866为140°02′28.66″", Colour::kSystem, Font::kText},
    {"Label8", Kind::kLabel, "Frame1", "注：单位为小数【度分秒】", {360, 1320, 2535, 255}, -1, "", Colour::kPurple, Font::kNormal},
    {"Label5", Kind::kLabel, "Frame2", "转换到世界84纬度修正", {240, 550, 1815, 255}, -1, "", Colour::kBlue, Font::kNormal},
    {"Text5", Kind::kText, "Frame2", "-0.0335", {2160, 480, 1140, 330}, 4, "", Colour::kSystem, Font::kText},
    {"Label6", Kind::kLabel, "Frame2", "转换到世界84经度修正", {120, 1000, 1935, 255}, -1, "", Colour::kBlue, Font::kNormal},
    {"Text6", Kind::kText, "Frame2", "0.039", {2160, 960, 1140, 330}, 5, "用十进制分表示", Colour::kSystem, Font::kText},
    {"xpcmdbutton1", Kind::kButton, "Frame2", "  修正计算", {2040, 1440, 1215, 375}, 15, "", Colour::kSystem, Font::kNormal},
    {"Label7", Kind::kLabel, "Frame2", "注：单位为【分】", {120, 1500, 1575, 255}, -1, "", Colour::kPurple, Font::kNormal},
    {"Check1", Kind::kCheck, "Frame3", "多段线存在圆弧部分", {960, 240, 2175, 375}, 10, "", Colour::kBlue, Font::kNormal},
    {"Label9", Kind::kLabel, "Frame3", "多段线中圆弧最小分段长度", {240, 795, 2175, 375}, -1, "", Colour::kBlue, Font::kNormal},
    {"Text7", Kind::kText, "Frame3", "10", {2640, 720, 1020, 330}, 6, "", Colour::kSystem, Font::kText},
    {"Label1", Kind::kLabel, "Frame3", "直线最小分段长度", {480, 1263, 1935, 375}, -1, "", Colour::kBlue, Font::kNormal},
    {"Text1", Kind::kText, "Frame3", "10", {2640, 1200, 1020, 330}, 7, "", Colour::kSystem, Font::kText},
    {"Label2", Kind::kLabel, "Frame3", "圆及圆弧分段个数", {840, 1731, 1575, 375}, -1, "", Colour::kBlue, Font::kNormal},
    {"Text3", Kind::kText, "Frame3", "100", {2640, 1680, 1020, 330}, 8, "", Colour::kSystem, Font::kText},
    {"Label3", Kind::kLabel, "Frame3", "多段线显示线宽", {840, 2200, 1575, 375}, -1, "", Colour::kBlue, Font::kNormal},
    {"Text4", Kind::kText, "Frame3", "6", {2640, 2160, 1020, 330}, 9, "", Colour::kSystem, Font::kText},
    {"Command2", Kind::kButton, F, "  转  换", {4320, 2950, 1215, 375}, 11, "", Colour::kSystem, Font::kNormal},
    {"xpcmdbutton4", Kind::kButton, F, "  帮  助", {6000, 2950, 1215, 375}, 12, "", Colour::kSystem, Font::kNormal},
    {"xpcmdbutton3", Kind::kButton, F, "  更多软件", {4320, 3550, 1215, 375}, 13, "", Colour::kSystem, Font::kNormal},
    {"xpcmdbutton5", Kind::kButton, F, "  退  出", {6000, 3550, 1215, 375}, 14, "", Colour::kSystem, Font::kNormal},
}};

Rgb ColourOf(Colour colour) {
  switch (colour) {
    case Colour::kBlue:
      return {0, 0, 255};
    case Colour::kPurple:
      return {192, 0, 192};
    case Colour::kRed:
      return {255, 0, 0};
    case Colour::kSystem:
      break;
  }
  return {-1, -1, -1};
}

double PointsOf(Font font) { return font == Font::kText ? 10.5 : 9.0; }

const Control* FindControl(std::string_view name) {
  for (const Control& c : kControls) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

std::array<std::string_view, 16> TabOrder() {
  std::array<std::string_view, 16> order{};
  for (const Control& c : kControls) {
    if (c.tabIndex >= 0) order[static_cast<size_t>(c.tabIndex)] = c.name;
  }
  return order;
}

std::string_view NextTabStop(std::string_view from, bool forward, int selectedOption) {
  const auto order = TabOrder();
  // The datum options are one stop: positions 0 to 2 all stand for it.
  const auto it = std::find(order.begin(), order.end(), from);
  if (it == order.end()) return order[0];
  const int stop = static_cast<int>(it - order.begin());
  constexpr int kStops = 14;  // the options, then the thirteen others
  const int slot = stop <= 2 ? 0 : stop - 2;
  const int next = (slot + (forward ? 1 : kStops - 1)) % kStops;
  if (next == 0) return order[selectedOption == 2 || selectedOption == 3 ? selectedOption - 1 : 0];
  return order[static_cast<size_t>(next + 2)];
}

int ToPixels(int twips, int dpi) {
  return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / 1440.0));
}

std::pair<int, int> CenterPosition(int screenWidth, int screenHeight, int windowWidth,
                                   int windowHeight) {
  const float left =
      (static_cast<float>(screenWidth) - static_cast<float>(windowWidth)) / 2.0f;
  const float top =
      (static_cast<float>(screenHeight) - static_cast<float>(windowHeight)) / 3.0f;
  return {static_cast<int>(std::lround(left)), static_cast<int>(std::lround(top))};
}

namespace {
constexpr std::string_view kTextNames[kTextCount] = {"Text1", "Text2", "Text3", "Text4",
                                                     "Text5", "Text6", "Text7"};
}  // namespace

std::string_view TextName(int i) { return kTextNames[i]; }

int TextIndex(std::string_view name) {
  for (int i = 0; i < kTextCount; ++i) {
    if (kTextNames[i] == name) return i;
  }
  return -1;
}

Values ValuesOf(const Settings& s) {
  Values v;
  v.texts = {s.Text1, s.Text2, s.Text3, s.Text4, s.Text5, s.Text6, s.Text7};
  // A datum= line that cannot be used shows neither; the run names it.
  std::vector<std::string> unusable;
  v.option3 = ReadConversionOptions(s, unusable).cgcs2000;
  v.option2 = s.Option2 && !v.option3;
  v.option1 = s.Option1 && !s.Option2 && !v.option3;
  v.check1 = s.Check1 == 1 || s.Check1 == 2 ? s.Check1 : 0;
  v.extra = s.extra;
  return v;
}

Settings SettingsOf(const Values& v) {
  Settings s;
  s.Text1 = v.texts[0];
  s.Text2 = v.texts[1];
  s.Text3 = v.texts[2];
  s.Text4 = v.texts[3];
  s.Text5 = v.texts[4];
  s.Text6 = v.texts[5];
  s.Text7 = v.texts[6];
  s.Option1 = v.option1;
  s.Option2 = v.option2;
  s.Check1 = v.check1;
  s.extra = v.extra;
  // The datum= line is rewritten only when the third option changed it.
  std::vector<std::string> unusable;
  ConversionOptions options = ReadConversionOptions(s, unusable);
  options.cgcs2000 = v.option3;
  StoreConversionOptions(options, s);
  if (v.option3) s.Option1 = s.Option2 = false;
  return s;
}

}  // namespace varnolt::form
