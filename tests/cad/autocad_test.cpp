// The live CAD session over the in-process fake host in its strict mode (exactly
// the operations the host's automation model lists, so every entity is read member
// by member): every golden drawing through it gives the DXF reader's entities and
// the same document bytes; prompts, the progress throttle, each way the host can
// fail, and finding the host.
#include "cad/autocad.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/paths.h"
#include "cad/dxf.h"
#include "cad/selection_name.h"
#include "cad_session_fixture.h"
#include "class_names.h"
#include "entity_access.h"
#include "fake_cad.h"
#include "settings/conversion_options.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;
using testing::CadSessionTest;
using testing::FakeCad;
using testing::FakeCadScript;
using testing::PointShape;
using testing::ReadBytes;
using testing::Recorder;

Entity Line(double x, int color = 1, std::string layer = "0") {
  return test::Make(varnolt::Line{{512000 + x, 3380000, 0}, {512030 + x, 3380000, 0}}, color,
                    std::move(layer));
}

FakeCadScript Lines(int count) {
  FakeCadScript script;
  script.layers = {{"0", 7}};
  for (int k = 0; k < count; ++k) script.entities.push_back(Line(k));
  return script;
}

// The DXF reader's entity as a strict host hands it over: without its line in a file
// or its handle, and without what no converter reads and the host's operations do
// not give (a text's height and rotation, the normal of all but an arc, a 3D
// polyline's closed flag).
Entity AsTheHostGivesIt(Entity e) {
  e.sourceLine = 0;
  e.handle.clear();
  if (auto* t = e.As<varnolt::Text>()) *t = {t->insertion, t->alignment, t->textstring};
  if (auto* t = e.As<MText>()) *t = {t->insertion, t->textstring};
  if (auto* c = e.As<Circle>()) c->normal = {0, 0, 1};
  if (auto* p = e.As<LwPolyline>()) p->normal = {0, 0, 1};
  if (auto* p = e.As<Polyline3d>()) p->closed = false;
  return e;
}

// What the DXF path gives for a drawing's seven families, without handles: the
// document a strict host must give for it with `settings`.
std::string SevenFamiliesWithoutHandles(const fs::path& drawing, const Settings& settings,
                                        const fs::path& out) {
  DxfDrawing d = ReadDxfFile(drawing);
  for (Entity& e : d.entities) e.handle.clear();
  MemorySource source(d.layers, d.entities);
  Recorder quiet;
  return testing::RunAndRead(source, settings, out, quiet);
}

// Every golden drawing through the strict host, its entities handed over in each of
// the shapes a host may use for points, gives the DXF reader's entities and layers.
// A drawing of the seven families alone gives the golden document byte for byte;
// one that includes more kinds gives what the DXF path gives of its seven families
// (with one warning that the include was not honoured; the general failure when it
// has none), and one with attributes has no handles to give. In one of the rounds the objects of one kind number their
// members differently, which the session's remembered DISPIDs must survive.
TEST_F(CadSessionTest, GoldenDrawingsThroughTheStrictHostGiveTheGoldenDocuments) {
  for (const std::string& name : testing::GoldenCases()) {
    const fs::path dir = testing::GoldenDir() / name;
    const DxfDrawing drawing = ReadDxfFile(dir / "drawing.dxf");
    const Settings settings = LoadSettings(dir / "Varnolt.ini");
    const ConversionOptions options = ReadConversionOptions(settings);
    const std::string expected = testing::Outcome([&] {
      return options.include == 0 && !options.attributes
                 ? ReadBytes(dir / "expected.kml")
                 : SevenFamiliesWithoutHandles(dir / "drawing.dxf", settings, Out(name + ".kml"));
    });
    for (PointShape shape : {PointShape::kDoubles, PointShape::kVariants, PointShape::kByRef}) {
      SCOPED_TRACE(name + " shape " + std::to_string(static_cast<int>(shape)));
      FakeCad fake(testing::ScriptFromDrawing(dir / "drawing.dxf"));
      fake.SetPointShape(shape);
      if (shape == PointShape::kVariants) fake.VaryDispIds();
      const std::unique_ptr<CadSession> session = AttachCad(fake.application());
      DxfLimits limits;
      limits.include = options.include;
      session->ReadWith(limits);
      const std::vector<const Entity*> picked = session->SelectOnScreen();
      ASSERT_EQ(picked.size(), drawing.entities.size());
      for (size_t k = 0; k < picked.size(); ++k) {
        EXPECT_TRUE(*picked[k] == AsTheHostGivesIt(drawing.entities[k])) << k;
      }
      ASSERT_EQ(session->Layers().size(), drawing.layers.size());
      for (size_t k = 0; k < drawing.layers.size(); ++k) {
        EXPECT_EQ(session->Layers()[k].name, drawing.layers[k].name);
        EXPECT_EQ(session->Layers()[k].color, drawing.layers[k].color);
      }

      Recorder terminal;
      EXPECT_TRUE(testing::Outcome([&] {
                    return Convert(*session, settings, terminal, name + ".kml");
                  }) == expected);
      std::vector<std::string> notes;
      for (const RunWarning& w : terminal.warnings) {
        if (w.english.find("not read through the CAD host's Export") != std::string::npos) {
          notes.push_back(w.english);
        }
      }
      ASSERT_EQ(notes.size(), 1u);
      EXPECT_NE(notes[0].find("(the CAD host gives no entity handles)"), std::string::npos)
          << notes[0];
      EXPECT_EQ(notes[0].find("was not honoured") != std::string::npos, options.include != 0)
          << notes[0];
    }
  }
  ExpectNothingLeft();
}

// The prompts on the host's command line, in order, each ending LF CR, the warning
// that the pick was read member by member among them; the terminal behind the host
// reporter sees the same prompts and every progress call. The selection set is named
// by the rule and made once per pick.
TEST_F(CadSessionTest, PromptsGoToTheHostInOrder) {
  FakeCadScript script = Lines(3);
  varnolt::Text text;
  text.textstring = "桩号";
  text.insertion = {512000, 3380000, 0};
  script.entities.push_back(test::Make(text, 2));
  FakeCad fake(script);
  const std::unique_ptr<CadSession> session = AttachCad(fake.application());
  EXPECT_TRUE(fake.visible());
  EXPECT_EQ(session->Describe(), "AutoCAD: Fake CAD");  // the caption: a strict host gives no name

  Recorder terminal;
  const auto frozen = std::chrono::steady_clock::now();
  CadPromptReporter reporter(*session, &terminal, [frozen] { return frozen; });
  const fs::path out = Out("prompts.kml");
  RunConversion(*session, Settings{}, out, reporter);

  ASSERT_EQ(terminal.warnings.size(), 1u);
  std::vector<std::string> expected = {std::string(kSelectPrompt), std::string(kProcessingPrompt),
                                       terminal.warnings[0].chinese};
  // Texts before lines; the second line comes too soon after the first to be shown.
  expected.push_back(ProgressPrompt(2, 1, 1));
  expected.push_back(ProgressPrompt(4, 1, 3));
  expected.push_back(ProgressPrompt(4, 3, 3));
  ASSERT_EQ(fake.prompts().size(), expected.size() + 2);
  for (size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(fake.prompts()[k], expected[k] + "\n\r");
  EXPECT_EQ(fake.prompts()[expected.size()].rfind("====== < ", 0), 0u);
  EXPECT_EQ(fake.prompts().back(), CompletionPrompt(Utf8(out)) + "\n\r");
  for (const std::string& p : fake.prompts()) {
    ASSERT_GE(p.size(), 2u);
    EXPECT_EQ(p.substr(p.size() - 2), "\n\r");
  }
  EXPECT_EQ(terminal.prompts.size(), 4u);
  EXPECT_EQ(terminal.converting.size(), 4u);  // the terminal gets every entity

  ASSERT_EQ(fake.selectionSets().size(), 1u);
  EXPECT_EQ(fake.selectionSets()[0], session->selectionSetName());
  const std::string& set = fake.selectionSets()[0];
  EXPECT_TRUE(set == "0" || (set.size() >= 2 && set[0] == '.')) << set;
  EXPECT_LT(std::stof("0" + set), 1.0f);
}

// The progress prompts with a clock that moves 1 ms per entity: of 1000 lines and 500
// arcs, the first and last of each family always go out, the others at most one per
// 100 ms; the reporter behind gets every entity.
TEST_F(CadSessionTest, ProgressPromptsAreThrottledButKeepFirstAndLast) {
  FakeCadScript script = Lines(1000);
  for (int k = 0; k < 500; ++k) {
    script.entities.push_back(test::Make(Arc{{512000.0 + k, 3380000, 0}, 5, 0, 1}, 3));
  }
  FakeCad fake(script);
  const std::unique_ptr<CadSession> session = AttachCad(fake.application());
  auto now = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
  Recorder terminal;
  CadPromptReporter reporter(*session, &terminal, [&now] {
    now += std::chrono::milliseconds(1);
    return now;
  });
  RunConversion(*session, Settings{}, Out("many.kml"), reporter);

  EXPECT_EQ(terminal.converting.size(), 1500u);
  std::vector<std::string> progress;
  for (const std::string& p : fake.prompts()) {
    if (p.rfind("====== 正在转换", 0) == 0) progress.push_back(p.substr(0, p.size() - 2));
  }
  EXPECT_EQ(static_cast<int64_t>(progress.size()), reporter.progressPromptsSent());
  // Lines: 1, 101, 201, ..., 901, 1000; arcs: 1, 101, ..., 401, 500.
  std::vector<std::string> expected;
  for (int i = 1; i <= 1000; i += 100) expected.push_back(ProgressPrompt(4, i, 1000));
  expected.push_back(ProgressPrompt(4, 1000, 1000));
  expected.push_back(ProgressPrompt(5, 1, 500));
  for (int i = 101; i <= 401; i += 100) expected.push_back(ProgressPrompt(5, i, 500));
  expected.push_back(ProgressPrompt(5, 500, 500));
  EXPECT_EQ(progress, expected);
}

// A member the host lacks is an older host: the "R2000" failure, naming the member,
// wherever it is missing (the pick, a family's member, a method).
TEST_F(CadSessionTest, MissingMemberIsUnsupported) {
  FakeCadScript script = Lines(2);
  script.entities.push_back(test::Make(test::Pline({512000, 3380000, 512010, 3380000})));
  for (const char* member : {"Line.StartPoint", "LWPolyline.GetBulge", "LWPolyline.Elevation",
                             "SelectionSet.SelectOnScreen", "Layer.color"}) {
    SCOPED_TRACE(member);
    FakeCad fake(script);
    fake.Missing(member);
    const std::unique_ptr<CadSession> session = AttachCad(fake.application());
    Recorder reporter;
    try {
      RunConversion(*session, Settings{}, Out("missing.kml"), reporter);
      ADD_FAILURE() << "no failure";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::kUnsupported);
      EXPECT_STREQ(FailureMessage(Task::kConversion, e.kind()), "程序仅支持R2000以上版本！");
      EXPECT_NE(std::string(e.what()).find(member), std::string::npos) << e.what();
    }
    ExpectNothingLeft();
  }
}

// Any other failure of the host is a general failure with the host's words, and the
// output is never written: the k-th Item() of the pick, a property read, an
// exception with its description, a wrong shape of a point.
TEST_F(CadSessionTest, HostFailuresAreGeneralAndLeaveNoOutput) {
  struct Case {
    const char* what;
    std::function<void(FakeCad&)> arrange;
    const char* inMessage;
  };
  const Case cases[] = {
      {"third Item", [](FakeCad& f) { f.Fail("SelectionSet.Item", RPC_E_DISCONNECTED, 3); },
       "SelectionSet.Item"},
      {"layer read", [](FakeCad& f) { f.Fail("Line.Layer", E_OUTOFMEMORY, 2); }, "Line.Layer"},
      {"exception", [](FakeCad& f) { f.Fail("Line.EndPoint", DISP_E_EXCEPTION, 4); },
       "scripted failure of Line.EndPoint"},
      {"two numbers",
       [](FakeCad& f) {
         f.Override("Line.StartPoint",
                    [](VARIANT* v) { testing::MakeDoubleArray(v, {512000, 3380000}); });
       },
       "Line.StartPoint"},
      {"a string",
       [](FakeCad& f) {
         f.Override("Line.EndPoint", [](VARIANT* v) {
           v->vt = VT_BSTR;
           v->bstrVal = ::SysAllocString(L"1,2,3");
         });
       },
       "Line.EndPoint"},
      {"two dimensions",
       [](FakeCad& f) {
         f.Override("Line.StartPoint", [](VARIANT* v) {
           SAFEARRAYBOUND bounds[2] = {{3, 0}, {1, 0}};
           v->vt = VT_ARRAY | VT_R8;
           v->parray = ::SafeArrayCreate(VT_R8, 2, bounds);
         });
       },
       "Line.StartPoint"},
      {"integers",
       [](FakeCad& f) {
         f.Override("Line.StartPoint", [](VARIANT* v) {
           SAFEARRAYBOUND bound{3, 0};
           v->vt = VT_ARRAY | VT_I4;
           v->parray = ::SafeArrayCreate(VT_I4, 1, &bound);
         });
       },
       "Line.StartPoint"},
      {"unset document", [](FakeCad& f) { f.Missing("Application.ActiveDocument"); },
       "ActiveDocument"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeCad fake(Lines(5));
    c.arrange(fake);
    const std::unique_ptr<CadSession> session = AttachCad(fake.application());
    Recorder reporter;
    try {
      RunConversion(*session, Settings{}, Out("failed.kml"), reporter);
      ADD_FAILURE() << "no failure";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::kGeneral) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.inMessage), std::string::npos) << e.what();
    }
    ExpectNothingLeft();
  }
}

// Nothing of the seven families picked (nothing at all, or only other kinds): the
// general failure, and no document.
TEST_F(CadSessionTest, EmptySelectionIsTheGeneralFailure) {
  FakeCadScript other = Lines(0);
  other.entities.push_back(test::Make(varnolt::Point{}));  // a kind the session does not read
  for (const FakeCadScript& script : {Lines(0), other}) {
    FakeCad fake(script);
    const std::unique_ptr<CadSession> session = AttachCad(fake.application());
    Recorder reporter;
    try {
      RunConversion(*session, Settings{}, Out("empty.kml"), reporter);
      ADD_FAILURE() << "no failure";
    } catch (const Error& e) {
      EXPECT_STREQ(FailureMessage(Task::kConversion, e.kind()),
                   "数据文件格式有误、操作不当或其它未知错误！");
    }
    ExpectNothingLeft();
    EXPECT_EQ(reporter.prompts.size(), 2u);  // the pick and "processing", then the failure
  }
}

// A host running in this process's apartment, found through the running-object table
// under a class name mapped for the test: while the session lives, the filter that
// asks a busy host again is registered on its thread (connecting included), and it is
// gone with the session.
TEST_F(CadSessionTest, TheSessionKeepsItsRetryFilterFromTheConnectionOn) {
  ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  const wchar_t kClass[] = L"{5B0E7C2A-93D4-4C61-8F2E-6A1D0B9C3E47}";
  const testing::ClassName name(L"Varnolt.FakeCad.InProcess", kClass);
  ASSERT_TRUE(name.ok());
  CLSID clsid;
  ASSERT_TRUE(SUCCEEDED(::CLSIDFromString(kClass, &clsid)));
  FakeCad fake(Lines(1));
  DWORD cookie = 0;
  ASSERT_TRUE(SUCCEEDED(::RegisterActiveObject(fake.application(), clsid, ACTIVEOBJECT_STRONG,
                                               &cookie)));
  auto current = [] {
    IMessageFilter* filter = nullptr;
    ::CoRegisterMessageFilter(nullptr, &filter);
    IMessageFilter* none = nullptr;
    ::CoRegisterMessageFilter(filter, &none);
    if (filter != nullptr) filter->Release();
    return filter;
  };
  {
    const std::unique_ptr<CadSession> session = ConnectCad("Varnolt.FakeCad.InProcess");
    EXPECT_EQ(session->Describe(), "Varnolt.FakeCad.InProcess: Fake CAD");
    EXPECT_NE(current(), nullptr);
    Recorder terminal;
    EXPECT_NE(Convert(*session, Settings{}, terminal).find("<Placemark>"), std::string::npos);
  }
  EXPECT_EQ(current(), nullptr);
  ::RevokeActiveObject(cookie, nullptr);
  ::CoUninitialize();
  ExpectNothingLeft();
}

// No host under that name: the system's own words after the name, and the class is
// not registered. With none named, every class the session knows is tried, in order,
// and the message names each (none of them is registered where the tests run).
TEST(CadConnect, AFailedConnectionNamesWhatWasTried) {
  EXPECT_FALSE(CadRegistered("Varnolt.NoSuchCad"));
  try {
    ConnectCad("Varnolt.NoSuchCad");
    ADD_FAILURE() << "no failure";
  } catch (const CadConnectError& e) {
    EXPECT_EQ(e.hresult(), CO_E_CLASSSTRING);
    EXPECT_EQ(std::string(e.what()), "cannot attach to or start the CAD host 'Varnolt.NoSuchCad': " +
                                         e.systemText());
    EXPECT_FALSE(e.systemText().empty());
  }
  if (CadRegistered()) GTEST_SKIP() << "a CAD host is registered on this machine";
  try {
    ConnectCad();
    ADD_FAILURE() << "no failure";
  } catch (const CadConnectError& e) {
    const std::vector<std::string> all = {"AutoCAD.Application", "ZWCAD.Application",
                                          "GStarCAD.Application", "Gcad.Application",
                                          "BricscadApp.AcadApplication"};
    EXPECT_EQ(e.tried(), all);
    const std::string what = e.what();
    size_t at = 0;
    for (const std::string& name : all) {
      const size_t found = what.find("'" + name + "' (", at);
      EXPECT_NE(found, std::string::npos) << name << " in " << what;
      at = found == std::string::npos ? at : found;
    }
  }
}

}  // namespace
}  // namespace varnolt
