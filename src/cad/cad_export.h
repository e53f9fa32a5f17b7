// The live session's way to the whole drawing: the host writes it to a DXF file with
// Document.Export, which the DXF reader reads for the picked handles. Part of the
// session (autocad_win.cpp), not of the interface.
#pragma once

#ifndef _WIN32
#error "cad/cad_export.h is for Windows builds only"
#endif

#include <memory>
#include <string>
#include <vector>

#include "cad/com_automation.h"
#include "cad/dxf.h"
#include "cad/entity.h"

namespace varnolt {

// The pick read from the exported drawing, or why it could not be: the host offers
// no Export or its call failed, it wrote no file, the file cannot be read, or it
// lacks a picked handle.
struct ExportedDrawing {
  std::unique_ptr<DxfSource> source;
  std::string why;
};

// Asks the host's `document` to export the whole drawing as DXF (`set` is the pick's
// selection set, which the call takes and ignores) to a fresh name in the user's
// temporary folder, reads the entities of `handles` from it with `limits`, and
// deletes the file, whatever happens. Throws only what the reading throws beyond
// Error (out of memory).
ExportedDrawing ReadExportedDrawing(const com::Obj& document, const com::Obj& set,
                                    const std::vector<std::string>& handles,
                                    const DxfLimits& limits);

// The warning of a pick read member by member: why, and that only the seven
// families came, --include (`include` bits) not honoured when it asked for more.
SourceNote MemberByMemberNote(const std::string& why, unsigned include);

}  // namespace varnolt
