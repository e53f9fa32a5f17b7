#include "form/actions.h"

#include <exception>
#include <fstream>

#include "base/paths.h"
#include "calc/correction.h"
#include "form/controls.h"
#include "form/conversion_options.h"
#include "text/numtext.h"

namespace varnolt::form {

std::vector<FileFilter> SaveFilters() { return {{"kml文件(*.kml)", "*.kml"}}; }
std::vector<FileFilter> OpenPointsFilters() {
  return {{"坐标及经纬度文件(*.txt)", "*.txt"}, {"所有文件（*.*)", "*.*"}};
}
std::vector<FileFilter> OpenDrawingFilters() {
  return {{"DXF图形文件(*.dxf *.DXF)", "*.dxf;*.DXF"}, {"所有文件（*.*)", "*.*"}};
}

void ShowConversionFailure(FormHost& host, ErrorKind kind, std::string_view detail) {
  host.ShowMessage(MessageIcon::kCritical, kErrorTitle,
                   FailureMessage(Task::kConversion, kind), detail);
}

namespace {

// The line at fault goes into the box itself: the Win32 window shows no detail.
void ShowUnusableSetting(FormHost& host, const SettingError& e) {
  host.ShowMessage(MessageIcon::kCritical, kErrorTitle,
                   std::string("参数文件中的设置无法使用：\n") + e.what(), e.what());
}

}  // namespace

std::unique_ptr<OutputDocument> BeginConversion(FormHost& host,
                                                const std::filesystem::path& settingsPath) {
  try {
    SaveSettings(settingsPath, host.CurrentSettings());
    // A line the run cannot use is named before anything is asked for; the file
    // keeps it as written.
    ReadConversionOptions(host.CurrentSettings());
  } catch (const SettingError& e) {
    ShowUnusableSetting(host, e);
    return nullptr;
  } catch (const Error& e) {
    ShowConversionFailure(host, e.kind(), e.what());
    return nullptr;
  }
  const auto output = host.SaveFileName(kSaveTitle, SaveFilters());
  if (!output || output->empty()) {
    ShowConversionFailure(host, ErrorKind::kFileAccess, "no output file was chosen");
    return nullptr;
  }
  // Created now: a path that cannot be written fails before any drawing is opened.
  try {
    return std::make_unique<OutputDocument>(*output);
  } catch (const Error& e) {
    ShowConversionFailure(host, e.kind(), e.what());
    return nullptr;
  }
}

bool FinishConversion(FormHost& host, EntitySource& source, const Settings& settings,
                      OutputDocument& output, RunReporter& reporter,
                      std::chrono::system_clock::time_point started) {
  try {
    RunOptions options;
    options.started = started;
    RunConversion(source, settings, output, reporter, options);
    return true;
  } catch (const Error& e) {
    ShowConversionFailure(host, e.kind(), e.what());
  } catch (const std::exception& e) {
    // Out of memory and the like are "anything else" to the user.
    ShowConversionFailure(host, ErrorKind::kGeneral, e.what());
  }
  return false;
}

bool Convert(FormHost& host, const std::filesystem::path& settingsPath,
             const SourceAttacher& attach, RunReporter& reporter) {
  // The elapsed time the run reports counts from the click, dialogs included.
  const auto started = std::chrono::system_clock::now();
  std::unique_ptr<OutputDocument> output = BeginConversion(host, settingsPath);
  if (!output) return false;
  std::unique_ptr<EntitySource> source;
  try {
    source = attach();
  } catch (const Error& e) {
    ShowConversionFailure(host, e.kind(), e.what());
    return false;
  } catch (const Abandoned&) {
    return false;
  }
  if (!source) {
    ShowConversionFailure(host, ErrorKind::kGeneral, "no drawing was opened to select from");
    return false;
  }
  return FinishConversion(host, *source, host.CurrentSettings(), *output, reporter, started);
}

bool CalculateCorrection(FormHost& host, const std::filesystem::path& settingsPath) {
  auto fail = [&host](ErrorKind kind, std::string_view detail) {
    host.ShowMessage(MessageIcon::kCritical, kErrorTitle,
                     FailureMessage(Task::kCorrection, kind), detail);
    return false;
  };
  try {
    SaveSettings(settingsPath, host.CurrentSettings());
  } catch (const Error& e) {
    // Only the control points or the table count as file access here; a settings
    // file that cannot be written is "anything else".
    return fail(ErrorKind::kGeneral, e.what());
  }
  const auto input = host.OpenFileName(kOpenPointsTitle, OpenPointsFilters());
  if (!input || input->empty()) return fail(ErrorKind::kFileAccess, "no control-point file was chosen");
  if (!std::ifstream(*input, std::ios::binary)) {
    return fail(ErrorKind::kFileAccess, "cannot open '" + Utf8(*input) + "'");
  }
  // The file is open: the corrections are emptied so that the projection adds none,
  // and stay empty if the calculation fails from here on.
  host.SetText(kLatCorrectionText, "");
  host.SetText(kLonCorrectionText, "");
  CorrectionResult result;
  try {
    result = RunCorrection(host.CurrentSettings(), *input);
  } catch (const SettingError& e) {
    ShowUnusableSetting(host, e);
    return false;
  } catch (const Error& e) {
    return fail(e.kind(), e.what());
  } catch (const std::exception& e) {
    return fail(ErrorKind::kGeneral, e.what());
  }
  host.SetText(kLatCorrectionText, FixedText(result.latAverage, 5));
  host.SetText(kLonCorrectionText, FixedText(result.lonAverage, 5));
  // The corrections stand; only showing the table failed, so say where it is.
  const std::filesystem::path table = ResultPath(*input);
  if (!host.ShowTextFile(table)) {
    host.ShowMessage(MessageIcon::kWarning, "修正计算", "无法打开计算结果：" + Utf8(table),
                     "No text viewer could be started for the result table. The "
                     "corrections were put into the window; the table is in the file "
                     "named above.");
  }
  return true;
}

void ChooseCgcs2000(FormHost& host) {
  host.SetText(kLatCorrectionText, "0");
  host.SetText(kLonCorrectionText, "0");
}

ConversionOptions OptionsToEdit(FormHost& host, const Settings& settings) {
  std::vector<std::string> problems;
  const ConversionOptions options = ReadConversionOptions(settings, problems);
  if (!problems.empty()) {
    std::string lines;
    for (const std::string& p : problems) lines += (lines.empty() ? "" : "\n") + p;
    host.ShowMessage(MessageIcon::kWarning, kOptionsCaption,
                     "参数文件中以下设置无法使用，按默认值显示；不修改则保留原样：\n" + lines, lines);
  }
  return options;
}

std::filesystem::path ManualPath(const std::filesystem::path& programDir,
                                 const std::filesystem::path& sourceDocs) {
  std::vector<std::filesystem::path> candidates;
  if (!programDir.empty()) {
    candidates.push_back(programDir / "manual.html");
    candidates.push_back(programDir / ".." / "share" / "varnolt" / "manual.html");
  }
  if (!sourceDocs.empty()) candidates.push_back(sourceDocs / "manual.html");
  for (const auto& path : candidates) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) {
      const auto absolute = std::filesystem::absolute(path, ec);
      return (ec ? path : absolute).lexically_normal();
    }
  }
  return {};
}

void ShowHelp(FormHost& host, const std::filesystem::path& manual) {
  if (manual.empty()) {
    host.ShowMessage(MessageIcon::kWarning, "帮助", "找不到帮助文件 manual.html。",
                     "Looked beside the program, in ../share/varnolt and in the source "
                     "tree's docs/.");
    return;
  }
  host.OpenFile(manual);
}

void MoreSoftware(FormHost& host) {
  host.OpenUrl(kHomePage);
  host.ShowAbout();
}

}  // namespace varnolt::form
