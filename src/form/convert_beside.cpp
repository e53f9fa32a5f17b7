#include "form/convert_beside.h"

#include <exception>

#include "base/error.h"
#include "base/paths.h"
#include "cad/dxf.h"
#include "form/actions.h"
#include "run/run.h"
#include "settings/conversion_options.h"
#include "settings/settings.h"
#include "text/ascii.h"

namespace varnolt::form {

namespace {

// Keeps the run's last prompt and its warnings, in the box's words.
class BoxReporter : public RunReporter {
 public:
  void Prompt(const std::string& text) override { last = text; }
  void Warning(const RunWarning& warning) override { warnings += "\n" + warning.chinese; }
  std::string last;
  std::string warnings;
};

BesideOutcome Failed(const std::string& message, const std::filesystem::path& drawing,
                     const std::string& what) {
  return {false, std::string(kErrorTitle), message + "\n\n" + Utf8(drawing) + "\n" + what};
}

}  // namespace

BesideOutcome ConvertBeside(const std::filesystem::path& drawing,
                            const std::filesystem::path& settingsPath) {
  const std::filesystem::path out = std::filesystem::path(drawing).replace_extension(".kml");
  try {
    if (EqualsIgnoringAsciiCase(Utf8(drawing.extension()), ".kml")) {
      throw Error(ErrorKind::kFileAccess, "the drawing is itself a .kml file; refusing to "
                                          "overwrite it");
    }
    const Settings settings = LoadSettings(settingsPath);
    DxfLimits limits;
    limits.include = IncludedKinds(settings);
    OutputDocument document(out);  // a path that cannot be written fails before reading
    DxfSource source(drawing, limits);
    BoxReporter reporter;
    const RunResult result = RunConversion(source, settings, document, reporter);
    return {true, "转换完成",
            reporter.last + "\n\n共 " + std::to_string(result.entities) + " 个对象。" +
                reporter.warnings};
  } catch (const SettingError& e) {
    return Failed("参数文件中的设置无法使用：", settingsPath, e.what());
  } catch (const Error& e) {
    return Failed(FailureMessage(Task::kConversion, e.kind()), drawing, e.what());
  } catch (const std::exception& e) {
    // Out of memory and the like are "anything else" to the user.
    return Failed(FailureMessage(Task::kConversion, ErrorKind::kGeneral), drawing, e.what());
  }
}

}  // namespace varnolt::form
