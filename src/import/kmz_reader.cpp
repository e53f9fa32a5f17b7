// KMZ: the first .kml in the zip archive, as Google Earth takes it.
#include <zip.h>

#include <memory>
#include <string>

#include "base/error.h"
#include "import/geo_reader.h"
#include "text/ascii.h"
#include "text/encoding.h"

namespace varnolt {
namespace {

struct ArchiveClose {
  void operator()(zip_t* z) const { zip_discard(z); }
};
struct FileClose {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};

[[noreturn]] void Broken(const std::string& name, const std::string& why) {
  throw Error(ErrorKind::kGeneral, name + ": not a readable KMZ (zip) archive: " + why);
}

}  // namespace

GeoDocument ReadKmz(std::string_view bytes, const std::string& name, uint64_t maxBytes,
                    const GeoReadProgress& reading, unsigned threads) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  if (source == nullptr) Broken(name, zip_error_strerror(&error));
  std::unique_ptr<zip_t, ArchiveClose> archive(
      zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error));
  if (!archive) {
    zip_source_free(source);
    const std::string why = zip_error_strerror(&error);
    zip_error_fini(&error);
    Broken(name, why);
  }
  const zip_int64_t entries = zip_get_num_entries(archive.get(), 0);
  for (zip_int64_t k = 0; k < entries; ++k) {
    const char* entry = zip_get_name(archive.get(), static_cast<zip_uint64_t>(k), 0);
    if (entry == nullptr || !EndsWithIgnoringAsciiCase(entry, ".kml")) continue;
    const std::string where = name + ": " + SanitizeUtf8(entry);
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive.get(), static_cast<zip_uint64_t>(k), 0, &st) != 0) {
      Broken(name, zip_strerror(archive.get()));
    }
    if ((st.valid & ZIP_STAT_SIZE) && st.size > maxBytes) {
      throw Error(ErrorKind::kGeneral, where + ": unpacks to " + std::to_string(st.size) +
                                           " bytes, larger than the limit of " +
                                           std::to_string(maxBytes) + " bytes");
    }
    std::unique_ptr<zip_file_t, FileClose> file(
        zip_fopen_index(archive.get(), static_cast<zip_uint64_t>(k), 0));
    if (!file) Broken(name, zip_strerror(archive.get()));
    std::string kml;
    char buffer[1 << 16];
    for (;;) {
      const zip_int64_t n = zip_fread(file.get(), buffer, sizeof buffer);
      if (n < 0) Broken(name, std::string(entry) + ": " + zip_file_strerror(file.get()));
      if (n == 0) break;
      if (kml.size() + static_cast<uint64_t>(n) > maxBytes) {
        throw Error(ErrorKind::kGeneral, where + ": unpacks to more than the limit of " +
                                             std::to_string(maxBytes) + " bytes");
      }
      kml.append(buffer, static_cast<size_t>(n));
    }
    GeoDocument doc = ReadXmlDocument(kml, where, reading, threads);
    if (doc.format != "KML") throw Error(ErrorKind::kGeneral, where + ": is not KML");
    doc.format = "KMZ";
    return doc;
  }
  Broken(name, "it holds no .kml file");
}

}  // namespace varnolt
