// Entities added to the live host's drawing through the methods its automation model
// documents for that: ModelSpace's AddLightWeightPolyline, Add3DPoly, AddPoint and
// AddText, each new entity's Closed, color and Layer, and Layers.Add for a layer the
// drawing lacks. Part of the session (autocad_win.cpp), not of the interface.
#pragma once

#ifndef _WIN32
#error "cad/model_space.h is for Windows builds only"
#endif

#include <functional>
#include <vector>

#include "cad/com_automation.h"
#include "cad/entity.h"

namespace varnolt {

// Hears after each entity how many of them are in the drawing.
using AddProgress = std::function<void(size_t added, size_t total)>;

// Adds `entities` to `modelSpace`, in order, each with its colour number and layer.
// A layer of `layers` (or of an entity) that the document's table lacks, ignoring
// ASCII case, is added with its colour; a layer the drawing has keeps its own. Only
// what the DXF writer writes of an imported drawing can be added: lightweight
// polylines without bulges on the plan's normal, 3D polylines, points, and texts
// without rotation; anything else throws Error(kGeneral) before the host is asked
// anything. Throws Error as the host's calls fail; what was added before stays.
void AddToModelSpace(const com::Obj& document, const com::Obj& modelSpace,
                     const std::vector<Layer>& layers, const std::vector<Entity>& entities,
                     const AddProgress& progress = {});

}  // namespace varnolt
