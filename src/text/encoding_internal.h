// The one piece of encoding that each platform does its own way: one character into a
// code page. Internal to text/.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace varnolt::encoding_detail {

class CharacterEncoder {
 public:
  // Throws Error(kGeneral) for an unknown code page name.
  explicit CharacterEncoder(const char* codepage);
  ~CharacterEncoder();
  CharacterEncoder(const CharacterEncoder&) = delete;
  CharacterEncoder& operator=(const CharacterEncoder&) = delete;

  // Appends the code page's bytes of one well-formed UTF-8 character; false (nothing
  // appended) when the code page has no such character.
  bool Encode(std::string_view character, std::string& out);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace varnolt::encoding_detail
