#include "picking/picked_source.h"

namespace varnolt {

PickedSource::PickedSource(std::shared_ptr<const DxfDrawing> drawing,
                           std::vector<size_t> picks, std::string description)
    : drawing_(std::move(drawing)), picks_(std::move(picks)),
      description_(std::move(description)) {}

std::vector<const Entity*> PickedSource::SelectOnScreen() {
  std::vector<const Entity*> picked;
  picked.reserve(picks_.size());
  for (size_t i : picks_) {
    if (i < drawing_->entities.size()) picked.push_back(&drawing_->entities[i]);
  }
  return picked;
}

}  // namespace varnolt
