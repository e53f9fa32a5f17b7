// The expat session behind ParseXml and ParseXmlInPieces: one parser driving one
// handler, over a whole document or over its first piece, and able to hand on the
// events another piece's parser recorded. Internal to import/.
#pragma once

#include <expat.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "import/xml.h"

namespace varnolt::xml_internal {

// Between a namespace URI and the local name in what expat hands over.
inline constexpr char kSeparator = '\x1F';
// expat takes lengths as int: large documents go in pieces of this size, small enough
// to tell the progress by.
inline constexpr size_t kFeed = size_t{1} << 22;

std::string_view LocalName(const XML_Char* name);

// A start tag in the document: where it begins and how many bytes it has.
struct OpenTag {
  size_t at = 0;
  size_t length = 0;
  bool operator==(const OpenTag&) const = default;
};

// Where a later piece begins: a start tag, and the elements open just before it,
// outermost first.
struct PieceStart {
  size_t at = 0;
  std::vector<OpenTag> open;
};

struct ParserFree {
  void operator()(XML_Parser p) const { XML_ParserFree(p); }
};
using UniqueParser = std::unique_ptr<XML_ParserStruct, ParserFree>;

// A namespace-aware parser with `user` as its user data and these handlers, never
// reading an external parameter entity. Throws Error(kGeneral) without memory for it.
UniqueParser MakeParser(const std::string& name, void* user, XML_StartElementHandler start,
                        XML_EndElementHandler end, XML_CharacterDataHandler text,
                        XML_EntityDeclHandler entity);

using Progress = std::function<void(uint64_t done, uint64_t total)>;

class Session {
 public:
  Session(const std::string& name, XmlHandler& handler) : name_(name), handler_(handler) {}

  // The whole document. Throws Error(kGeneral) "NAME: line L: what".
  void Run(std::string_view bytes, const Progress& progress);

  // The document from its start, ending before the first start tag at or after
  // `stopFrom`: true with that tag and the elements open there in `next`; false when
  // there is none, the document then read whole. Throws as Run does.
  bool RunUntil(std::string_view bytes, size_t stopFrom, const Progress& progress,
                PieceStart& next);

  // Hands on what a later piece's parser recorded (see PieceRecorder), as though this
  // parser had read it. False when the handler throws; the handler is then spent.
  bool Replay(std::string_view recorded);

  // The recorded events: 'S' local name NUL (attribute name NUL value NUL)... NUL;
  // 'E' local name NUL; 'T' length (4 bytes, native order) and the text.
  static constexpr char kStart = 'S', kEnd = 'E', kText = 'T';

 private:
  void Feed(std::string_view bytes, const Progress& progress);
  [[noreturn]] void Fail();
  void Stop(const std::string& what);
  template <class F>
  void Guarded(F&& f);

  void Start(std::string_view local, const char** attributes);
  void End(std::string_view local);
  void Text(const char* text, size_t length);

  static void OnStart(void* data, const XML_Char* name, const XML_Char** attributes);
  static void OnEnd(void* data, const XML_Char* name);
  static void OnText(void* data, const XML_Char* text, int length);
  static void OnEntity(void* data, const XML_Char* entity, int, const XML_Char*, int,
                       const XML_Char*, const XML_Char*, const XML_Char*, const XML_Char*);

  const std::string& name_;
  XmlHandler& handler_;
  UniqueParser parser_;
  std::vector<bool> wants_;
  std::string text_;
  std::string failure_;
  // Reading a first piece: where it ends, and the start tags open so far.
  size_t stopFrom_ = SIZE_MAX;
  bool stopped_ = false;
  PieceStart* next_ = nullptr;
  std::vector<OpenTag> open_;
};

}  // namespace varnolt::xml_internal
