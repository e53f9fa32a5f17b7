// The conversion options dialog ("转换选项") as data, for every toolkit that draws it:
// the captions of what else to convert beyond the seven families, how to organise the
// document and how points reach WGS 84. It edits a ConversionOptions value, which
// lives in the settings file's opt-in lines.
#pragma once

#include <string>
#include <string_view>

#include "settings/conversion_options.h"

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
  std::string_view caption;
  bool ConversionOptions::*field;
};
inline constexpr SwitchChoice kReadingChoices[] = {
    {"文字名称去掉格式代码（按CAD显示的纯文本）", &ConversionOptions::plainText},
    {"严格：有无法转换的实体时整个图形不转换", &ConversionOptions::strict},
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

}  // namespace varnolt::form
