// Reading a DXF file (ASCII or binary, R12 to R2018) into the entity model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cad/entity.h"
#include "text/ascii.h"

namespace varnolt {

struct DxfDrawing {
  std::string acadver;    // $ACADVER, e.g. "AC1015"; empty when absent
  std::string codepage;   // $DWGCODEPAGE, e.g. "ANSI_936"; empty when absent
  std::vector<Layer> layers;
  // Model space in file order: the seven families, and with DxfLimits::include the
  // kinds included, each block reference exploded where it stands.
  std::vector<Entity> entities;
  std::vector<SkippedKind> skipped;  // model-space entities not read, by kind
  // Read with a DxfPick: the picked handles that no entity of the ENTITIES section
  // has, in pick order.
  std::vector<std::string> unmatched;
};

// What a user picked in a CAD host, by handle, in the order of the pick. A drawing
// read with one keeps only these entities of its ENTITIES section, model space and
// paper space alike, in the pick's order (a block reference with all it places), and
// counts as left out only what was picked.
class DxfPick {
 public:
  static constexpr size_t kNotPicked = static_cast<size_t>(-1);

  explicit DxfPick(std::vector<std::string> handles);
  size_t size() const { return handles_.size(); }
  // The position in the pick of the entity with `handle`, matched ignoring ASCII
  // case as handles are hexadecimal; kNotPicked when it was not picked.
  size_t Find(std::string_view handle) const;
  // The handles whose positions `met` does not hold, in pick order.
  std::vector<std::string> Unmatched(const std::vector<size_t>& met) const;

 private:
  std::vector<std::string> handles_;
  std::unordered_map<std::string, size_t> positions_;  // by folded handle
};

// Bounds on what one drawing may ask of memory.
struct DxfLimits {
  size_t maxVertices = 10'000'000;          // in one polyline, declared or present
  uint64_t maxFileBytes = uint64_t{2} << 30;  // the largest file read, 2 GiB
  unsigned include = 0;                      // IncludeKind bits: what else is read
  int64_t maxPlacedEntities = 1'000'000;     // entities placed by exploding blocks
  uint64_t maxHatchEdges = 1'000'000;         // edges and path vertices in one HATCH,
                                             // counted before any is made
  // How DxfSource reads a file's ENTITIES section: in pieces of about this many
  // bytes (0: 256 KiB) on this many threads (0: one per core). The entities are the
  // same whatever the numbers.
  size_t pieceBytes = 0;
  unsigned threads = 0;
  // When set, only the picked entities are read (see DxfPick).
  std::shared_ptr<const DxfPick> pick;
};

// Parses DXF bytes. Throws Error(kGeneral) with what and where (line or byte offset)
// for input that is not DXF or is broken beyond use. `name` is used in messages.
//
// Layers are resolved as a CAD host resolves them on opening the file: an entity's
// layer name matches the layer table ignoring ASCII case and the entity carries the
// table's spelling; a layer the table lacks is appended with colour 7; an entity
// without a layer is on "0". A layer that is off (negative colour) gets its colour's
// absolute value.
DxfDrawing ParseDxf(std::string_view bytes, const std::string& name,
                    const DxfLimits& limits = {});

// Reads and parses a file. A missing or unreadable file throws Error(kFileAccess); a
// file larger than limits.maxFileBytes throws Error(kGeneral) before it is read.
DxfDrawing ReadDxfFile(const std::filesystem::path& path, const DxfLimits& limits = {});

class DxfStore;

// The DXF file as an entity source; the layer filter is matched case-insensitively
// (ASCII case), as the layer table is.
//
// Read from a file, an ASCII drawing keeps its model-space entities as small
// records into the file, which stays in memory, and each entity is parsed again when
// the run asks for it (Pick()): a drawing of millions of entities takes little more
// memory than the file. The ENTITIES section is read in pieces on several threads
// (DxfLimits::pieceBytes, threads). Binary files, blocks to explode and anything
// unusual are read whole, as ReadDxfFile() reads them.
class DxfSource : public EntitySource {
 public:
  explicit DxfSource(const std::filesystem::path& path, const DxfLimits& limits = {});
  DxfSource(DxfDrawing drawing, std::string description);
  ~DxfSource() override;

  const std::vector<Layer>& Layers() const override { return drawing_.layers; }
  // Every model-space entity of the seven families in file order, narrowed by the
  // layer filter. A drawing kept as records is read whole into drawing() first.
  std::vector<const Entity*> SelectOnScreen() override;
  std::unique_ptr<EntityList> Pick() override;
  // Whether the entities are kept as records (drawing().entities is then empty
  // until SelectOnScreen()), and, when they are not, why the file was read whole.
  bool Streamed() const { return store_ != nullptr; }
  const std::string& SerialReason() const { return serialReason_; }
  std::string Describe() const override { return description_; }
  std::vector<SkippedKind> Skipped() const override { return drawing_.skipped; }

  // Only entities on these layers are picked; empty picks all.
  void SetLayerFilter(std::vector<std::string> names) { layerFilter_ = std::move(names); }
  const DxfDrawing& drawing() const { return drawing_; }

 private:
  std::vector<bool> LayersPicked() const;

  DxfDrawing drawing_;
  std::string description_;
  std::vector<std::string> layerFilter_;
  std::string serialReason_;
  std::unique_ptr<DxfStore> store_;
};

}  // namespace varnolt
