// The ten settings and their file. The settings are text as the user typed it;
// every consumer reads a number from its text at the moment of use.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnolt {

struct Settings {
  std::string Text1 = "10";       // 直线最小分段长度: spacing of points on straight segments, m
  std::string Text2 = "115";      // 中央子午线: central meridian, packed DMS
  std::string Text3 = "100";      // 圆及圆弧分段个数: stored and shown only
  std::string Text4 = "6";        // 多段线显示线宽: line width of the styles
  std::string Text5 = "-0.0335";  // 转换到世界84纬度修正: latitude correction, minutes
  std::string Text6 = "0.039";    // 转换到世界84经度修正: longitude correction, minutes
  std::string Text7 = "10";       // 多段线中圆弧最小分段长度: chord above which a bulge is an arc
  bool Option1 = true;            // 北京54: Beijing 1954 datum
  bool Option2 = false;           // 西安80: Xi'an 1980 datum
  int Check1 = 0;                 // 多段线存在圆弧部分: 0 unchecked, 1 checked, 2 greyed (arcs on)

  // The opt-in settings beyond the ten, as key=value lines after line 10, in the
  // order they were set. Keys this build does not know are kept and written back, so
  // that a file shared with a newer build loses nothing.
  std::vector<std::pair<std::string, std::string>> extra;

  // The value of an extra setting; empty when unset.
  std::string Extra(std::string_view key) const;
  // Sets an extra setting; an empty value removes it.
  void SetExtra(std::string_view key, std::string value);

  bool operator==(const Settings&) const = default;
};

// The file's ten lines, CR LF after each: lines 1-7 the texts, lines 8 and 9 "-1" or
// "0", line 10 the check box's number; then one "key=value" line per extra setting.
std::string SettingsFileText(const Settings& settings);

// Reads the settings file. Anything wrong (missing or unreadable file, fewer than ten
// lines, a bad boolean or check-box value) gives all the defaults. Accepts a UTF-8
// byte-order mark, LF or CR LF line ends, and GB18030 text.
Settings LoadSettings(const std::filesystem::path& path);

// Parses the file's bytes; false (and `settings` untouched) when they are not a
// valid settings file.
bool ParseSettings(std::string_view bytes, Settings& settings);

// Writes the file (UTF-8, CR LF), replacing it. Throws Error(kFileAccess).
void SaveSettings(const std::filesystem::path& path, const Settings& settings);

// "Varnolt.ini" beside the executable or, when its folder is not writable (an
// installed program), in the user's own folder: $XDG_CONFIG_HOME/varnolt (default
// ~/.config/varnolt) on Linux, %APPDATA%\Varnolt on Windows.
std::filesystem::path DefaultSettingsPath();

}  // namespace varnolt
