// ASCII case folding and UTF-16, the one place each for the whole program.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "text/ascii_case.h"
#include "text/utf16_text.h"

namespace korvi {
namespace {

TEST(AsciiCase, FoldsOnlyAToZ) {
  EXPECT_EQ(AsciiLowered("Track.FLAC [Ü]"), "track.flac [Ü]");
  EXPECT_EQ(AsciiUppered("wave é"), "WAVE é");
  // Latin-1 and UTF-8 bytes stay as they are, whatever the locale says of them.
  EXPECT_EQ(AsciiLowered("\xC0\xC9\xDD"), "\xC0\xC9\xDD");
  EXPECT_FALSE(EqualsIgnoringCase("\xC3\x89", "\xC3\xA9"));  // É and é
  EXPECT_TRUE(EqualsIgnoringCase("Software\\Korvi", "SOFTWARE\\korvi"));
  EXPECT_FALSE(EqualsIgnoringCase("Options", "Option"));
  EXPECT_FALSE(EqualsIgnoringCase("@", "`"));  // one apart from A and a, not letters
  EXPECT_TRUE(StartsWithIgnoringCase("retry-after: 5", "Retry-After:"));
  EXPECT_FALSE(StartsWithIgnoringCase("Retry", "Retry-After:"));
  EXPECT_TRUE(EndsWithIgnoringCase("Disc.CUE", ".cue"));
  EXPECT_FALSE(EndsWithIgnoringCase("cue", ".cue"));
}

TEST(Utf16, RoundTripsEveryPlaneAndRefusesWhatIsNotText) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5";  // a é € 🎵
  const std::optional<std::u16string> units = Utf8ToUtf16(text);
  ASSERT_TRUE(units);
  EXPECT_EQ(*units, (std::u16string{u'a', u'\u00E9', u'\u20AC', char16_t(0xD83C), char16_t(0xDFB5)}));
  EXPECT_EQ(Utf16ToUtf8(*units), text);
  const std::optional<std::string> le = Utf8ToUtf16Le(text);
  ASSERT_TRUE(le);
  EXPECT_EQ(*le, std::string("a\0\xE9\0\xAC\x20\x3C\xD8\xB5\xDF", 10));
  EXPECT_EQ(Utf16LeToUtf8(*le), text);

  EXPECT_FALSE(Utf8ToUtf16("\xC0\xAF"));          // overlong
  EXPECT_FALSE(Utf8ToUtf16("\xED\xA0\x80"));      // a surrogate
  EXPECT_FALSE(Utf8ToUtf16("\xF0\x9F\x8E"));      // cut short
  EXPECT_FALSE(Utf16ToUtf8(std::u16string{char16_t(0xDC00)}));          // a lone low half
  EXPECT_FALSE(Utf16ToUtf8(std::u16string{char16_t(0xD83C), u'a'}));    // a high half unpaired
  EXPECT_FALSE(Utf16ToUtf8(std::u16string{char16_t(0xD83C)}));          // at the end
  EXPECT_FALSE(Utf16LeToUtf8(std::string("a\0b", 3)));                  // an odd byte count
  EXPECT_EQ(Utf16LeToUtf8(""), "");
}

}  // namespace
}  // namespace korvi
