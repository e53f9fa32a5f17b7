// The conversion options dialog ("转换选项") as data, for every toolkit that draws it:
// what else to convert beyond the seven families and how to organise the document.
// The choices live in the settings file's opt-in lines; all off, nothing is
// written there and every document is as it has always been.
#pragma once

#include <string_view>

#include "cad/entity.h"
#include "settings/settings.h"

namespace varnolt::form {

inline constexpr std::string_view kOptionsCaption = "转换选项";

enum class Altitude { kRelative, kClamp, kAbsolute };

struct ConversionOptions {
  unsigned include = 0;  // IncludeKind bits
  bool polygons = false;
  bool layerFolders = false;
  bool attributes = false;
  Altitude altitude = Altitude::kRelative;
  bool operator==(const ConversionOptions&) const = default;
};

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
};
inline constexpr std::string_view kPolygonsCaption = "闭合多段线和圆转为填充多边形";
inline constexpr std::string_view kLayerFoldersCaption = "每个图层一个文件夹";
inline constexpr std::string_view kAttributesCaption = "附加属性（图层、句柄、类型、颜色、块）";
inline constexpr std::string_view kAltitudeCaption = "高度模式";
// The altitude choices in the order of Altitude.
inline constexpr std::string_view kAltitudeChoices[] = {"相对地面", "贴地", "绝对高度"};

// What the settings hold; a value the dialog does not know reads as its default.
ConversionOptions OptionsOf(const Settings& settings);
// Writes the options into the settings' opt-in lines; a default removes its line.
void StoreOptions(const ConversionOptions& options, Settings& settings);

}  // namespace varnolt::form
