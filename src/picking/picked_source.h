// The entities the user picked in a drawing window, as the run's entity source: in
// pick order, over the drawing that holds them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cad/dxf.h"
#include "cad/entity.h"

namespace varnolt {

class PickedSource : public EntitySource {
 public:
  // `picks` index the drawing's entities; an index beyond them is passed over.
  PickedSource(std::shared_ptr<const DxfDrawing> drawing, std::vector<size_t> picks,
               std::string description);
  const std::vector<Layer>& Layers() const override { return drawing_->layers; }
  std::vector<const Entity*> SelectOnScreen() override;
  std::string Describe() const override { return description_; }

 private:
  std::shared_ptr<const DxfDrawing> drawing_;
  std::vector<size_t> picks_;
  std::string description_;
};

}  // namespace varnolt
