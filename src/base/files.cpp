#include "base/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>

#include "base/error.h"

namespace varnolt {
namespace {

[[noreturn]] void FailFile(const std::string& action, const std::filesystem::path& path,
                           int err) {
  throw Error(ErrorKind::kFileAccess,
              "cannot " + action + " '" + path.string() + "': " + std::strerror(err));
}

}  // namespace

std::string ReadFile(const std::filesystem::path& path, uint64_t maxBytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) FailFile("open", path, errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    int err = errno;
    ::close(fd);
    FailFile("read", path, err);
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    FailFile("read", path, EISDIR);
  }
  if (st.st_size > 0 && static_cast<uint64_t>(st.st_size) > maxBytes) {
    ::close(fd);
    throw Error(ErrorKind::kGeneral,
                "'" + path.string() + "' is " + std::to_string(st.st_size) +
                    " bytes, larger than the limit of " + std::to_string(maxBytes) +
                    " bytes (the command line's --max-file-size raises it)");
  }
  std::string data;
  if (st.st_size > 0) data.reserve(static_cast<size_t>(st.st_size));
  char buf[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      FailFile("read", path, err);
    }
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
    if (data.size() > maxBytes) {  // a file that grew, or a pipe without a size
      ::close(fd);
      throw Error(ErrorKind::kGeneral, "'" + path.string() + "' is larger than the limit of " +
                                           std::to_string(maxBytes) + " bytes");
    }
  }
  ::close(fd);
  return data;
}

AtomicFile::AtomicFile(const std::filesystem::path& path) : path_(path) {
  // A name no other writer uses, in the target's own directory so that the final
  // rename cannot cross file systems.
  std::random_device rd;
  // Built by appending: GCC 12 at -O3 reports a false -Wrestrict on "." + string.
  std::string name(1, '.');
  name += path.filename().string();
  name += ".tmp";
  name += std::to_string(rd() % 1000000);
  temp_ = path.parent_path() / name;
  fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd_ < 0) FailFile("create", path, errno);
}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(temp_.c_str());
  }
}

void AtomicFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      FailFile("write", path_, errno);
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

void AtomicFile::Commit() {
  if (::fsync(fd_) != 0) FailFile("write", path_, errno);
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    int err = errno;
    ::unlink(temp_.c_str());
    FailFile("write", path_, err);
  }
  if (::rename(temp_.c_str(), path_.c_str()) != 0) {
    int err = errno;
    ::unlink(temp_.c_str());
    FailFile("replace", path_, err);
  }
}

void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  AtomicFile file(path);
  file.Write(bytes);
  file.Commit();
}

}  // namespace varnolt
