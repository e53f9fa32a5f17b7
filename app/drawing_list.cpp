#include "drawing_list.h"

#include <algorithm>
#include <system_error>

#include "base/paths.h"
#include "base/platform.h"
#include "text/ascii.h"

namespace varnolt::cli {

namespace {

namespace fs = std::filesystem;

bool IsDxf(const fs::path& p) { return EqualsIgnoringAsciiCase(Utf8(p.extension()), ".dxf"); }

// Every .dxf file in `folder` (and below it with `recursive`), in name order.
std::string ListFolder(const std::string& folder, bool recursive, DrawingList& list) {
  const fs::path root = PathFromUtf8(folder);
  std::vector<fs::path> found;
  std::error_code ec;
  auto take = [&found](const fs::directory_entry& entry) {
    std::error_code kind;
    if (entry.is_regular_file(kind) && IsDxf(entry.path())) found.push_back(entry.path());
  };
  const auto options = fs::directory_options::skip_permission_denied;
  if (recursive) {
    for (fs::recursive_directory_iterator it(root, options, ec), end; !ec && it != end;
         it.increment(ec)) {
      take(*it);
    }
  } else {
    for (fs::directory_iterator it(root, options, ec), end; !ec && it != end; it.increment(ec)) {
      take(*it);
    }
  }
  if (ec) return "cannot read the folder '" + folder + "': " + ec.message();
  if (found.empty()) {
    return "the folder '" + folder + "' holds no .dxf drawing" +
           (recursive ? "" : " (--recursive also looks in its subfolders)");
  }
  std::sort(found.begin(), found.end());
  for (const fs::path& p : found) list.drawings.push_back({Utf8(p), p.lexically_relative(root)});
  return {};
}

}  // namespace

std::string ListDrawings(const std::vector<std::string>& arguments, bool recursive,
                         DrawingList& list) {
  for (const std::string& argument : arguments) {
    const std::vector<std::string> names = ExpandWildcards(argument);
    if (names.empty()) return "'" + argument + "' matches no file";
    if (names.size() != 1 || names.front() != argument) list.batch = true;
    for (const std::string& name : names) {
      std::error_code ec;
      if (fs::is_directory(PathFromUtf8(name), ec)) {
        list.batch = true;
        if (std::string wrong = ListFolder(name, recursive, list); !wrong.empty()) return wrong;
      } else {
        list.drawings.push_back({name, PathFromUtf8(name).filename()});
      }
    }
  }
  return {};
}

}  // namespace varnolt::cli
