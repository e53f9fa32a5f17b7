#include <windows.h>

#include <string>

#include "base/files.h"
#include "base/files_internal.h"
#include "base/wide.h"

namespace varnolt {

using files_detail::FailFile;

namespace {

// The system's own description of an error code, or its number when it has none.
std::string ErrorText(DWORD code) {
  const std::string text = SystemErrorText(code);
  return text.empty() ? "error " + std::to_string(code) : text;
}

HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

std::string ReadFile(const std::filesystem::path& path, uint64_t maxBytes) {
  const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) FailFile("open", path, ErrorText(::GetLastError()));
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(h, &size)) {
    const DWORD err = ::GetLastError();
    ::CloseHandle(h);
    FailFile("read", path, ErrorText(err));
  }
  if (size.QuadPart > 0 && static_cast<uint64_t>(size.QuadPart) > maxBytes) {
    ::CloseHandle(h);
    files_detail::FailTooLarge(path, static_cast<uint64_t>(size.QuadPart), maxBytes);
  }
  std::string data;
  if (size.QuadPart > 0) data.reserve(static_cast<size_t>(size.QuadPart));
  char buf[1 << 16];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(h, buf, sizeof buf, &n, nullptr)) {
      const DWORD err = ::GetLastError();
      ::CloseHandle(h);
      FailFile("read", path, ErrorText(err));
    }
    if (n == 0) break;
    data.append(buf, n);
    if (data.size() > maxBytes) {  // a file that grew
      ::CloseHandle(h);
      files_detail::FailTooLarge(path, 0, maxBytes);
    }
  }
  ::CloseHandle(h);
  return data;
}

// The Windows edition syncs once, before the rename.
struct AtomicFile::Syncer {};

// Read whole: the Windows edition keeps the plain path.
FileBytes::FileBytes(const std::filesystem::path& path, uint64_t maxBytes)
    : data_(ReadFile(path, maxBytes)) {}

FileBytes::~FileBytes() = default;

AtomicFile::AtomicFile(const std::filesystem::path& path)
    : path_(path), temp_(files_detail::TemporaryBeside(path)) {
  const HANDLE h = ::CreateFileW(temp_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) FailFile("create", path, ErrorText(::GetLastError()));
  handle_ = reinterpret_cast<intptr_t>(h);
}

AtomicFile::~AtomicFile() {
  if (handle_ != -1) {
    ::CloseHandle(AsHandle(handle_));
    ::DeleteFileW(temp_.c_str());
  }
}

void AtomicFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    DWORD n = 0;
    if (!::WriteFile(AsHandle(handle_), bytes.data(), chunk, &n, nullptr)) {
      FailFile("write", path_, ErrorText(::GetLastError()));
    }
    bytes.remove_prefix(n);
  }
}

void AtomicFile::Commit() {
  const HANDLE h = AsHandle(handle_);
  if (!::FlushFileBuffers(h)) FailFile("write", path_, ErrorText(::GetLastError()));
  handle_ = -1;
  if (!::CloseHandle(h)) {
    const DWORD err = ::GetLastError();
    ::DeleteFileW(temp_.c_str());
    FailFile("write", path_, ErrorText(err));
  }
  // Replaces an earlier file in one step; it stays as it was when this fails.
  if (!::MoveFileExW(temp_.c_str(), path_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD err = ::GetLastError();
    ::DeleteFileW(temp_.c_str());
    FailFile("replace", path_, ErrorText(err));
  }
}

}  // namespace varnolt
