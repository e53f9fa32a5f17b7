// XML read with expat, for the readers of KML and GPX: element names by their local
// part (namespaces are resolved and dropped, so KML with or without its namespace, and
// gx:Track beside it, read alike), character data only where the reader wants it.
// Any entity declaration is refused before it can be expanded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace varnolt {

class XmlHandler {
 public:
  virtual ~XmlHandler() = default;
  // `attributes`: name, value, name, value, ..., nullptr (local names, as expat gives).
  virtual void Start(std::string_view name, const char** attributes) = 0;
  // `text`: the element's character data when WantsText() said so at its start.
  virtual void End(std::string_view name, std::string_view text) = 0;
  virtual bool WantsText(std::string_view name) const = 0;
};

// Parses `bytes`, calling the handler. Throws Error(kGeneral) "NAME: line L: what"
// for XML that is not well-formed, for a DTD that declares an entity, and for what
// the handler throws (its message gets the file and line). `progress`, when given,
// hears after every few megabytes how many of the bytes have been read.
void ParseXml(std::string_view bytes, const std::string& name, XmlHandler& handler,
              const std::function<void(uint64_t done, uint64_t total)>& progress = {});

// How a large document is read on several threads at once.
struct XmlPieces {
  unsigned threads = 1;                    // pieces at most; 0: one per core
  size_t minPieceBytes = size_t{4} << 20;  // a smaller piece is not worth a thread
};

// Parses `bytes` as ParseXml does, a large document in pieces read at once, each by a
// parser of its own; the handler `fresh()` gives hears exactly the calls, in the
// order, and the failure one parser over the whole document would give it. A
// document the pieces cannot read alike (a DOCTYPE, an encoding other than UTF-8,
// US-ASCII or ISO-8859-1, any failure after the first piece) is read again whole,
// into a handler `fresh()` gives anew. Returns how many pieces were read apart: 1
// when the document was read whole.
size_t ParseXmlInPieces(std::string_view bytes, const std::string& name,
                      const std::function<XmlHandler&()>& fresh, const XmlPieces& pieces,
                      const std::function<void(uint64_t done, uint64_t total)>& progress = {});

// `text` without the blanks, tabs and line ends around it: the value of an element.
std::string_view XmlTrimmed(std::string_view text);

// The value of the attribute `name` in expat's list, or null.
const char* XmlAttribute(const char** attributes, std::string_view name);

}  // namespace varnolt
