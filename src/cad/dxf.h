// Reading a DXF file (ASCII or binary, R12 to R2018) into the entity model.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "cad/entity.h"

namespace varnolt {

struct DxfDrawing {
  std::string acadver;    // $ACADVER, e.g. "AC1015"; empty when absent
  std::string codepage;   // $DWGCODEPAGE, e.g. "ANSI_936"; empty when absent
  std::vector<Layer> layers;
  std::vector<Entity> entities;  // model space, seven families, file order
};

// Parses DXF bytes. Throws Error(kGeneral) with what and where (line or byte offset)
// for input that is not DXF or is broken beyond use. `name` is used in messages.
DxfDrawing ParseDxf(std::string_view bytes, const std::string& name);

// Reads and parses a file. A missing or unreadable file throws Error(kFileAccess).
DxfDrawing ReadDxfFile(const std::filesystem::path& path);

// The DXF file as an entity source; the layer filter is matched case-insensitively,
// as the layer table is.
class DxfSource : public MemorySource {
 public:
  explicit DxfSource(const std::filesystem::path& path);
  explicit DxfSource(DxfDrawing drawing, std::string description);
  const DxfDrawing& drawing() const { return drawing_; }

 private:
  DxfDrawing drawing_;
};

}  // namespace varnolt
