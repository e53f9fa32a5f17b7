#include "settings/settings.h"

#include <optional>
#include <system_error>
#include <vector>

#include "base/error.h"
#include "base/files.h"
#include "base/paths.h"
#include "base/platform.h"
#include "text/ascii.h"
#include "text/encoding.h"
#include "text/numtext.h"

namespace varnolt {
namespace {

constexpr size_t kLineCount = 10;

// The file's lines: LF or CR LF ends. A last line without an end still counts;
// the empty rest after a final line end does not.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// An option button's line: a number (non-zero is selected) or True/False.
std::optional<bool> ReadBoolean(std::string_view line) {
  std::string_view word = TrimBlanks(line);
  if (EqualsIgnoringAsciiCase(word, "true")) return true;
  if (EqualsIgnoringAsciiCase(word, "false")) return false;
  double value = 0;
  if (!ParseNumber(line, value)) return std::nullopt;
  return value != 0;
}

// The check box's line: 0 unchecked, 1 checked, 2 greyed; nothing else.
std::optional<int> ReadCheckState(std::string_view line) {
  double value = 0;
  if (!ParseNumber(line, value)) return std::nullopt;
  if (value == 0) return 0;
  if (value == 1) return 1;
  if (value == 2) return 2;
  return std::nullopt;
}

}  // namespace

std::string Settings::Extra(std::string_view key) const {
  for (const auto& [k, v] : extra) {
    if (k == key) return v;
  }
  return {};
}

void Settings::SetExtra(std::string_view key, std::string value) {
  for (auto it = extra.begin(); it != extra.end(); ++it) {
    if (it->first != key) continue;
    if (value.empty()) {
      extra.erase(it);
    } else {
      it->second = std::move(value);
    }
    return;
  }
  if (!value.empty()) extra.emplace_back(std::string(key), std::move(value));
}

std::string SettingsFileText(const Settings& settings) {
  std::string text;
  for (const std::string* line : {&settings.Text1, &settings.Text2, &settings.Text3,
                                  &settings.Text4, &settings.Text5, &settings.Text6,
                                  &settings.Text7}) {
    text += *line;
    text += "\r\n";
  }
  text += settings.Option1 ? "-1\r\n" : "0\r\n";
  text += settings.Option2 ? "-1\r\n" : "0\r\n";
  text += std::to_string(settings.Check1);
  text += "\r\n";
  for (const auto& [key, value] : settings.extra) {
    text += key;
    text += '=';
    text += value;
    text += "\r\n";
  }
  return text;
}

bool ParseSettings(std::string_view bytes, Settings& settings) {
  const std::string text = DecodeUserText(bytes);
  const std::vector<std::string_view> lines = SplitLines(text);
  if (lines.size() < kLineCount) return false;

  const std::optional<bool> option1 = ReadBoolean(lines[7]);
  const std::optional<bool> option2 = ReadBoolean(lines[8]);
  const std::optional<int> check1 = ReadCheckState(lines[9]);
  if (!option1 || !option2 || !check1) return false;

  Settings loaded;
  loaded.Text1 = lines[0];
  loaded.Text2 = lines[1];
  loaded.Text3 = lines[2];
  loaded.Text4 = lines[3];
  loaded.Text5 = lines[4];
  loaded.Text6 = lines[5];
  loaded.Text7 = lines[6];
  // The two datum buttons are one group, set in file order: selecting Option2 clears
  // Option1, so "-1" on both lines ends with Option2 alone; "0" on both leaves
  // neither selected.
  loaded.Option1 = *option1 && !*option2;
  loaded.Option2 = *option2;
  loaded.Check1 = *check1;
  // Lines after the tenth: "key=value" extras; anything else there is ignored, as
  // older builds ignore the lot.
  for (size_t k = kLineCount; k < lines.size(); ++k) {
    const size_t eq = lines[k].find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = TrimBlanks(lines[k].substr(0, eq));
    if (!key.empty()) loaded.SetExtra(key, std::string(TrimBlanks(lines[k].substr(eq + 1))));
  }
  settings = loaded;
  return true;
}

Settings LoadSettings(const std::filesystem::path& path) {
  Settings settings;
  try {
    if (!ParseSettings(ReadFile(path), settings)) return Settings{};
  } catch (const Error&) {
    // A missing or unreadable file is the ordinary first start: defaults, no message.
    return Settings{};
  }
  return settings;
}

void SaveSettings(const std::filesystem::path& path, const Settings& settings) {
  const std::filesystem::path dir = path.parent_path();
  if (!dir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
      throw Error(ErrorKind::kFileAccess, "cannot create the folder of the settings file '" +
                                              Utf8(path) + "': " + ec.message());
    }
  }
  WriteFileAtomically(path, SettingsFileText(settings));
}

std::filesystem::path DefaultSettingsPath() {
  const std::filesystem::path dir = ExecutableDirectory();
  if (DirectoryWritable(dir)) return dir / "Varnolt.ini";
  // An installed program cannot write beside itself: a per-user file instead.
  return UserSettingsDirectory() / "Varnolt.ini";
}

}  // namespace varnolt
