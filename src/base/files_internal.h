// What both platforms' file code shares: the wording of failures and the name of a
// document's temporary file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace varnolt::files_detail {

// Error(kFileAccess): "cannot ACTION 'PATH': WHY".
[[noreturn]] void FailFile(const std::string& action, const std::filesystem::path& path,
                           const std::string& why);

// Error(kGeneral) for a file above the size limit; `size` 0 when only the bytes read
// so far told (a file that grew, or a pipe).
[[noreturn]] void FailTooLarge(const std::filesystem::path& path, uint64_t size,
                               uint64_t maxBytes);

// A name no other writer uses, in the target's own folder so that the final rename
// cannot cross file systems: ".NAME.tmpNNNNNN".
std::filesystem::path TemporaryBeside(const std::filesystem::path& target);

}  // namespace varnolt::files_detail
