#include "cad/dxf_text.h"

#include <array>
#include <cstdint>

#include "text/ascii.h"
#include "text/encoding.h"

namespace varnolt {
namespace {

struct CodepageName {
  const char* dxf;    // lower case
  const char* iconv;  // nullptr: UTF-8
};

// The names AutoCAD writes into $DWGCODEPAGE. GBK drawings say ANSI_936 (or
// gb2312 in old releases); GB18030 is GBK's superset, so it reads both.
constexpr std::array kCodepages = {
    CodepageName{"ansi_874", "CP874"},      CodepageName{"ansi_932", "CP932"},
    CodepageName{"ansi_936", "GB18030"},    CodepageName{"ansi_949", "CP949"},
    CodepageName{"ansi_950", "CP950"},      CodepageName{"ansi_1250", "CP1250"},
    CodepageName{"ansi_1251", "CP1251"},    CodepageName{"ansi_1252", "CP1252"},
    CodepageName{"ansi_1253", "CP1253"},    CodepageName{"ansi_1254", "CP1254"},
    CodepageName{"ansi_1255", "CP1255"},    CodepageName{"ansi_1256", "CP1256"},
    CodepageName{"ansi_1257", "CP1257"},    CodepageName{"ansi_1258", "CP1258"},
    CodepageName{"ansi_1361", "JOHAB"},     CodepageName{"dos437", "CP437"},
    CodepageName{"dos737", "CP737"},        CodepageName{"dos850", "CP850"},
    CodepageName{"dos852", "CP852"},        CodepageName{"dos855", "CP855"},
    CodepageName{"dos857", "CP857"},        CodepageName{"dos860", "CP860"},
    CodepageName{"dos861", "CP861"},        CodepageName{"dos863", "CP863"},
    CodepageName{"dos864", "CP864"},        CodepageName{"dos865", "CP865"},
    CodepageName{"dos866", "CP866"},        CodepageName{"dos869", "CP869"},
    CodepageName{"dos932", "CP932"},        CodepageName{"dos936", "GB18030"},
    CodepageName{"dos949", "CP949"},        CodepageName{"dos950", "CP950"},
    CodepageName{"gb2312", "GB18030"},      CodepageName{"big5", "CP950"},
    CodepageName{"ksc5601", "CP949"},       CodepageName{"johab", "JOHAB"},
    CodepageName{"mac-roman", "MACINTOSH"}, CodepageName{"iso8859-1", "ISO-8859-1"},
    CodepageName{"iso8859-2", "ISO-8859-2"}, CodepageName{"iso8859-3", "ISO-8859-3"},
    CodepageName{"iso8859-4", "ISO-8859-4"}, CodepageName{"iso8859-5", "ISO-8859-5"},
    CodepageName{"iso8859-6", "ISO-8859-6"}, CodepageName{"iso8859-7", "ISO-8859-7"},
    CodepageName{"iso8859-8", "ISO-8859-8"}, CodepageName{"iso8859-9", "ISO-8859-9"},
    CodepageName{"utf8", nullptr},          CodepageName{"utf-8", nullptr},
};

// \M+N: the code page of a double-byte escape, by N.
const char* MifCodepage(char n) {
  switch (n) {
    case '1': return "CP932";
    case '2': return "CP950";
    case '3': return "CP949";
    case '4': return "JOHAB";
    case '5': return "GB18030";
    default: return nullptr;
  }
}

bool IsAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The four hex digits at s[pos..pos+4) as a number, or -1.
int32_t Hex4(std::string_view s, size_t pos) {
  if (s.size() < pos + 4) return -1;
  int32_t v = 0;
  for (size_t i = pos; i < pos + 4; ++i) {
    const int d = HexDigit(s[i]);
    if (d < 0) return -1;
    v = v * 16 + d;
  }
  return v;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes \U+XXXX (a UTF-16 pair written as two escapes is joined) and \M+NXXXX in
// text that is already UTF-8. Both escapes are pure ASCII, so they survive any code
// page conversion unchanged.
std::string DecodeEscapes(std::string_view s) {
  if (s.find("\\U+") == std::string_view::npos && s.find("\\u+") == std::string_view::npos &&
      s.find("\\M+") == std::string_view::npos && s.find("\\m+") == std::string_view::npos) {
    return std::string(s);
  }
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    if (s[i] == '\\' && i + 2 < s.size() && s[i + 2] == '+') {
      const char kind = s[i + 1];
      if (kind == 'U' || kind == 'u') {
        int32_t cp = Hex4(s, i + 3);
        if (cp >= 0) {
          size_t next = i + 7;
          if (cp >= 0xD800 && cp <= 0xDBFF && next + 7 <= s.size() && s[next] == '\\' &&
              (s[next + 1] == 'U' || s[next + 1] == 'u') && s[next + 2] == '+') {
            const int32_t low = Hex4(s, next + 3);
            if (low >= 0xDC00 && low <= 0xDFFF) {
              cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
              next += 7;
            }
          }
          AppendUtf8(out, static_cast<uint32_t>(cp));
          i = next;
          continue;
        }
      } else if (kind == 'M' || kind == 'm') {
        const char* codepage = i + 3 < s.size() ? MifCodepage(s[i + 3]) : nullptr;
        const int32_t code = Hex4(s, i + 4);
        if (codepage != nullptr && code >= 0) {
          const char bytes[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
          // A single-byte code is written with a leading 00.
          const std::string_view raw = bytes[0] == '\0' ? std::string_view(bytes + 1, 1)
                                                        : std::string_view(bytes, 2);
          out += raw == std::string_view("\0", 1) ? std::string("\xEF\xBF\xBD")
                                                  : DecodeToUtf8(raw, codepage);
          i += 8;
          continue;
        }
      }
    }
    out += s[i];
    ++i;
  }
  return out;
}

}  // namespace

const char* IconvNameOfDwgCodepage(std::string_view dwgcodepage) {
  for (const CodepageName& c : kCodepages) {
    if (EqualsIgnoringAsciiCase(dwgcodepage, c.dxf)) return c.iconv != nullptr ? c.iconv : "UTF-8";
  }
  return nullptr;
}

DxfTextCodec ChooseDxfCodec(std::string_view acadver, std::string_view dwgcodepage) {
  DxfTextCodec codec;
  // "AC1021" and later: the version strings compare in release order.
  if (acadver.size() == 6 && acadver.substr(0, 2) == "AC" && acadver >= "AC1021") {
    codec.utf8 = true;
    return codec;
  }
  const char* name = IconvNameOfDwgCodepage(dwgcodepage);
  if (name != nullptr && std::string_view(name) == "UTF-8") {
    codec.utf8 = true;
  } else if (name != nullptr) {
    codec.codepage = name;
  }
  return codec;
}

std::string DecodeDxfText(std::string_view raw, const DxfTextCodec& codec) {
  std::string utf8;
  if (IsAscii(raw)) {
    utf8.assign(raw);
  } else if (codec.utf8) {
    utf8 = SanitizeUtf8(raw);
  } else if (!codec.codepage.empty()) {
    utf8 = DecodeToUtf8(raw, codec.codepage.c_str());
  } else if (IsValidUtf8(raw)) {
    utf8.assign(raw);
  } else {
    utf8 = DecodeToUtf8(raw, "CP1252");
  }
  return DecodeEscapes(utf8);
}

}  // namespace varnolt
