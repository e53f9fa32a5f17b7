#include "base/files.h"

#include <random>

#include "base/error.h"
#include "base/files_internal.h"
#include "base/paths.h"

namespace varnolt {

namespace files_detail {

void FailFile(const std::string& action, const std::filesystem::path& path,
              const std::string& why) {
  throw Error(ErrorKind::kFileAccess, "cannot " + action + " '" + Utf8(path) + "': " + why);
}

void FailTooLarge(const std::filesystem::path& path, uint64_t size, uint64_t maxBytes) {
  if (size == 0) {
    throw Error(ErrorKind::kGeneral, "'" + Utf8(path) + "' is larger than the limit of " +
                                         std::to_string(maxBytes) + " bytes");
  }
  throw Error(ErrorKind::kGeneral,
              "'" + Utf8(path) + "' is " + std::to_string(size) +
                  " bytes, larger than the limit of " + std::to_string(maxBytes) +
                  " bytes (the command line's --max-file-size raises it)");
}

std::filesystem::path TemporaryBeside(const std::filesystem::path& target) {
  std::random_device rd;
  // Built by appending: GCC 12 at -O3 reports a false -Wrestrict on "." + string.
  std::u8string name(1, u8'.');
  name += target.filename().u8string();
  name += u8".tmp";
  const std::string number = std::to_string(rd() % 1000000);
  name.append(number.begin(), number.end());
  return target.parent_path() / name;
}

}  // namespace files_detail

void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  AtomicFile file(path);
  file.Write(bytes);
  file.Commit();
}

}  // namespace varnolt
