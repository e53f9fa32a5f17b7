// The drawings a `varnolt convert` names: files as given, every .dxf of a folder (the
// extension in any letter case; with `recursive` its subfolders' too), and on
// Windows what a wildcard matches. Each comes with the path its document takes under
// -d OUTDIR: its name, or its path below the folder that was given.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace varnolt::cli {

struct DrawingInput {
  std::string path;                // UTF-8, as messages name it
  std::filesystem::path relative;  // under OUTDIR, with the drawing's extension
};

struct DrawingList {
  std::vector<DrawingInput> drawings;
  bool batch = false;  // a folder or a wildcard was given: one document each, never -o
};

// The drawings of `arguments`, or a usage error's message naming the argument that
// gives none (a wildcard matching nothing, a folder without a .dxf) or a folder that
// cannot be read. Files named directly are taken as they are: a missing one fails
// when it is converted, with the others converted still.
std::string ListDrawings(const std::vector<std::string>& arguments, bool recursive,
                         DrawingList& list);

}  // namespace varnolt::cli
