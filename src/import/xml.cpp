#include "import/xml.h"

#include <expat.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

#include "base/error.h"

namespace varnolt {
namespace {

// Between a namespace URI and the local name in what expat hands over.
constexpr char kSeparator = '\x1F';
// expat takes lengths as int: large files go in pieces, small enough to tell the
// progress by.
constexpr size_t kPiece = size_t{1} << 22;

std::string_view LocalName(const XML_Char* name) {
  std::string_view s(name);
  const size_t at = s.rfind(kSeparator);
  return at == std::string_view::npos ? s : s.substr(at + 1);
}

struct ParserFree {
  void operator()(XML_Parser p) const { XML_ParserFree(p); }
};

class Session {
 public:
  Session(const std::string& name, XmlHandler& handler) : name_(name), handler_(handler) {}

  void Run(std::string_view bytes, const std::function<void(uint64_t, uint64_t)>& progress) {
    parser_.reset(XML_ParserCreateNS(nullptr, kSeparator));
    if (!parser_) throw Error(ErrorKind::kGeneral, name_ + ": out of memory for the XML parser");
    XML_Parser p = parser_.get();
    XML_SetUserData(p, this);
    XML_SetElementHandler(p, &Session::OnStart, &Session::OnEnd);
    XML_SetCharacterDataHandler(p, &Session::OnText);
    XML_SetEntityDeclHandler(p, &Session::OnEntity);
    XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);
    size_t at = 0;
    do {
      const size_t n = std::min(kPiece, bytes.size() - at);
      const bool last = at + n == bytes.size();
      if (XML_Parse(p, bytes.data() + at, static_cast<int>(n), last) != XML_STATUS_OK) Fail();
      at += n;
      if (progress) progress(at, bytes.size());
    } while (at < bytes.size());
  }

 private:
  // The first failure, with the line where it happened.
  [[noreturn]] void Fail() {
    if (!failure_.empty()) throw Error(ErrorKind::kGeneral, failure_);
    const XML_Parser p = parser_.get();
    throw Error(ErrorKind::kGeneral,
                name_ + ": line " + std::to_string(XML_GetCurrentLineNumber(p)) +
                    ": not well-formed XML: " + XML_ErrorString(XML_GetErrorCode(p)));
  }

  void Stop(const std::string& what) {
    if (failure_.empty()) {
      failure_ = name_ + ": line " + std::to_string(XML_GetCurrentLineNumber(parser_.get())) +
                 ": " + what;
    }
    XML_StopParser(parser_.get(), XML_FALSE);
  }

  // No exception may cross expat's C frames: each callback stops the parser instead.
  template <class F>
  void Guarded(F&& f) {
    if (!failure_.empty()) return;
    try {
      f();
    } catch (const std::exception& e) {
      Stop(e.what());
    }
  }

  static void OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* s = static_cast<Session*>(data);
    s->Guarded([&] {
      const std::string_view local = LocalName(name);
      s->wants_.push_back(s->handler_.WantsText(local));
      if (s->wants_.back()) s->text_.clear();
      s->handler_.Start(local, attributes);
    });
  }

  static void OnEnd(void* data, const XML_Char* name) {
    auto* s = static_cast<Session*>(data);
    s->Guarded([&] {
      const bool wanted = !s->wants_.empty() && s->wants_.back();
      if (!s->wants_.empty()) s->wants_.pop_back();
      s->handler_.End(LocalName(name), wanted ? std::string_view(s->text_) : std::string_view());
      if (wanted) s->text_.clear();
    });
  }

  static void OnText(void* data, const XML_Char* text, int length) {
    auto* s = static_cast<Session*>(data);
    if (!s->wants_.empty() && s->wants_.back()) s->text_.append(text, static_cast<size_t>(length));
  }

  static void OnEntity(void* data, const XML_Char* entity, int, const XML_Char*, int,
                       const XML_Char*, const XML_Char*, const XML_Char*, const XML_Char*) {
    auto* s = static_cast<Session*>(data);
    s->Stop(std::string("the document declares the XML entity \"") + entity +
            "\"; entity declarations are refused (they can expand without end, as in the "
            "\"billion laughs\" attack)");
  }

  const std::string& name_;
  XmlHandler& handler_;
  std::unique_ptr<XML_ParserStruct, ParserFree> parser_;
  std::vector<bool> wants_;
  std::string text_;
  std::string failure_;
};

}  // namespace

void ParseXml(std::string_view bytes, const std::string& name, XmlHandler& handler,
              const std::function<void(uint64_t done, uint64_t total)>& progress) {
  Session(name, handler).Run(bytes, progress);
}

std::string_view XmlTrimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

const char* XmlAttribute(const char** attributes, std::string_view name) {
  for (size_t k = 0; attributes != nullptr && attributes[k] != nullptr; k += 2) {
    if (LocalName(attributes[k]) == name) return attributes[k + 1];
  }
  return nullptr;
}

}  // namespace varnolt
