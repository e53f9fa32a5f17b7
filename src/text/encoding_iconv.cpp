#include <iconv.h>

#include <cerrno>

#include "base/error.h"
#include "text/encoding.h"
#include "text/encoding_internal.h"

namespace varnolt {

std::string DecodeToUtf8(std::string_view bytes, const char* codepage) {
  iconv_t cd = iconv_open("UTF-8", codepage);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw Error(ErrorKind::kGeneral, std::string("unknown code page '") + codepage + "'");
  }
  std::string out;
  out.reserve(bytes.size() * 3 / 2 + 16);
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char buf[4096];
  while (inLeft > 0) {
    char* o = buf;
    size_t oLeft = sizeof buf;
    size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buf, static_cast<size_t>(o - buf));
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // An undecodable byte (EILSEQ) or a sequence cut off at the end (EINVAL):
    // one replacement character, then go on after the byte.
    out += kUtf8Replacement;
    ++in;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return out;
}

namespace encoding_detail {

struct CharacterEncoder::State {
  iconv_t cd;
};

CharacterEncoder::CharacterEncoder(const char* codepage) {
  iconv_t cd = iconv_open(codepage, "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw Error(ErrorKind::kGeneral, std::string("unknown code page '") + codepage + "'");
  }
  state_.reset(new State{cd});
}

CharacterEncoder::~CharacterEncoder() { iconv_close(state_->cd); }

bool CharacterEncoder::Encode(std::string_view character, std::string& out) {
  char* in = const_cast<char*>(character.data());
  size_t inLeft = character.size();
  char buf[16];
  char* o = buf;
  size_t oLeft = sizeof buf;
  const size_t r = iconv(state_->cd, &in, &inLeft, &o, &oLeft);
  iconv(state_->cd, nullptr, nullptr, nullptr, nullptr);
  if (r != 0 || inLeft != 0) return false;  // not in the code page (or only approximated)
  out.append(buf, static_cast<size_t>(o - buf));
  return true;
}

}  // namespace encoding_detail

}  // namespace varnolt
