#include "text/encoding.h"

#include <gtest/gtest.h>

#include "base/error.h"

namespace varnolt {
namespace {

TEST(Utf8, Validation) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("plain"));
  EXPECT_TRUE(IsValidUtf8("中文 €"));
  EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));          // overlong NUL
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xE4\xB8"));          // cut off
  EXPECT_FALSE(IsValidUtf8("\xF5\x80\x80\x80"));  // beyond U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xD6\xD0\xCE\xC4"));  // GBK bytes of 中文
}

TEST(Utf8, SanitizeReplacesEachBadByte) {
  EXPECT_EQ(SanitizeUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(SanitizeUtf8("中\xE4\xB8"), "中\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(SanitizeUtf8("ok"), "ok");
}

TEST(Decoding, UserTextAcceptsUtf8BomAndGb18030) {
  EXPECT_EQ(DecodeUserText("\xEF\xBB\xBF" "10\r\n"), "10\r\n");
  EXPECT_EQ(DecodeUserText("中文"), "中文");
  EXPECT_EQ(DecodeUserText("\xD6\xD0\xCE\xC4 P1"), "中文 P1");
}

TEST(Decoding, CodePages) {
  EXPECT_EQ(DecodeToUtf8("\xE9t\xE9", "CP1252"), "été");
  EXPECT_EQ(DecodeToUtf8("\xB5\xC0\xC2\xB7", "GB18030"), "道路");
  // A lead byte with nothing after it is replaced, not dropped silently.
  EXPECT_EQ(DecodeToUtf8("a\xB5", "GB18030"), "a\xEF\xBF\xBD");
  EXPECT_THROW(DecodeToUtf8("x", "NO-SUCH-CODEPAGE"), Error);
}

// The code pages of drawings from Chinese, Taiwanese, Korean, Japanese and Russian
// offices, decoded alike by iconv on Linux and by Windows' own code pages.
TEST(Decoding, SameTextOnEveryPlatform) {
  EXPECT_EQ(DecodeToUtf8("\xB2\xE2\xBB\xE6\xB5\xC0\xC2\xB7 K1", "GB18030"), "测绘道路 K1");
  EXPECT_EQ(DecodeToUtf8("\xB2\xE2\xBB\xE6", "CP936"), "测绘");
  EXPECT_EQ(DecodeToUtf8("\xB4\xFA\xC3\xB8\xB9\x44\xB8\xF4", "CP950"), "測繪道路");
  EXPECT_EQ(DecodeToUtf8("\xC7\xD1\xB1\xB9", "CP949"), "한국");
  EXPECT_EQ(DecodeToUtf8("\x93\xFA\x96\x7B", "CP932"), "日本");
  EXPECT_EQ(DecodeToUtf8("\xB4\xDE\xE0\xDE\xD3\xD0", "ISO-8859-5"), "Дорога");
  EXPECT_EQ(DecodeToUtf8("\xC4\xEE\xF0\xEE\xE3\xE0", "CP1251"), "Дорога");
  // A byte that starts no character is replaced, and decoding goes on after it.
  EXPECT_EQ(DecodeToUtf8("\xB2\xE2\xFF\xBB\xE6", "GB18030"), "测\xEF\xBF\xBD绘");
}

TEST(CodePoints, DropLastCharactersNotBytes) {
  EXPECT_EQ(DropLastCodePoints("pts.txt", 4), "pts");
  EXPECT_EQ(DropLastCodePoints("points", 4), "po");
  EXPECT_EQ(DropLastCodePoints("控制点.txt", 4), "控制点");
  EXPECT_EQ(DropLastCodePoints("控制点表", 4), "");
  EXPECT_EQ(DropLastCodePoints("ab", 4), "");
  EXPECT_EQ(CountCodePoints("控制点.txt"), 7u);
}

}  // namespace
}  // namespace varnolt
