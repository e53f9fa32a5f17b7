// Writing entities as a DXF drawing that AutoCAD 2000 and later open: release 2000
// (AC1015) ASCII DXF with the header, the tables (layers with their colours, the text
// style), the two layout blocks and the root dictionary, every object with its own
// handle. Its code page is GBK (ANSI_936), as Chinese AutoCAD writes it, which every
// reader decodes; a character GBK lacks is written as \U+XXXX (a pair of them beyond
// the BMP). The same entities always give the same bytes: nothing in it depends on
// the time or chance.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cad/entity.h"

namespace varnolt {

// Layer "0" is always in the table, first; the other layers follow in order (a name
// the table already has, ignoring ASCII case, is not repeated). Entities on a layer
// the list lacks get one of colour 7. Lightweight polylines, 3D polylines, points,
// texts and lines are written; other kinds throw Error(kGeneral). Numbers are written
// with the fewest digits that read back as the same double.
std::string WriteDxf(const std::vector<Layer>& layers, const std::vector<Entity>& entities);

// The same bytes, handed to `sink` piece by piece as they are made, so that a large
// drawing is never held whole: the entities are formatted on up to `threads` threads
// (0: one per core) and handed over in order. `progress`, when given, hears after each
// piece how many of the entities have been handed over. A kind that cannot be written
// throws before the sink hears anything.
using DxfSink = std::function<void(std::string_view bytes)>;
using DxfProgress = std::function<void(size_t written, size_t total)>;
void WriteDxf(const std::vector<Layer>& layers, const std::vector<Entity>& entities,
              const DxfSink& sink, unsigned threads = 0, const DxfProgress& progress = {});

// The same bytes written to `path` through a temporary beside it, renamed over it
// only when whole: a failure leaves no file and an older one as it was. Throws Error.
void WriteDxfFile(const std::filesystem::path& path, const std::vector<Layer>& layers,
                  const std::vector<Entity>& entities, unsigned threads = 0,
                  const DxfProgress& progress = {});

// A layer name AutoCAD accepts: the characters it refuses (<>/\":;?*|=` and control
// characters) become "_", surrounding blanks are dropped, and an empty name is "0".
std::string DxfLayerName(std::string_view name);

}  // namespace varnolt
