// ANSI code page <-> UTF-16 / UTF-8 conversion.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/text.h"

namespace qrvn::platform {
namespace {

// Sets QRVN_ANSI_CODEPAGE (or unsets it) for one test and puts the old value back.
class ScopedCodePage {
 public:
  explicit ScopedCodePage(const char* page) {
    if (const char* old = std::getenv("QRVN_ANSI_CODEPAGE")) old_ = old;
    if (page != nullptr) {
      setenv("QRVN_ANSI_CODEPAGE", page, 1);
    } else {
      unsetenv("QRVN_ANSI_CODEPAGE");
    }
  }
  ~ScopedCodePage() {
    if (old_) {
      setenv("QRVN_ANSI_CODEPAGE", old_->c_str(), 1);
    } else {
      unsetenv("QRVN_ANSI_CODEPAGE");
    }
  }

 private:
  std::optional<std::string> old_;
};

TEST(Text, Cp1252IsTheDefaultAndMapsItsSpecialsBothWays) {
  ScopedCodePage page(nullptr);
  EXPECT_EQ(AnsiCodePage(), "CP1252");
  const struct {
    char ansi;
    char16_t utf16;
  } cases[] = {
      {'A', u'A'},         {'\x80', u'\u20AC'}, {'\x8A', u'\u0160'}, {'\x93', u'\u201C'},
      {'\x9F', u'\u0178'}, {'\xA0', u'\u00A0'}, {'\xE9', u'\u00E9'}, {'\xFF', u'\u00FF'},
  };
  for (const auto& c : cases) {
    std::u16string wide;
    ASSERT_TRUE(AnsiToUtf16(std::string(1, c.ansi), wide)) << int(c.ansi);
    EXPECT_EQ(wide, std::u16string(1, c.utf16)) << int(c.ansi);
    std::string back;
    ASSERT_TRUE(Utf16ToAnsi(wide, back));
    EXPECT_EQ(back, std::string(1, c.ansi));
  }
  std::string utf8;
  ASSERT_TRUE(AnsiToUtf8("5\x80 caf\xE9", utf8));
  EXPECT_EQ(utf8, "5\xE2\x82\xAC caf\xC3\xA9");
  std::string ansi;
  ASSERT_TRUE(Utf8ToAnsi(utf8, ansi));
  EXPECT_EQ(ansi, "5\x80 caf\xE9");
}

TEST(Text, EmptyAndEmbeddedNulTextsConvert) {
  ScopedCodePage page(nullptr);
  std::u16string wide = u"stale";
  ASSERT_TRUE(AnsiToUtf16("", wide));
  EXPECT_EQ(wide, u"");
  ASSERT_TRUE(AnsiToUtf16(std::string("a\0b", 3), wide));
  EXPECT_EQ(wide, std::u16string(u"a\0b", 3));
  std::string long_text(5000, '\x80');
  ASSERT_TRUE(AnsiToUtf8(long_text, long_text));
  EXPECT_EQ(long_text.size(), 15000u);
}

TEST(Text, Cp1251WhenTheEnvironmentNamesIt) {
  ScopedCodePage page("CP1251");
  EXPECT_EQ(AnsiCodePage(), "CP1251");
  std::u16string wide;
  ASSERT_TRUE(AnsiToUtf16("\xC0\xE1\xFF", wide));  // А б я
  EXPECT_EQ(wide, u"\u0410\u0431\u044F");
  std::string ansi;
  ASSERT_TRUE(Utf16ToAnsi(u"\u041B\u0438\u043D\u0438\u044F", ansi));  // Линия
  EXPECT_EQ(ansi, "\xCB\xE8\xED\xE8\xFF");
  EXPECT_FALSE(Utf16ToAnsi(u"\u00E9", ansi));  // é has no CP1251 form
}

TEST(Text, WhatCannotBeConvertedIsReportedAndLeavesOutAlone) {
  ScopedCodePage page(nullptr);
  std::string ansi = "untouched";
  EXPECT_FALSE(Utf16ToAnsi(u"line \u4E2D", ansi));             // no CP1252 form
  EXPECT_FALSE(Utf16ToAnsi(std::u16string(1, 0xD800), ansi));  // lone surrogate
  EXPECT_FALSE(Utf8ToAnsi("\xE4\xB8\xAD", ansi));              // no CP1252 form
  EXPECT_FALSE(Utf8ToAnsi("ab\xC3", ansi));                    // cut-off sequence
  EXPECT_FALSE(Utf8ToAnsi("\xFF", ansi));                      // not UTF-8 at all
  EXPECT_EQ(ansi, "untouched");
  std::u16string wide = u"untouched";
  EXPECT_FALSE(AnsiToUtf16("\x81", wide));  // a hole in CP1252
  EXPECT_EQ(wide, u"untouched");
  ScopedCodePage unknown("NO-SUCH-CODEPAGE");
  EXPECT_FALSE(AnsiToUtf16("abc", wide));
}

}  // namespace
}  // namespace qrvn::platform
