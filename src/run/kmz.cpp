#include "run/kmz.h"

#include <zip.h>

#include <cstdio>
#include <memory>

#include "base/error.h"

namespace varnolt {
namespace {

[[noreturn]] void Fail(const std::string& what, const char* detail) {
  throw Error(ErrorKind::kGeneral,
              "cannot build the KMZ archive: " + what +
                  (detail ? std::string(": ") + detail : ""));
}

struct SourceFree {
  void operator()(zip_source_t* s) const { zip_source_free(s); }
};

}  // namespace

std::string ZipKmz(std::string_view kml) {
  // The archive is built in memory; the caller writes it through its atomic file.
  zip_error_t error;
  zip_error_init(&error);
  std::unique_ptr<zip_source_t, SourceFree> archive(
      zip_source_buffer_create(nullptr, 0, 0, &error));
  if (!archive) Fail("no memory buffer", zip_error_strerror(&error));
  zip_t* za = zip_open_from_source(archive.get(), ZIP_TRUNCATE, &error);
  if (za == nullptr) Fail("cannot open the archive", zip_error_strerror(&error));
  zip_source_keep(archive.get());  // survives zip_close, so the bytes can be read

  zip_source_t* doc = zip_source_buffer(za, kml.data(), kml.size(), 0);
  if (doc == nullptr || zip_file_add(za, "doc.kml", doc, ZIP_FL_ENC_UTF_8) < 0) {
    std::string why = zip_strerror(za);
    if (doc != nullptr) zip_source_free(doc);
    zip_discard(za);
    Fail("cannot add doc.kml", why.c_str());
  }
  if (zip_close(za) != 0) {
    std::string why = zip_strerror(za);
    zip_discard(za);
    Fail("cannot write the archive", why.c_str());
  }

  zip_source_t* src = archive.get();
  if (zip_source_open(src) != 0) Fail("cannot read the archive back", nullptr);
  std::string bytes;
  char buf[1 << 16];
  for (;;) {
    const zip_int64_t n = zip_source_read(src, buf, sizeof buf);
    if (n < 0) {
      zip_source_close(src);
      Fail("cannot read the archive back", nullptr);
    }
    if (n == 0) break;
    bytes.append(buf, static_cast<size_t>(n));
  }
  zip_source_close(src);
  return bytes;
}

}  // namespace varnolt
