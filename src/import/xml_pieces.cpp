// A large document read in pieces, one per thread. A quick scan of the bytes before a
// piece finds where it can begin (a start tag) and the start tags still open there;
// the piece's own parser reads those tags first, so that names and namespaces resolve
// as in the whole document, and records what it hears. The first piece's parser, on
// the calling thread, tells where the second truly begins and what is open there; a
// piece's events are handed on only when that agrees with its scan, so the handler
// hears exactly what one parser over the whole document would tell it.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <system_error>
#include <thread>

#include "base/large_memory.h"
#include "import/xml.h"
#include "import/xml_session.h"
#include "text/ascii.h"

namespace varnolt {
namespace {

using xml_internal::OpenTag;
using xml_internal::PieceStart;
using xml_internal::Session;

bool NameStart(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || u == ':' || u >= 0x80;
}

// What every later piece is read after: the byte order mark and the XML declaration
// (its encoding). False when the bytes may not be one byte per ASCII character, where
// a scan for '<' would mislead.
bool Prolog(std::string_view bytes, std::string_view& prolog) {
  const size_t bom = bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  prolog = bytes.substr(0, bom);
  if (bytes.substr(0, 4).find('\0') != std::string_view::npos) return false;
  if (bytes.substr(bom, 5) != "<?xml") return true;
  const size_t end = bytes.find("?>", bom);
  if (end == std::string_view::npos) return false;
  prolog = bytes.substr(0, end + 2);
  const size_t at = prolog.find("encoding");
  if (at == std::string_view::npos) return true;
  const size_t open = prolog.find_first_of("\"'", at);
  if (open == std::string_view::npos) return false;
  const size_t close = prolog.find(prolog[open], open + 1);
  if (close == std::string_view::npos) return false;
  const std::string_view encoding = prolog.substr(open + 1, close - open - 1);
  return EqualsIgnoringAsciiCase(encoding, "UTF-8") ||
         EqualsIgnoringAsciiCase(encoding, "US-ASCII") ||
         EqualsIgnoringAsciiCase(encoding, "ISO-8859-1");
}

// Scans from the document's start to the first start tag at or after `from`: true with
// it and the start tags open before it. False at what the scan does not follow (a
// DOCTYPE, a '<' that starts no markup, the end); the piece is then not read apart.
bool ScanToStartTag(std::string_view b, size_t from, PieceStart& start) {
  const size_t n = b.size();
  auto skipPast = [&](size_t& i, std::string_view token, size_t after) {
    const size_t e = b.find(token, after);
    if (e == std::string_view::npos) return false;
    i = e + token.size();
    return true;
  };
  start.open.clear();
  size_t i = 0;
  while (true) {
    const void* lt = std::memchr(b.data() + i, '<', n - i);
    if (lt == nullptr) return false;
    i = static_cast<size_t>(static_cast<const char*>(lt) - b.data());
    if (i + 1 >= n) return false;
    const char c = b[i + 1];
    if (c == '?') {
      if (!skipPast(i, "?>", i + 2)) return false;
    } else if (c == '!') {
      if (b.compare(i, 4, "<!--") == 0) {
        if (!skipPast(i, "-->", i + 4)) return false;
      } else if (b.compare(i, 9, "<![CDATA[") == 0) {
        if (!skipPast(i, "]]>", i + 9)) return false;
      } else {
        return false;
      }
    } else if (c == '/') {
      if (start.open.empty() || !skipPast(i, ">", i + 2)) return false;
      start.open.pop_back();
    } else if (NameStart(c)) {
      size_t j = i + 2;
      while (j < n && b[j] != '>') {
        if (b[j] == '"' || b[j] == '\'') {
          const size_t close = b.find(b[j], j + 1);
          if (close == std::string_view::npos) return false;
          j = close;
        }
        ++j;
      }
      if (j >= n) return false;
      if (i >= from) {
        start.at = i;
        return true;
      }
      if (b[j - 1] != '/') start.open.push_back({i, j + 1 - i});
      i = j + 1;
    } else {
      return false;
    }
  }
}

// The events a piece's parser records, some 40 bytes a position, in memory of its own
// (see LargeMemory) taken at once for a quarter more than the piece's bytes (a GPX
// track records 1.08 bytes a byte, KML less): growing it is rare.
class Tape {
 public:
  explicit Tape(size_t expected = 0) : memory_(expected) {}

  // Room for `n` more bytes, to be written at once.
  char* Add(size_t n) {
    if (size_ + n > memory_.size()) {
      LargeMemory grown(std::max(size_ + n, memory_.size() * 2));
      if (size_ > 0) std::memcpy(grown.data(), memory_.data(), size_);
      memory_ = std::move(grown);
    }
    char* at = memory_.data() + size_;
    size_ += n;
    return at;
  }
  char* at(size_t offset) const { return memory_.data() + offset; }
  size_t size() const { return size_; }
  std::string_view view() const { return {memory_.data(), size_}; }

 private:
  LargeMemory memory_;
  size_t size_ = 0;
};

// What the parser of a later piece made of it.
struct Piece {
  bool ok = false;   // read to its end without a failure
  PieceStart start;  // where it began, as the scan saw it
  PieceStart next;   // before the last piece: where the next begins
  Tape recorded;     // the events, as Session::Replay takes them
};

// Parses one later piece: the prolog and the open start tags, then the document from
// `piece.start.at`, recording the events, up to the first start tag at or after
// `stopFrom` (the last piece: to the document's end).
class PieceRecorder {
 public:
  PieceRecorder(std::string_view bytes, Piece& piece, size_t stopFrom,
                const std::atomic<bool>& cancel, std::atomic<uint64_t>& done)
      : bytes_(bytes), piece_(piece), stopFrom_(stopFrom), cancel_(cancel), done_(done) {}

  void Run(std::string_view prolog) {
    parser_ = xml_internal::MakeParser(name_, this, &OnStart, &OnEnd, &OnText, &OnEntity);
    std::string head(prolog);
    for (const OpenTag& tag : piece_.start.open) head.append(bytes_.substr(tag.at, tag.length));
    prefix_ = head.size();
    open_ = piece_.start.open;
    XML_Parser p = parser_.get();
    if (XML_Parse(p, head.data(), static_cast<int>(head.size()), XML_FALSE) != XML_STATUS_OK) return;
    size_t at = piece_.start.at;
    do {
      const size_t n = std::min(xml_internal::kFeed, bytes_.size() - at);
      const bool last = at + n == bytes_.size();
      if (XML_Parse(p, bytes_.data() + at, static_cast<int>(n), last) != XML_STATUS_OK) {
        piece_.ok = stopped_;
        return;
      }
      at += n;
      done_ += n;
    } while (at < bytes_.size());
    // Only the last piece may reach the document's end.
    piece_.ok = stopFrom_ == SIZE_MAX;
  }

 private:
  // Where an event at `index` of what this parser was fed lies in the document.
  size_t InDocument(XML_Index index) const {
    return piece_.start.at + (static_cast<size_t>(index) - prefix_);
  }

  static char* Copy(char* to, std::string_view s) {
    std::memcpy(to, s.data(), s.size());
    to[s.size()] = '\0';
    return to + s.size() + 1;
  }

  static void OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* r = static_cast<PieceRecorder*>(data);
    XML_Parser p = r->parser_.get();
    const auto index = XML_GetCurrentByteIndex(p);
    if (static_cast<size_t>(index) < r->prefix_) return;  // an open tag read again
    const size_t at = r->InDocument(index);
    if (at >= r->stopFrom_ || r->cancel_.load(std::memory_order_relaxed)) {
      r->piece_.next.at = at;
      r->piece_.next.open = r->open_;
      r->stopped_ = at >= r->stopFrom_;
      XML_StopParser(p, XML_FALSE);
      return;
    }
    r->open_.push_back({at, static_cast<size_t>(XML_GetCurrentByteCount(p))});
    const std::string_view local = xml_internal::LocalName(name);
    size_t n = local.size() + 3;
    for (size_t k = 0; attributes[k] != nullptr; ++k) n += std::strlen(attributes[k]) + 1;
    char* out = r->piece_.recorded.Add(n);
    *out++ = Session::kStart;
    out = Copy(out, local);
    for (size_t k = 0; attributes[k] != nullptr; ++k) out = Copy(out, attributes[k]);
    *out = '\0';
    r->lastText_ = SIZE_MAX;
  }

  static void OnEnd(void* data, const XML_Char* name) {
    auto* r = static_cast<PieceRecorder*>(data);
    if (r->stopped_) return;  // an empty element where the next piece begins
    if (!r->open_.empty()) r->open_.pop_back();
    const std::string_view local = xml_internal::LocalName(name);
    char* out = r->piece_.recorded.Add(local.size() + 2);
    *out++ = Session::kEnd;
    Copy(out, local);
    r->lastText_ = SIZE_MAX;
  }

  // Text that expat hands over in several calls is one record.
  static void OnText(void* data, const XML_Char* text, int length) {
    auto* r = static_cast<PieceRecorder*>(data);
    if (r->stopped_) return;
    Tape& tape = r->piece_.recorded;
    const auto n = static_cast<uint32_t>(length);
    uint32_t total = n;
    if (r->lastText_ == SIZE_MAX) {
      char* out = tape.Add(1 + sizeof total + n);
      *out = Session::kText;
      r->lastText_ = tape.size() - n - sizeof total;
    } else {
      uint32_t before = 0;
      std::memcpy(&before, tape.at(r->lastText_), sizeof before);
      total += before;
      tape.Add(n);
    }
    std::memcpy(tape.at(r->lastText_), &total, sizeof total);
    std::memcpy(tape.at(tape.size() - n), text, n);
  }

  // A declaration here means a DOCTYPE the scan missed: the whole parser reports it.
  static void OnEntity(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                       const XML_Char*, const XML_Char*, const XML_Char*) {
    XML_StopParser(static_cast<PieceRecorder*>(data)->parser_.get(), XML_FALSE);
  }

  const std::string name_ = "piece";
  std::string_view bytes_;
  Piece& piece_;
  const size_t stopFrom_;
  const std::atomic<bool>& cancel_;
  std::atomic<uint64_t>& done_;
  xml_internal::UniqueParser parser_;
  size_t prefix_ = 0;
  std::vector<OpenTag> open_;
  bool stopped_ = false;
  size_t lastText_ = SIZE_MAX;  // where the open text record keeps its length
};

void ReadPiece(std::string_view bytes, std::string_view prolog, size_t from, size_t stopFrom,
               const std::atomic<bool>& cancel, std::atomic<uint64_t>& done, Piece& piece) {
  try {
    if (!ScanToStartTag(bytes, from, piece.start)) return;
    // A piece whose first start tag lies beyond the next one's start is empty.
    const size_t end = std::min(stopFrom, bytes.size());
    const size_t length = end > piece.start.at ? end - piece.start.at : 0;
    piece.recorded = Tape(length + length / 4 + (1 << 16));
    PieceRecorder(bytes, piece, stopFrom, cancel, done).Run(prolog);
  } catch (...) {
    piece.ok = false;  // out of memory, say: the document is read whole instead
  }
}

// Stops and joins the workers however the calling thread leaves.
struct Workers {
  std::atomic<bool> cancel{false};
  std::vector<std::thread> threads;
  void Join() {
    for (std::thread& t : threads) {
      if (t.joinable()) t.join();
    }
  }
  ~Workers() {
    cancel = true;
    Join();
  }
};

}  // namespace

size_t ParseXmlInPieces(std::string_view bytes, const std::string& name,
                      const std::function<XmlHandler&()>& fresh, const XmlPieces& pieces,
                      const std::function<void(uint64_t done, uint64_t total)>& progress) {
  const unsigned threads =
      pieces.threads != 0 ? pieces.threads : std::max(1u, std::thread::hardware_concurrency());
  const size_t count =
      std::min<size_t>(threads, bytes.size() / std::max<size_t>(1, pieces.minPieceBytes));
  std::string_view prolog;
  // The pieces meet where expat's byte index says; where it is 32 bits wide it cannot
  // tell a place beyond 2 GiB.
  const bool indexed = sizeof(XML_Index) >= 8 || bytes.size() < (size_t{1} << 31);
  if (count < 2 || !indexed || !Prolog(bytes, prolog)) {
    ParseXml(bytes, name, fresh(), progress);
    return 1;
  }
  std::vector<size_t> from(count);
  for (size_t k = 0; k < count; ++k) from[k] = bytes.size() / count * k;
  std::vector<Piece> later(count);
  std::atomic<uint64_t> done{0};
  bool whole = false;
  {
    Workers workers;
    try {
      for (size_t k = 1; k < count; ++k) {
        const size_t stopFrom = k + 1 < count ? from[k + 1] : SIZE_MAX;
        workers.threads.emplace_back(ReadPiece, bytes, prolog, from[k], stopFrom,
                                     std::cref(workers.cancel), std::ref(done),
                                     std::ref(later[k]));
      }
    } catch (const std::system_error&) {
      whole = true;  // no thread to be had
    }
    Session first(name, fresh());
    PieceStart next;
    xml_internal::Progress told;
    if (progress) {
      told = [&](uint64_t own, uint64_t total) { progress(std::min(total, own + done), total); };
    }
    // The first piece; when the document ends in it, it has been read whole.
    if (!whole && !first.RunUntil(bytes, from[1], told, next)) return 1;
    workers.Join();
    for (size_t k = 1; k < count && !whole; ++k) {
      Piece& piece = later[k];
      whole = !piece.ok || piece.start.at != next.at || piece.start.open != next.open ||
              !first.Replay(piece.recorded.view());
      next = std::move(piece.next);
      piece.recorded = Tape();
    }
  }
  if (whole) {
    // A piece the scan misread, or a failure in a later piece: the whole document's
    // parser finds and reports it as it would alone.
    ParseXml(bytes, name, fresh(), progress);
    return 1;
  }
  if (progress) progress(bytes.size(), bytes.size());
  return count;
}

}  // namespace varnolt
