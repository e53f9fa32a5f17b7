#include "cad/cad_export.h"

#include <atomic>
#include <optional>

#include "base/wide.h"
#include "settings/include_kinds.h"

namespace varnolt {
namespace {

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A fresh name in the user's temporary folder for the host to export to, and the
// files it may write there deleted when this goes, on every path. The name is given
// without an extension: the host writes NAME.dxf (as its documentation shows), or
// NAME when it takes the name as it stands.
class ExportFile {
 public:
  ExportFile() {
    wchar_t folder[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, folder);
    if (n == 0 || n > MAX_PATH) {
      why_ = "the temporary folder cannot be found: " + com::HresultText(HRESULT_FROM_WIN32(::GetLastError()));
      return;
    }
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100 && base_.empty(); ++attempt) {
      const std::wstring name = std::wstring(folder) + L"varnolt-export-" +
                                std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                std::to_wstring(++counter) + L"-" +
                                std::to_wstring(::GetTickCount64());
      if (!Exists(name) && !Exists(name + L".dxf")) base_ = name;
    }
    if (base_.empty()) why_ = "no fresh name for the exported drawing in the temporary folder";
  }
  ~ExportFile() {
    if (base_.empty()) return;
    for (const std::wstring& path : {base_ + L".dxf", base_}) {
      if (Exists(path)) ::DeleteFileW(path.c_str());
    }
  }
  ExportFile(const ExportFile&) = delete;
  ExportFile& operator=(const ExportFile&) = delete;

  // Why there is no name; empty when there is one.
  const std::string& why() const { return why_; }
  std::string base() const { return Narrow(base_); }
  // The file the host wrote, of the two names it may have used.
  std::optional<std::wstring> Written() const {
    for (const std::wstring& path : {base_ + L".dxf", base_}) {
      const DWORD attributes = ::GetFileAttributesW(path.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return path;
      }
    }
    return std::nullopt;
  }

 private:
  std::wstring base_;
  std::string why_;
};

// "2A, 2B, 2C and 4 more": the handles a message names.
std::string HandleList(const std::vector<std::string>& handles) {
  constexpr size_t kNamed = 3;
  std::string text;
  for (size_t k = 0; k < handles.size() && k < kNamed; ++k) text += (k == 0 ? "" : ", ") + handles[k];
  if (handles.size() > kNamed) text += " and " + std::to_string(handles.size() - kNamed) + " more";
  return text;
}

}  // namespace

ExportedDrawing ReadExportedDrawing(const com::Obj& document, const com::Obj& set,
                                    const std::vector<std::string>& handles,
                                    const DxfLimits& limits) {
  ExportedDrawing result;
  const ExportFile file;
  if (!file.why().empty()) {
    result.why = file.why();
    return result;
  }
  try {
    com::Call(document, L"Export", file.base(), std::string("DXF"), set);
  } catch (const Error& e) {
    result.why = e.kind() == ErrorKind::kUnsupported ? "the CAD host offers no Export"
                                                     : std::string("Export failed: ") + e.what();
    return result;
  }
  const std::optional<std::wstring> written = file.Written();
  if (!written) {
    result.why = "Export wrote no file at " + file.base() + ".dxf";
    return result;
  }
  DxfLimits reading = limits;
  reading.pick = std::make_shared<DxfPick>(handles);
  std::unique_ptr<DxfSource> source;
  try {
    source = std::make_unique<DxfSource>(std::filesystem::path(*written), reading);
  } catch (const Error& e) {
    result.why = std::string("the exported drawing cannot be read: ") + e.what();
    return result;
  }
  const std::vector<std::string>& missing = source->drawing().unmatched;
  if (!missing.empty()) {
    result.why = "the exported drawing lacks " + std::to_string(missing.size()) + " of the " +
                 std::to_string(handles.size()) + " picked entities (handle " +
                 HandleList(missing) + ")";
    return result;
  }
  result.source = std::move(source);
  return result;
}

SourceNote MemberByMemberNote(const std::string& why, unsigned include) {
  SourceNote note;
  note.english = "the drawing was not read through the CAD host's Export (" + why +
                 "); the picked lines, arcs, circles, polylines, 3D polylines, texts and "
                 "multiline texts were read one by one";
  note.chinese = "未能通过 CAD 的导出功能读取图形（" + why +
                 "），已逐个读取所选的直线、圆弧、圆、多段线、三维多段线、文本和多行文本";
  if (include != 0) {
    const std::string list = IncludeListText(include);
    note.english += "; --include " + list + " was not honoured";
    note.chinese += "；转换选项中的 " + list + " 未能转换";
  }
  return note;
}

}  // namespace varnolt
