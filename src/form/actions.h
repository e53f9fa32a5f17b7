// What the main window's buttons do, written once for every toolkit: the window
// supplies a FormHost (its controls, dialogs, message boxes and the desktop) and
// these sequences decide what is asked, in which order, and which message a
// failure gets.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "cad/entity.h"
#include "run/run.h"
#include "settings/conversion_options.h"
#include "settings/settings.h"

namespace varnolt {

enum class MessageIcon { kCritical, kWarning, kInformation };

// The maker's home page, opened by the "更多软件" button.
inline constexpr const char* kHomePage = "https://varnolt.example.com/";

namespace form {

// Title of every failure box.
inline constexpr std::string_view kErrorTitle = "错误";

// One entry of a file dialog's filter: what the user reads and the pattern.
struct FileFilter {
  std::string description;
  std::string pattern;  // "*.kml"; several separated by ';'
};

inline constexpr std::string_view kSaveTitle = "保存kml文件";
inline constexpr std::string_view kOpenPointsTitle = "读取平面坐标及对应点84经纬度资料";
inline constexpr std::string_view kOpenDrawingTitle = "打开图形";
std::vector<FileFilter> SaveFilters();
std::vector<FileFilter> OpenPointsFilters();
std::vector<FileFilter> OpenDrawingFilters();

class FormHost {
 public:
  virtual ~FormHost() = default;
  // The controls: the settings they show now, and one settings box set (0 to
  // kTextCount - 1, as form/controls.h numbers them).
  virtual Settings CurrentSettings() = 0;
  virtual void SetText(int index, const std::string& text) = 0;
  // A file dialog; nullopt when it was cancelled.
  virtual std::optional<std::filesystem::path> SaveFileName(
      std::string_view title, const std::vector<FileFilter>& filters) = 0;
  virtual std::optional<std::filesystem::path> OpenFileName(
      std::string_view title, const std::vector<FileFilter>& filters) = 0;
  // A modal box with an OK button; `detail` says in English what failed and where.
  virtual void ShowMessage(MessageIcon icon, std::string_view title, std::string_view text,
                           std::string_view detail) = 0;
  // Shows the calculator's result table in a text editor; hands a local file (the
  // manual) or a web address to the desktop. False when nothing could be started.
  virtual bool ShowTextFile(const std::filesystem::path& file) = 0;
  virtual bool OpenFile(const std::filesystem::path& file) = 0;
  virtual bool OpenUrl(std::string_view url) = 0;
  virtual void ShowAbout() = 0;
  virtual void Quit() = 0;
};

// Thrown by a source attacher that has already told the user why it failed (the CAD
// host's own error text): the run ends with no message of ours.
struct Abandoned {};

// The drawing to convert from, attached once the output is named: throws Error (its
// message is shown) or Abandoned, or returns null when the user chose none.
using SourceAttacher = std::function<std::unique_ptr<EntitySource>()>;

// Shows a conversion's failure of this kind in the "错误" box.
void ShowConversionFailure(FormHost& host, ErrorKind kind, std::string_view detail);

// Convert, up to a named output: saves the settings, checks the opt-in lines (one
// that cannot be used is named in the box), asks for the KML file and creates it.
// Null after a failure, whose message has been shown.
std::unique_ptr<OutputDocument> BeginConversion(FormHost& host,
                                                const std::filesystem::path& settingsPath);

// Runs the conversion of `source` into `output` and shows any failure. True when the
// document was written.
bool FinishConversion(FormHost& host, EntitySource& source, const Settings& settings,
                      OutputDocument& output, RunReporter& reporter,
                      std::chrono::system_clock::time_point started);

// The whole of Convert for a window whose source is attached at once; the run's
// prompts go to `reporter`.
bool Convert(FormHost& host, const std::filesystem::path& settingsPath,
             const SourceAttacher& attach, RunReporter& reporter);

// The correction calculator: saves the settings, asks for the control points,
// computes, puts the averages into Text5 and Text6 and opens the result table.
bool CalculateCorrection(FormHost& host, const std::filesystem::path& settingsPath);

// The third datum option chosen: CGCS2000 and WGS 84 agree to centimetres, so the
// two corrections become 0.
void ChooseCgcs2000(FormHost& host);

// The conversion options the dialog opens with. Lines that cannot be used are shown
// in one box and read as their defaults; each stays in the file as written unless
// the dialog changes its option (StoreConversionOptions).
ConversionOptions OptionsToEdit(FormHost& host, const Settings& settings);

// The manual: manual.html beside the program, then in ../share/varnolt, then in
// `sourceDocs` when given. Empty when none exists.
std::filesystem::path ManualPath(const std::filesystem::path& programDir,
                                 const std::filesystem::path& sourceDocs = {});
// Help: opens the manual, or says that it is missing.
void ShowHelp(FormHost& host, const std::filesystem::path& manual);
// The maker's page, then the about box.
void MoreSoftware(FormHost& host);

}  // namespace form
}  // namespace varnolt
