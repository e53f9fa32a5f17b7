// The conversion options dialog ("转换选项") as data, for every toolkit that draws it:
// what else to convert beyond the seven families and how to organise the document.
// The choices live in the settings file's opt-in lines; all off, nothing is
// written there and every document is as it has always been.
#pragma once

#include <string>
#include <string_view>

#include "cad/entity.h"
#include "settings/settings.h"

namespace varnolt::form {

inline constexpr std::string_view kOptionsCaption = "转换选项";

enum class Altitude { kRelative, kClamp, kAbsolute };
// How plane points reach WGS 84: the minute corrections of the main window, the
// four-parameter plane fit saved by `varnolt fit --save`, or seven parameters.
enum class Method { kCorrections, kFourParameter, kHelmert };

struct ConversionOptions {
  unsigned include = 0;  // IncludeKind bits
  bool polygons = false;
  bool layerFolders = false;
  bool attributes = false;
  Altitude altitude = Altitude::kRelative;

  // Coordinate systems.
  bool zoneAuto = false;        // eastings carry the zone number, meridian from it
  Method method = Method::kCorrections;
  std::string helmert;          // "dx,dy,dz,rx,ry,rz,ppm" (m, arc-seconds, ppm)
  bool coordinateFrame = false; // the rotations' convention; default position vector
  bool gcj02 = false;           // write GCJ-02 positions (Chinese web maps)
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
inline constexpr std::string_view kZoneAutoCaption = "东坐标含带号（由带号定中央子午线）";
inline constexpr std::string_view kMethodCaption = "转换到世界84";
// The methods in the order of Method.
inline constexpr std::string_view kMethodChoices[] = {"经纬度修正（分）", "四参数（varnolt fit 求得）",
                                                      "七参数"};
inline constexpr std::string_view kHelmertCaption = "七参数 dx,dy,dz(米),rx,ry,rz(秒),ppm";
inline constexpr std::string_view kCoordinateFrameCaption = "旋转按坐标框架约定";
inline constexpr std::string_view kGcj02Caption = "输出GCJ-02坐标（国内网络地图，不用于Google Earth）";

// What the settings hold; a value the dialog does not know reads as its default.
ConversionOptions OptionsOf(const Settings& settings);
// Writes the options into the settings' opt-in lines; a default removes its line.
void StoreOptions(const ConversionOptions& options, Settings& settings);

}  // namespace varnolt::form
