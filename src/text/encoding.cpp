#include "text/encoding.h"

#include <optional>

#include "text/encoding_internal.h"

namespace varnolt {
namespace {

// Length of the well-formed UTF-8 sequence at s[i], or 0 when it is ill-formed.
size_t Utf8SequenceLength(std::string_view s, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = byte(i);
  if (c < 0x80) return 1;
  size_t len;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;        // no overlongs
    if (c == 0xED) hi = 0x9F;        // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;        // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
  for (size_t k = 2; k < len; ++k) {
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  }
  return len;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    size_t n = Utf8SequenceLength(bytes, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string_view StripUtf8Bom(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  return bytes;
}

std::string SanitizeUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    size_t n = Utf8SequenceLength(bytes, i);
    if (n == 0) {
      out += kUtf8Replacement;
      ++i;
    } else {
      out.append(bytes.data() + i, n);
      i += n;
    }
  }
  return out;
}

std::string DecodeUserText(std::string_view bytes) {
  std::string_view body = StripUtf8Bom(bytes);
  if (IsValidUtf8(body)) return std::string(body);
  return DecodeToUtf8(body, "GB18030");
}

size_t CountCodePoints(std::string_view utf8) {
  size_t n = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) ++n;
  }
  return n;
}

std::string DropLastCodePoints(std::string_view utf8, size_t n) {
  size_t end = utf8.size();
  while (n > 0 && end > 0) {
    --end;
    while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
    --n;
  }
  return std::string(utf8.substr(0, end));
}

std::string EncodeFromUtf8(std::string_view utf8, const char* codepage,
                           std::string (*missing)(char32_t codePoint)) {
  // Opened at the first character beyond ASCII: most names and texts have none.
  std::optional<encoding_detail::CharacterEncoder> encoder;
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const size_t len = Utf8SequenceLength(utf8, i);
    if (len <= 1) {  // ASCII, the same in every code page we write (or a stray byte)
      out += utf8[i++];
      continue;
    }
    const std::string_view character = utf8.substr(i, len);
    if (!encoder) encoder.emplace(codepage);
    if (!encoder->Encode(character, out)) {
      const auto b = static_cast<unsigned char>(character[0]);
      char32_t cp = b & (len == 4 ? 0x07u : len == 3 ? 0x0Fu : 0x1Fu);
      for (size_t k = 1; k < len; ++k) {
        cp = (cp << 6) | (static_cast<unsigned char>(character[k]) & 0x3Fu);
      }
      out += missing(cp);
    }
    i += len;
  }
  return out;
}

}  // namespace varnolt
