// The conversion options dialog ("转换选项") as data, for every toolkit that draws it:
// the captions of what else to convert beyond the seven families, how to organise the
// document and how points reach WGS 84. It edits a ConversionOptions value, which
// lives in the settings file's opt-in lines.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/conversion_options.h"
#include "settings/settings.h"

namespace varnolt::form {

inline constexpr std::string_view kOptionsCaption = "转换选项";

// The dialog's check boxes for the content, in the order shown.
struct IncludeChoice {
  std::string_view caption;
  unsigned bit;
};
inline constexpr IncludeChoice kIncludeChoices[] = {
    {"块参照（炸开，含属性和标注）", kIncludeBlocks},
    {"点", kIncludePoints},
    {"椭圆", kIncludeEllipses},
    {"样条曲线", kIncludeSplines},
    {"拟合多段线", kIncludeFitted},
    {"填充（多边形）", kIncludeHatches},
    {"二维填充、宽线、三维面（多边形）", kIncludeSolids},
    {"网格（每个面一个多边形）", kIncludeMeshes},
    {"引线和多重引线（含文字）", kIncludeLeaders},
    {"光栅图像和区域覆盖的边框", kIncludeFrames},
};

// The dialog's yes/no boxes for how texts are named and how strictly a drawing is
// read, each an opt-in line, in the order shown.
struct SwitchChoice {
  std::string_view name;  // the opt-in line's key, which names the dialog's row
  std::string_view caption;
  bool ConversionOptions::*field;
};
inline constexpr SwitchChoice kReadingChoices[] = {
    {"plain_text", "文字名称去掉格式代码（按CAD显示的纯文本）", &ConversionOptions::plainText},
    {"strict", "严格：有无法转换的实体时整个图形不转换", &ConversionOptions::strict},
};
inline constexpr std::string_view kPolygonsCaption = "闭合多段线和圆转为填充多边形";
inline constexpr std::string_view kLayerFoldersCaption = "每个图层一个文件夹";
inline constexpr std::string_view kAttributesCaption = "附加属性（图层、句柄、类型、颜色、块）";
inline constexpr std::string_view kAltitudeCaption = "高度模式";
// The altitude choices in the order of varnolt::Altitude.
inline constexpr std::string_view kAltitudeChoices[] = {"相对地面", "贴地", "绝对高度"};
inline constexpr std::string_view kZoneAutoCaption = "东坐标含带号（由带号定中央子午线）";
inline constexpr std::string_view kMethodCaption = "转换到世界84";
// The methods in the order of varnolt::Method.
inline constexpr std::string_view kMethodChoices[] = {"经纬度修正（分）", "四参数（varnolt fit 求得）",
                                                      "七参数"};
inline constexpr std::string_view kHelmertCaption = "七参数 dx,dy,dz(米),rx,ry,rz(秒),ppm";
inline constexpr std::string_view kCoordinateFrameCaption = "旋转按坐标框架约定";
inline constexpr std::string_view kGcj02Caption = "输出GCJ-02坐标（国内网络地图，不用于Google Earth）";

// The zone box stands for zone=auto. Checking it chooses that; unchecking it clears
// it, while a zone a coordinate system fixed (zone=38) stays unless the box is checked.
inline bool ZoneAutoChecked(const ConversionOptions& o) {
  return o.zoneInEastings && o.requiredZone == 0;
}
void SetZoneAuto(ConversionOptions& o, bool checked);

// The seven numbers the box shows: those of helmert= with its method chosen, else none.
std::string HelmertBoxText(const ConversionOptions& o);
// The box's text as the seven numbers, its convention kept; false, `o` untouched,
// when the text is not seven numbers.
bool SetHelmertBoxText(ConversionOptions& o, std::string_view text);

// The dialog as a table, one row a control, in the order shown, grouped under the
// group boxes of kOptionGroups. Every toolkit lays its dialog out from these rows,
// so an option added here appears in every window without code of its own there.
enum class OptionControl { kCheck, kChoice, kText };
inline constexpr std::string_view kOptionGroups[] = {"同时转换", "文档", "坐标系统"};

struct OptionRow {
  std::string name;  // stable, for tests and toolkits that find controls by name
  int group;              // index into kOptionGroups
  OptionControl control;
  std::string_view caption;
  std::vector<std::string_view> choices;  // kChoice: in the order of its value
  // kCheck (0 or 1) and kChoice (the index): what the options show, and the choice
  // made into them.
  int (*value)(const ConversionOptions& o) = nullptr;
  void (*setValue)(ConversionOptions& o, int value) = nullptr;
  // kText: what the box shows, and the typed text made into the options; false (and
  // `o` untouched) when the text cannot be used, which `badText` then explains.
  std::string (*text)(const ConversionOptions& o) = nullptr;
  bool (*setText)(ConversionOptions& o, std::string_view text) = nullptr;
  std::string_view badText;
  // Whether the control can be changed with these options; null: always.
  bool (*enabled)(const ConversionOptions& o) = nullptr;
};
const std::vector<OptionRow>& OptionRows();
// The row of that name; null for none.
const OptionRow* FindOptionRow(std::string_view name);

// What the dialog's controls hold, one entry per row of OptionRows(): a check box's
// 0 or 1 or a choice's index in `values`, a text box's text in `texts` (empty for
// the other rows).
struct OptionValues {
  std::vector<int> values;
  std::vector<std::string> texts;
};
OptionValues OptionValuesOf(const ConversionOptions& options);

// The options the controls stand for, made from `given` row by row (what no row
// shows, such as the zone a coordinate system fixed, stays as given). `badRow` is
// the first text row whose text cannot be used, which is then left as given.
struct EditedOptions {
  ConversionOptions options;
  std::optional<size_t> badRow;
};
EditedOptions OptionsOf(const ConversionOptions& given, const OptionValues& values);

// OK in the options dialog: the options go into the opt-in lines of the settings file
// at once, whose ten lines and other lines stay as the file has them (a missing or
// unreadable file gets the defaults). The settings as saved. Throws Error(kFileAccess).
Settings SaveConversionOptions(const std::filesystem::path& settingsPath,
                               const ConversionOptions& options);

}  // namespace varnolt::form
