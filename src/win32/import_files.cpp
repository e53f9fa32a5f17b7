#include "win32/import_files.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/paths.h"
#include "cad/autocad.h"
#include "cad/dxf_writer.h"
#include "import/import.h"
#include "settings/conversion_options.h"
#include "win32/dialog_filter.h"

namespace varnolt::win32 {
namespace {

namespace fs = std::filesystem;

// The files chosen in the open dialog, several at once; none when it was cancelled.
std::vector<fs::path> ChooseFiles(HWND owner) {
  const std::wstring title = Widen(kImportTitle);
  const std::wstring filter =
      DialogFilter({{"KML/KMZ/GPX/GeoJSON(*.kml *.kmz *.gpx *.geojson *.json)",
                     "*.kml;*.kmz;*.gpx;*.geojson;*.json"},
                    {"所有文件（*.*)", "*.*"}});
  std::wstring buffer(65536, L'\0');
  OPENFILENAMEW ofn =
      FileDialogOf(owner, filter, buffer, title, OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT);
  if (!::GetOpenFileNameW(&ofn)) return {};
  // One file: its path. Several: the folder, then each name, each ended by a NUL.
  std::vector<std::wstring> parts;
  for (const wchar_t* p = buffer.c_str(); *p != L'\0'; p += parts.back().size() + 1) {
    parts.emplace_back(p);
  }
  if (parts.size() <= 1) return {parts.begin(), parts.end()};
  std::vector<fs::path> files;
  for (size_t k = 1; k < parts.size(); ++k) files.push_back(fs::path(parts[0]) / parts[k]);
  return files;
}

// Whether the files go into the running CAD host's drawing; empty when the user
// cancelled.
std::optional<bool> IntoCad(HWND owner, const std::string& progId) {
  if (!CadRunning(progId)) return false;
  const std::wstring title = Widen(kImportTargetTitle);
  const int answer = ::MessageBoxW(owner,
                                   L"CAD 程序正在运行。\n\n"
                                   L"是：加入它当前的图形\n否：保存为 DXF 文件",
                                   title.c_str(), MB_YESNOCANCEL | MB_ICONQUESTION);
  if (answer == IDCANCEL) return std::nullopt;
  return answer == IDYES;
}

// "track.gpx（GPX）：12 个对象，340 个点 → where"
std::string Line(const fs::path& input, const ImportedDrawing& d, const std::string& where) {
  return Utf8(input.filename()) + "（" + d.format + "）：" + std::to_string(d.entities.size()) +
         " 个对象，" + std::to_string(d.positions) + " 个点 → " + where;
}

}  // namespace

void ImportGeoFiles(HWND owner, form::FormHost& host, const Settings& settings,
                    const std::string& chosen) {
  const std::vector<fs::path> inputs = ChooseFiles(owner);
  if (inputs.empty()) return;
  std::string progId = chosen;
  std::unique_ptr<SettingsPlane> plane;
  std::optional<bool> intoCad;
  try {
    if (progId.empty()) progId = ReadConversionOptions(settings).cadProgId;
    plane = std::make_unique<SettingsPlane>(settings);
    intoCad = IntoCad(owner, progId);
  } catch (const Error& e) {
    form::ShowConversionFailure(host, e.kind(), e.what());
    return;
  }
  if (!intoCad) return;
  fs::path first;
  if (!*intoCad) {
    const auto named = host.SaveFileName(kImportSaveTitle, {{"DXF图形文件(*.dxf)", "*.dxf"}});
    if (!named || named->empty()) return;
    first = named->has_extension() ? *named : fs::path(*named).replace_extension(".dxf");
  }
  std::unique_ptr<CadSession> session;
  std::string report;
  const HCURSOR old = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
  for (size_t k = 0; k < inputs.size(); ++k) {
    try {
      const ImportedDrawing d = ImportFile(inputs[k], plane->finder(), ImportOptions());
      if (*intoCad) {
        if (!session) session = ConnectCad(progId);
        session->AddToModelSpace(d.layers, d.entities);
        report += Line(inputs[k], d, session->Describe()) + "\n";
      } else {
        const fs::path out =
            k == 0 ? first : first.parent_path() / inputs[k].stem().concat(".dxf");
        WriteDxfFile(out, d.layers, d.entities);
        report += Line(inputs[k], d, Utf8(out)) + "\n";
      }
    } catch (const Error& e) {
      form::ShowConversionFailure(host, e.kind(), e.what());
    }
  }
  ::SetCursor(old);
  if (!report.empty()) host.ShowMessage(MessageIcon::kInformation, kImportDoneTitle, report, "");
}

}  // namespace varnolt::win32
