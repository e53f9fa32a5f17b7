// A CAD host's automation model inside this process, for the live-session tests and
// the fake host server: the application, its document, utility, selection sets,
// layer table and the entities of each family, each an IDispatch answering by member
// name (case-insensitively, as automation does). It hands out scripted data, records
// every call and prompt, and fails any member it is told to.
//
// It offers no more than a host must: in its strict mode exactly the operations the
// host's automation model lists for the conversion (so a session that asks for more
// fails against it); in its export mode those, each entity's Handle and the
// document's Export, which writes the scripted drawing as the host writes its own;
// in its adding mode those of strict mode and the documented ones an import adds
// entities with, keeping what it is given.
#pragma once

#ifndef _WIN32
#error "fake_cad.h is for Windows builds only"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <oleauto.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cad/entity.h"

namespace varnolt::testing {

// The class the fake host server registers its application under; tests map class
// names (ProgIDs) to it.
inline constexpr wchar_t kFakeCadClassText[] = L"{8E4C3B52-6A1D-4F0E-9B7A-2D5C1E3F4A60}";

enum class FakeHostMode {
  kStrict,  // the listed operations, nothing more
  kExport,  // and Entity.Handle and Document.Export
  // and ModelSpace's AddLightWeightPolyline, Add3DPoly, AddPoint and AddText, Layers.Add,
  // the Closed flag of a 3D polyline; an added entity's color, Layer, Closed and
  // Elevation and a layer's color can be set
  kAdding,
};

struct FakeCadScript {
  std::vector<Layer> layers;
  // The user's pick, in order. A type outside the seven families stands for an
  // entity of another kind (it answers only the members every entity has).
  std::vector<Entity> entities;
  std::string caption = "Fake CAD";
  // The whole drawing, which Export writes (export mode).
  std::filesystem::path drawing;
};

// A drawing's layer table, and as the pick every top-level model-space entity of
// its ENTITIES section in file order (the seven families with their data as the DXF
// reader gives them, other kinds as entities of another kind with their handles);
// the drawing itself for Export.
FakeCadScript ScriptFromDrawing(const std::filesystem::path& dxf);

// How points and coordinate lists come back.
enum class PointShape {
  kDoubles,   // VT_ARRAY | VT_R8
  kVariants,  // VT_ARRAY | VT_VARIANT, each a VT_R8
  kByRef,     // VT_BYREF | VT_ARRAY | VT_R8
};

// What Export writes: the drawing under NAME.dxf (the name given without an
// extension, as the host's documentation shows) or under the name exactly as given,
// the first half of its bytes, or no file at all while reporting success.
enum class ExportWrites { kDrawing, kDrawingUnderTheNameGiven, kTruncated, kNothing };

struct FakeCadState;

class FakeCad {
 public:
  explicit FakeCad(FakeCadScript script, FakeHostMode mode = FakeHostMode::kStrict);
  ~FakeCad();
  FakeCad(const FakeCad&) = delete;
  FakeCad& operator=(const FakeCad&) = delete;

  // The application object (a reference the fake keeps; AddRef to keep it longer).
  IDispatch* application() const;

  // Members are named "Object.Member" with the objects Application, Document,
  // Utility, SelectionSets, SelectionSet, Layers, Layer, ModelSpace, PaperSpace, and
  // for entities Line, Arc, Circle, LWPolyline, 3DPolyline, Text, MText, Point, Other.
  // The member is unknown to GetIDsOfNames (DISP_E_UNKNOWNNAME).
  void Missing(const std::string& member);
  // The onCall-th call of the member (1-based) fails with hr; DISP_E_EXCEPTION comes
  // with an EXCEPINFO whose description is "scripted failure of Object.Member".
  void Fail(const std::string& member, HRESULT hr, int onCall = 1);
  // The member returns what `make` puts in its result instead of its data.
  void Override(const std::string& member, std::function<void(VARIANT*)> make);
  void SetPointShape(PointShape shape);
  // Objects at odd places (the second entity, the second layer, ...) number their
  // members from 101: the DISPIDs of one object do not hold for another of its kind.
  void VaryDispIds();
  void SetExportWrites(ExportWrites what);
  // The host dies at the onCall-th call of the member (1-based): that call and every
  // later one fails as calls to a vanished server do (RPC_E_DISCONNECTED), or with
  // `exit` the whole process ends there (the fake host server).
  void DieAt(const std::string& member, int onCall, bool exit = false);

  const std::vector<std::string>& prompts() const;        // as given, UTF-8
  const std::vector<std::string>& calls() const;          // "Object.Member", in order
  long lookups() const;                                   // GetIDsOfNames calls
  const std::vector<std::string>& selectionSets() const;  // names passed to Add
  const std::vector<std::filesystem::path>& exports() const;  // files Export wrote to
  bool visible() const;
  // The entities added to the model space, in order, as they stand now (a new one is
  // on layer "0" in colour ByLayer until told otherwise), and the layer table.
  const std::vector<Entity>& added() const;
  const std::vector<Layer>& layers() const;

 private:
  std::shared_ptr<FakeCadState> state_;
  IDispatch* application_;
};

// A VT_ARRAY | VT_R8 of the values (for overrides).
void MakeDoubleArray(VARIANT* out, const std::vector<double>& values);

}  // namespace varnolt::testing
