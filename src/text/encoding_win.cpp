#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "base/error.h"
#include "text/ascii.h"
#include "text/encoding.h"
#include "text/encoding_internal.h"

namespace varnolt {
namespace {

// Windows' number of a code page named as iconv names it; 0 when unknown.
UINT CodepageNumber(std::string_view name) {
  const std::string folded = FoldAscii(name);
  // GB18030 where the system has it; else GBK's code page, which decodes the same
  // two-byte characters that ANSI_936 drawings and Chinese Windows' files hold
  // (wine, for one, has no 54936).
  if (folded == "gb18030") return ::IsValidCodePage(54936) ? 54936 : 936;
  if (folded == "utf-8") return CP_UTF8;
  if (folded == "johab") return 1361;
  if (folded == "macintosh") return 10000;
  auto number = [](std::string_view digits) -> UINT {
    if (digits.empty() || digits.size() > 5) return 0;
    UINT n = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return 0;
      n = n * 10 + static_cast<UINT>(c - '0');
    }
    return n;
  };
  if (folded.starts_with("cp")) return number(std::string_view(folded).substr(2));
  if (folded.starts_with("iso-8859-")) {
    const UINT part = number(std::string_view(folded).substr(9));
    return part >= 1 && part <= 15 ? 28590 + part : 0;
  }
  return 0;
}

// The characters of `bytes` in UTF-16, or false when a byte does not decode.
bool Decode(UINT codepage, const char* bytes, int size, std::wstring& out) {
  if (size == 0) {
    out.clear();
    return true;
  }
  const int n = ::MultiByteToWideChar(codepage, MB_ERR_INVALID_CHARS, bytes, size, nullptr, 0);
  if (n <= 0) return false;
  out.resize(static_cast<size_t>(n));
  return ::MultiByteToWideChar(codepage, MB_ERR_INVALID_CHARS, bytes, size, out.data(), n) == n;
}

void AppendUtf8(std::string& out, const std::wstring& text) {
  if (text.empty()) return;
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  const size_t old = out.size();
  out.resize(old + static_cast<size_t>(size));
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data() + old,
                        size, nullptr, nullptr);
}

}  // namespace

std::string DecodeToUtf8(std::string_view bytes, const char* codepage) {
  const UINT number = CodepageNumber(codepage);
  if (number == 0 || !::IsValidCodePage(number)) {
    throw Error(ErrorKind::kGeneral, std::string("unknown code page '") + codepage + "'");
  }
  std::string out;
  std::wstring wide;
  // The usual case: the whole text decodes at once.
  if (bytes.size() < (1u << 30) &&
      Decode(number, bytes.data(), static_cast<int>(bytes.size()), wide)) {
    AppendUtf8(out, wide);
    return out;
  }
  // Otherwise character by character: the shortest run of up to four bytes that
  // decodes, or one replacement character for a byte that starts none.
  size_t i = 0;
  while (i < bytes.size()) {
    size_t taken = 0;
    for (size_t len = 1; len <= 4 && i + len <= bytes.size(); ++len) {
      if (Decode(number, bytes.data() + i, static_cast<int>(len), wide)) {
        taken = len;
        break;
      }
    }
    if (taken == 0) {
      out += kUtf8Replacement;
      ++i;
    } else {
      AppendUtf8(out, wide);
      i += taken;
    }
  }
  return out;
}

namespace encoding_detail {

struct CharacterEncoder::State {
  UINT codepage;
};

CharacterEncoder::CharacterEncoder(const char* codepage) {
  const UINT number = CodepageNumber(codepage);
  if (number == 0 || !::IsValidCodePage(number)) {
    throw Error(ErrorKind::kGeneral, std::string("unknown code page '") + codepage + "'");
  }
  state_.reset(new State{number});
}

CharacterEncoder::~CharacterEncoder() = default;

bool CharacterEncoder::Encode(std::string_view character, std::string& out) {
  wchar_t wide[4];
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, character.data(),
                                      static_cast<int>(character.size()), wide, 4);
  if (n <= 0) return false;
  char bytes[16];
  BOOL usedDefault = FALSE;
  const int size = ::WideCharToMultiByte(state_->codepage, WC_NO_BEST_FIT_CHARS, wide, n, bytes,
                                         sizeof bytes, nullptr, &usedDefault);
  if (size <= 0 || usedDefault) return false;
  out.append(bytes, static_cast<size_t>(size));
  return true;
}

}  // namespace encoding_detail

}  // namespace varnolt
