// A CAD host's automation model inside this process, for the live-session tests and
// the fake host server: the application, its document, utility, selection sets,
// layer table and the entities of each family, each an IDispatch answering by member
// name (case-insensitively, as automation does). It hands out scripted data, records
// every call and prompt, and fails any member it is told to.
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

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cad/entity.h"

namespace varnolt::testing {

struct FakeCadScript {
  std::vector<Layer> layers;
  // The user's pick, in order. A type outside the seven families stands for an
  // entity of another kind (it answers only the members every entity has).
  std::vector<Entity> entities;
  std::string documentName = "site.dwg";
  std::string caption = "Fake CAD";
};

// How points and coordinate lists come back.
enum class PointShape {
  kDoubles,   // VT_ARRAY | VT_R8
  kVariants,  // VT_ARRAY | VT_VARIANT, each a VT_R8
  kByRef,     // VT_BYREF | VT_ARRAY | VT_R8
};

struct FakeCadState;

class FakeCad {
 public:
  explicit FakeCad(FakeCadScript script);
  ~FakeCad();
  FakeCad(const FakeCad&) = delete;
  FakeCad& operator=(const FakeCad&) = delete;

  // The application object (a reference the fake keeps; AddRef to keep it longer).
  IDispatch* application() const;

  // Members are named "Object.Member" with the objects Application, Document,
  // Utility, SelectionSets, SelectionSet, Layers, Layer, ModelSpace, PaperSpace, and
  // for entities Line, Arc, Circle, LWPolyline, 3DPolyline, Text, MText, Other.
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

  const std::vector<std::string>& prompts() const;        // as given, UTF-8
  const std::vector<std::string>& calls() const;          // "Object.Member", in order
  const std::vector<std::string>& selectionSets() const;  // names passed to Add
  bool visible() const;

 private:
  std::shared_ptr<FakeCadState> state_;
  IDispatch* application_;
};

// A VT_ARRAY | VT_R8 of the values (for overrides).
void MakeDoubleArray(VARIANT* out, const std::vector<double>& values);

}  // namespace varnolt::testing
