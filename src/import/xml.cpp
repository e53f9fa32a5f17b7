#include "import/xml.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "base/error.h"
#include "import/xml_session.h"

namespace varnolt {
namespace xml_internal {

std::string_view LocalName(const XML_Char* name) {
  std::string_view s(name);
  const size_t at = s.rfind(kSeparator);
  return at == std::string_view::npos ? s : s.substr(at + 1);
}

UniqueParser MakeParser(const std::string& name, void* user, XML_StartElementHandler start,
                        XML_EndElementHandler end, XML_CharacterDataHandler text,
                        XML_EntityDeclHandler entity) {
  UniqueParser parser(XML_ParserCreateNS(nullptr, kSeparator));
  if (!parser) throw Error(ErrorKind::kGeneral, name + ": out of memory for the XML parser");
  XML_Parser p = parser.get();
  XML_SetUserData(p, user);
  XML_SetElementHandler(p, start, end);
  XML_SetCharacterDataHandler(p, text);
  XML_SetEntityDeclHandler(p, entity);
  XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);
  return parser;
}

void Session::Run(std::string_view bytes, const Progress& progress) {
  parser_ = MakeParser(name_, this, &Session::OnStart, &Session::OnEnd, &Session::OnText,
                       &Session::OnEntity);
  Feed(bytes, progress);
}

bool Session::RunUntil(std::string_view bytes, size_t stopFrom, const Progress& progress,
                       PieceStart& next) {
  stopFrom_ = stopFrom;
  next_ = &next;
  Run(bytes, progress);
  return stopped_;
}

// Feeds the bytes in pieces, up to the end or to where a first piece stops.
void Session::Feed(std::string_view bytes, const Progress& progress) {
  XML_Parser p = parser_.get();
  size_t at = 0;
  do {
    const size_t n = std::min(kFeed, bytes.size() - at);
    const bool last = at + n == bytes.size();
    if (XML_Parse(p, bytes.data() + at, static_cast<int>(n), last) != XML_STATUS_OK) {
      if (stopped_) return;
      Fail();
    }
    at += n;
    if (progress) progress(at, bytes.size());
  } while (at < bytes.size());
}

// The first failure, with the line where it happened.
void Session::Fail() {
  if (!failure_.empty()) throw Error(ErrorKind::kGeneral, failure_);
  const XML_Parser p = parser_.get();
  throw Error(ErrorKind::kGeneral,
              name_ + ": line " + std::to_string(XML_GetCurrentLineNumber(p)) +
                  ": not well-formed XML: " + XML_ErrorString(XML_GetErrorCode(p)));
}

void Session::Stop(const std::string& what) {
  if (failure_.empty()) {
    failure_ = name_ + ": line " + std::to_string(XML_GetCurrentLineNumber(parser_.get())) +
               ": " + what;
  }
  XML_StopParser(parser_.get(), XML_FALSE);
}

// No exception may cross expat's C frames: each callback stops the parser instead.
template <class F>
void Session::Guarded(F&& f) {
  if (!failure_.empty()) return;
  try {
    f();
  } catch (const std::exception& e) {
    Stop(e.what());
  }
}

void Session::Start(std::string_view local, const char** attributes) {
  wants_.push_back(handler_.WantsText(local));
  if (wants_.back()) text_.clear();
  handler_.Start(local, attributes);
}

void Session::End(std::string_view local) {
  const bool wanted = !wants_.empty() && wants_.back();
  if (!wants_.empty()) wants_.pop_back();
  handler_.End(local, wanted ? std::string_view(text_) : std::string_view());
  if (wanted) text_.clear();
}

void Session::Text(const char* text, size_t length) {
  if (!wants_.empty() && wants_.back()) text_.append(text, length);
}

void Session::OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
  auto* s = static_cast<Session*>(data);
  if (s->stopped_ || !s->failure_.empty()) return;
  if (s->next_ != nullptr) {
    const XML_Parser p = s->parser_.get();
    const auto at = static_cast<size_t>(XML_GetCurrentByteIndex(p));
    if (at >= s->stopFrom_) {
      // The next piece begins here; its parser reads this tag.
      s->next_->at = at;
      s->next_->open = s->open_;
      s->stopped_ = true;
      XML_StopParser(p, XML_FALSE);
      return;
    }
    s->open_.push_back({at, static_cast<size_t>(XML_GetCurrentByteCount(p))});
  }
  s->Guarded([&] { s->Start(LocalName(name), attributes); });
}

void Session::OnEnd(void* data, const XML_Char* name) {
  auto* s = static_cast<Session*>(data);
  // expat ends an empty element stopped at its start all the same: the next piece's.
  if (s->stopped_) return;
  if (s->next_ != nullptr && !s->open_.empty()) s->open_.pop_back();
  s->Guarded([&] { s->End(LocalName(name)); });
}

void Session::OnText(void* data, const XML_Char* text, int length) {
  auto* s = static_cast<Session*>(data);
  if (!s->stopped_) s->Text(text, static_cast<size_t>(length));
}

void Session::OnEntity(void* data, const XML_Char* entity, int, const XML_Char*, int,
                       const XML_Char*, const XML_Char*, const XML_Char*, const XML_Char*) {
  static_cast<Session*>(data)->Stop(
      std::string("the document declares the XML entity \"") + entity +
      "\"; entity declarations are refused (they can expand without end, as in the "
      "\"billion laughs\" attack)");
}

bool Session::Replay(std::string_view recorded) {
  std::vector<const char*> attributes;
  const char* p = recorded.data();
  const char* const end = p + recorded.size();
  try {
    while (p < end) {
      const char kind = *p++;
      if (kind == kText) {
        uint32_t length = 0;
        std::memcpy(&length, p, sizeof length);
        p += sizeof length;
        Text(p, length);
        p += length;
        continue;
      }
      const std::string_view local(p);
      p += local.size() + 1;
      if (kind == kEnd) {
        End(local);
        continue;
      }
      attributes.clear();
      while (*p != '\0') {
        attributes.push_back(p);
        p += std::strlen(p) + 1;
      }
      ++p;
      attributes.push_back(nullptr);
      Start(local, attributes.data());
    }
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

}  // namespace xml_internal

void ParseXml(std::string_view bytes, const std::string& name, XmlHandler& handler,
              const std::function<void(uint64_t done, uint64_t total)>& progress) {
  xml_internal::Session(name, handler).Run(bytes, progress);
}

std::string_view XmlTrimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

const char* XmlAttribute(const char** attributes, std::string_view name) {
  for (size_t k = 0; attributes != nullptr && attributes[k] != nullptr; k += 2) {
    if (xml_internal::LocalName(attributes[k]) == name) return attributes[k + 1];
  }
  return nullptr;
}

}  // namespace varnolt
