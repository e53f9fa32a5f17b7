// The main window's 导入 KML/GPX…: KML, KMZ, GPX or GeoJSON files put onto the
// drawing's plane with the window's settings, written as DXF drawings or added to the
// drawing of the CAD host that runs.
#pragma once

#include <string>
#include <string_view>

#include "form/actions.h"
#include "settings/settings.h"
#include "win32/wide.h"

namespace varnolt::win32 {

inline constexpr std::string_view kImportTitle = "导入 KML/GPX";
inline constexpr std::string_view kImportSaveTitle = "保存 DXF 文件";
inline constexpr std::string_view kImportTargetTitle = "导入目标";  // CAD drawing or DXF
inline constexpr std::string_view kImportDoneTitle = "导入完成";

// Asks for the files (several may be chosen), then where they go: when a CAD host of
// `progId` (empty: the settings' cad_progid= line, else the hosts the session knows)
// runs, the user chooses between its drawing and a DXF file; else a DXF file. The DXF
// is named in a save dialog (with several files, each is named after its file, in the
// folder of the one chosen). A file that fails gets its box and the others go on;
// what was imported is told in one box at the end.
void ImportGeoFiles(HWND owner, form::FormHost& host, const Settings& settings,
                    const std::string& progId);

}  // namespace varnolt::win32
