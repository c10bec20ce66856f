// The xmcd entry parser on the test archive's entries (written in the style of public CDDB
// entries) and on the format's rules, one group per way a parser goes wrong.

#include "cddb/xmcd_parser.h"

#include <gtest/gtest.h>

#include "cddb/text_util.h"
#include "cddb_test_util.h"
#include "text/utf8_text.h"

namespace korvi {
namespace {

using cddb_test::Crlf;
using cddb_test::Entry;

constexpr const char* kHeader =
    "# xmcd\n#\n# Track frame offsets:\n#\t150\n#\n# Disc length: 100 seconds\n#\n"
    "# Submitted via: korvi-test 1.0\n#\n";
constexpr const char* kKeywords = "DISCID=01234567\nDTITLE=Artist / Album\nTTITLE0=One\nEXTT0=\n";

std::string Text(const std::string& keywords = kKeywords, const std::string& header = kHeader) {
  return header + keywords;
}

CCDDBRecord Parsed(const std::string& text) {
  CCDDBRecord record;
  std::string reason;
  EXPECT_TRUE(ParseXmcd(text, record, &reason)) << reason;
  return record;
}

std::string Rejection(const std::string& text) {
  CCDDBRecord record;
  std::string reason;
  EXPECT_FALSE(ParseXmcd(text, record, &reason));
  return reason;
}

TEST(XmcdEntries, TwoTrackDiscEveryField) {
  const CCDDBRecord record = Parsed(Entry("rock/0b016602"));
  EXPECT_EQ(record.trackFrameOffsets, (std::vector<int32_t>{150, 13500}));
  EXPECT_EQ(record.discLength, 360);
  EXPECT_EQ(record.revision, 2);
  EXPECT_EQ(record.clientName, "ExactAudioCopy");
  EXPECT_EQ(record.clientVersion, "v0.99pb5");
  EXPECT_EQ(record.clientRemark, "");
  EXPECT_EQ(record.discId, 0x0b016602u);
  EXPECT_EQ(record.discArtist, "Some Artist");
  EXPECT_EQ(record.discTitle, "Some Title");
  EXPECT_EQ(record.trackTitles, (std::vector<std::string>{"First Song", "Second Song"}));
  EXPECT_EQ(record.extendedTrackData, (std::vector<std::string>{"", ""}));
  EXPECT_EQ(record.extendedDiscData, "");
  EXPECT_TRUE(record.playOrder.empty());
  EXPECT_EQ(record.year, 1998);
  EXPECT_EQ(record.genre, "Rock");
}

TEST(XmcdEntries, TwentyTwoTracksOfLatin1WithLongContinuedTitlesAndEscapes) {
  const CCDDBRecord record = Parsed(Entry("classical/3a0fbb16"));
  ASSERT_EQ(record.trackFrameOffsets.size(), 22u);
  EXPECT_EQ(record.trackFrameOffsets.back(), 286253);
  EXPECT_EQ(record.discLength, 4029);
  EXPECT_EQ(record.revision, 7);
  EXPECT_EQ(record.clientRemark, "SE");
  EXPECT_EQ(record.discArtist, "Orquesta de Cámara Valdés & Íñigo Sáenz");
  EXPECT_EQ(record.discTitle,
            "Música española para guitarra y orquesta: grabación en directo, Teatro Real 1987 (edición "
            "remasterizada)");
  EXPECT_EQ(record.genre, "Clásica");
  ASSERT_EQ(record.trackTitles.size(), 22u);
  // Three lines of 70 bytes joined with nothing between them.
  EXPECT_EQ(record.trackTitles[0],
            "Concierto para guitarra y orquesta en re mayor: I. Allegro con spirito, con una cadenza muy "
            "larga escrita por el solista para esta grabación en directo desde el Teatro Real de Madrid, "
            "versión íntegra sin cortes");
  EXPECT_EQ(record.trackTitles[7], "Suite für Violoncello Nr. 1 G-Dur: Präludium");
  EXPECT_EQ(record.trackTitles[16], "Sønderjysk vise (trad. arr. Åse Møller)");
  EXPECT_EQ(record.extendedDiscData,
            "Grabado en directo en el Teatro Real, Madrid.\nProducción: Íñigo Sáenz\tIngeniero: P. Muñoz\n"
            "Ruta del archivo original: C:\\CD\\valdes\\master.wav");
  ASSERT_EQ(record.extendedTrackData.size(), 22u);
  EXPECT_EQ(record.extendedTrackData[0], "Cadenza: Íñigo Sáenz");
  EXPECT_EQ(record.extendedTrackData[21], "Propina (bis)");
  for (const std::string& title : record.trackTitles) EXPECT_TRUE(IsValidUtf8(title)) << title;
}

TEST(XmcdEntries, Utf8SplitAcrossContinuationLinesSeveralDiscIdsCrlf) {
  const std::string text = Entry("jazz/2b057805");
  ASSERT_NE(text.find("\r\n"), std::string::npos);
  const CCDDBRecord record = Parsed(text);
  EXPECT_EQ(record.discId, 0x2b057805u);  // the first of "2b057805,2a057805"
  EXPECT_EQ(record.revision, 0);          // no "Revision:" comment
  EXPECT_EQ(record.clientName, "fre:ac");
  EXPECT_EQ(record.clientRemark, "(Linux)");
  EXPECT_EQ(record.discArtist, "Trío Øresund");
  // The two bytes of "å" arrive on two lines; joined they are UTF-8 again, not Latin-1 mojibake.
  EXPECT_EQ(record.trackTitles[1], "Nattåg till København");
  EXPECT_EQ(record.playOrder, (std::vector<int32_t>{3, 1, 2}));
}

TEST(XmcdEntries, LineEndsDoNotChangeTheRecord) {
  const std::string lf = Entry("classical/3a0fbb16");
  const CCDDBRecord fromLf = Parsed(lf);
  EXPECT_EQ(Parsed(Crlf(lf)), fromLf);
  // A last line without its end, and a file that mixes both kinds of line end.
  EXPECT_EQ(Parsed(lf.substr(0, lf.size() - 1)), fromLf);
  std::string mixed = lf;
  mixed.replace(mixed.find("\nTTITLE3="), 1, "\r\n");
  EXPECT_EQ(Parsed(mixed), fromLf);
}

TEST(XmcdEntries, AnEntryWithoutSubmitterIsRejected) {
  EXPECT_EQ(Rejection(Entry("data/16038203")), "no \"Submitted via:\" comment");
}

TEST(XmcdComments, OffsetsBlockReadsNumbersUntilDiscLength) {
  const CCDDBRecord record = Parsed(
      "# xmcd 2.0 CD database file\n# Track frame offsets:\n#\t150\n#\n#   17820\n#9\n# 1x7\n"
      "# Disc length: 3090 seconds\n# 99999\n# Revision: 12\n# Submitted via: a b\n" +
      std::string(kKeywords));
  // A lone "#" adds nothing, "#9" has too little text to count, "1x7" reads as 1; after the disc
  // length a number is just a comment.
  EXPECT_EQ(record.trackFrameOffsets, (std::vector<int32_t>{150, 17820, 1}));
  EXPECT_EQ(record.discLength, 3090);
  EXPECT_EQ(record.revision, 12);
}

TEST(XmcdComments, LabelsWithoutValuesReadAsZero) {
  const CCDDBRecord record =
      Parsed("# xmcd\n# Track frame offsets:\n# 150\n# Disc length:\n# Revision:\n# Submitted via: a b\n" +
             std::string(kKeywords));
  EXPECT_EQ(record.discLength, 0);
  EXPECT_EQ(record.revision, 0);
}

TEST(XmcdComments, SubmitterWords) {
  CCDDBRecord record = Parsed(Text(kKeywords,
                                   "# xmcd\n# Track frame offsets:\n# 150\n# Disc length: 1\n"
                                   "# Submitted via:    Grip   3.3.1  Linux  extra words\n"));
  EXPECT_EQ(record.clientName, "Grip");
  EXPECT_EQ(record.clientVersion, "3.3.1");
  EXPECT_EQ(record.clientRemark, "Linux");
  // One word stops the parse there, whatever follows.
  EXPECT_EQ(Rejection("# xmcd\n# Submitted via: OnlyName\n" + Text()),
            "\"Submitted via:\" names no client and version");
}

TEST(XmcdAcceptance, EachMissingPartRejects) {
  const std::string good = Text();
  Parsed(good);
  const auto without = [&](const std::string& part) {
    std::string text = good;
    text.erase(text.find(part), part.size());
    return Rejection(text);
  };
  EXPECT_EQ(without("# xmcd\n"), "no \"# xmcd\" signature");
  EXPECT_EQ(without("#\t150\n"), "no track frame offsets");
  EXPECT_EQ(without("# Disc length: 100 seconds\n"), "no \"Disc length:\" comment");
  EXPECT_EQ(without("# Submitted via: korvi-test 1.0\n"), "no \"Submitted via:\" comment");
  EXPECT_EQ(without("DISCID=01234567\n"), "no DISCID of 8 hexadecimal digits");
  EXPECT_EQ(without("DTITLE=Artist / Album\n"), "no DTITLE");
  EXPECT_EQ(without("EXTT0=\n"), "1 TTITLE entries but 0 EXTT entries");
  EXPECT_EQ(Rejection(""), "no \"# xmcd\" signature");
}

TEST(XmcdAcceptance, DiscIdNeedsEightCharactersAndThirtyTwoBits) {
  EXPECT_EQ(Rejection(Text("DISCID=1234567\nDTITLE=a\n")), "no DISCID of 8 hexadecimal digits");
  EXPECT_EQ(Rejection(Text("DISCID=123456789\nDTITLE=a\n")), "no DISCID of 8 hexadecimal digits");
  EXPECT_EQ(Parsed(Text("DISCID=a70d5289,a60d5288\nDTITLE=a\n")).discId, 0xa70d5289u);
  // A later DISCID line replaces the first.
  EXPECT_EQ(Parsed(Text("DISCID=a70d5289\nDISCID=0000000f\nDTITLE=a\n")).discId, 0xfu);
}

TEST(XmcdAcceptance, TrackTitlesAndExtendedDataMustPair) {
  std::string keywords = "DISCID=01234567\nDTITLE=a\n";
  for (int i = 0; i < 10; ++i) keywords += "TTITLE" + std::to_string(i) + "=t\n";
  for (int i = 0; i < 9; ++i) keywords += "EXTT" + std::to_string(i) + "=\n";
  EXPECT_EQ(Rejection(Text(keywords)), "10 TTITLE entries but 9 EXTT entries");
  EXPECT_EQ(Parsed(Text(keywords + "EXTT9=\n")).trackTitles.size(), 10u);
}

TEST(XmcdKeywords, ContinuationLinesJoinWithNothingBetween) {
  const CCDDBRecord record = Parsed(
      Text("DISCID=01234567\nDTITLE=DiscArtist\nDTITLE= / \nDTITLE=DiscTitle\nDGENRE=Ro\nDGENRE=ck\n"
           "TTITLE0=Long \nTTITLE0=name\nEXTT0=a\nEXTT0=b\nEXTD=x\nEXTD=y\nPLAYORDER=1,\nPLAYORDER=2\n"));
  EXPECT_EQ(record.trackTitles, std::vector<std::string>{"Long name"});
  EXPECT_EQ(record.discArtist, "DiscArtist");
  EXPECT_EQ(record.discTitle, "DiscTitle");
  EXPECT_EQ(record.genre, "Rock");
  EXPECT_EQ(record.extendedTrackData, std::vector<std::string>{"ab"});
  EXPECT_EQ(record.extendedDiscData, "xy");
  EXPECT_EQ(record.playOrder, (std::vector<int32_t>{1, 2}));
}

TEST(XmcdKeywords, DiscTitleSplitsAtTheFirstSeparatorOnly) {
  CCDDBRecord record = Parsed(Text("DISCID=01234567\nDTITLE=AC/DC / Back / Black \nTTITLE0=x\nEXTT0=\n"));
  EXPECT_EQ(record.discArtist, "AC/DC");
  EXPECT_EQ(record.discTitle, "Back / Black ");
  record = Parsed(Text("DISCID=01234567\nDTITLE=Compilation\nTTITLE0=x\nEXTT0=\n"));
  EXPECT_EQ(record.discArtist, "Compilation");
  EXPECT_EQ(record.discTitle, "Compilation");
}

TEST(XmcdKeywords, UnescapingRunsNewlineThenTabThenBackslash) {
  const CCDDBRecord record =
      Parsed(Text("DISCID=01234567\nDTITLE=a\nTTITLE0=Line\\nnext\nTTITLE1=a\\\\b\nTTITLE2=tab\\there\n"
                  "TTITLE3=C:\\\\new\nEXTT0=\nEXTT1=\nEXTT2=\nEXTT3=\n"));
  EXPECT_EQ(record.trackTitles[0], "Line\nnext");
  EXPECT_EQ(record.trackTitles[1], "a\\b");
  EXPECT_EQ(record.trackTitles[2], "tab\there");
  // The newline pass runs first, so a doubled backslash before "n" still makes a line feed.
  EXPECT_EQ(record.trackTitles[3], "C:\\\new");
}

TEST(XmcdKeywords, PlayOrderPieces) {
  const auto order = [](const std::string& value) {
    return Parsed(Text("DISCID=01234567\nDTITLE=a\nPLAYORDER=" + value + "\n")).playOrder;
  };
  EXPECT_EQ(order("3,1,2"), (std::vector<int32_t>{3, 1, 2}));
  EXPECT_EQ(order(""), std::vector<int32_t>{});
  EXPECT_EQ(order("1,,2,"), (std::vector<int32_t>{1, 0, 2}));
  EXPECT_EQ(order(" 7 ,x"), (std::vector<int32_t>{7, 0}));
}

TEST(XmcdKeywords, TrackNumbersResizeTheArrays) {
  // Gaps leave empty titles; a later, smaller number cuts the array back to it.
  CCDDBRecord record = Parsed(Text("DISCID=01234567\nDTITLE=a\nTTITLE0=a\nTTITLE2=c\nEXTT2=\n"));
  EXPECT_EQ(record.trackTitles, (std::vector<std::string>{"a", "", "c"}));
  record = Parsed(Text("DISCID=01234567\nDTITLE=a\nTTITLE0=a\nTTITLE1=b\nTTITLE0=z\nEXTT0=\n"));
  EXPECT_EQ(record.trackTitles, std::vector<std::string>{"az"});
  EXPECT_EQ(Rejection(Text("DISCID=01234567\nDTITLE=a\nTTITLE-1=x\n")), "negative track number");
  EXPECT_EQ(Rejection(Text("DISCID=01234567\nDTITLE=a\nEXTT-2=x\n")), "negative track number");
  // The 99th track is the last an audio CD can have; a larger number is refused, not allocated.
  EXPECT_EQ(Parsed(Text("DISCID=01234567\nDTITLE=a\nTTITLE98=x\nEXTT98=\n")).trackTitles.size(), 99u);
  EXPECT_EQ(Rejection(Text("DISCID=01234567\nDTITLE=a\nTTITLE99=x\n")), "track number above 99");
  EXPECT_EQ(Rejection(Text("DISCID=01234567\nDTITLE=a\nTTITLE99999999999=x\n")), "track number above 99");
}

TEST(XmcdKeywords, OtherLinesAreIgnored) {
  const CCDDBRecord record = Parsed(
      Text("DISCID=01234567\nDTITLE=a\ndtitle=lower case\nTTITLE0=x\nEXTT0=\nno equals sign\nUNKNOWN=1\n\n"
           "DYEAR=1999\nDYEAR=2001\n"));
  EXPECT_EQ(record.discTitle, "a");
  EXPECT_EQ(record.year, 2001);
}

TEST(XmcdText, ZeroBytesAreOrdinaryCharacters) {
  constexpr char kKeywordsWithZeros[] = "DISCID=01234567\nDTITLE=a\nTTITLE0=a\0b\nEXTT0=\0\n";
  const CCDDBRecord record = Parsed(Text(std::string(kKeywordsWithZeros, sizeof kKeywordsWithZeros - 1)));
  EXPECT_EQ(record.trackTitles[0], std::string("a\0b", 3));
  EXPECT_EQ(record.extendedTrackData[0], std::string(1, '\0'));
}

TEST(XmcdText, EachValueIsConvertedOnItsOwn) {
  // A Latin-1 title beside a UTF-8 one: each becomes the same UTF-8 text.
  const CCDDBRecord record =
      Parsed(Text("DISCID=01234567\nDTITLE=Bj\xf6rk / Bj\xc3\xb6rk\nTTITLE0=\xe9t\xe9\nEXTT0=\xff\n"));
  EXPECT_EQ(record.discArtist, "Björk");
  EXPECT_EQ(record.discTitle, "Björk");
  EXPECT_EQ(record.trackTitles[0], "été");
  EXPECT_EQ(record.extendedTrackData[0], "ÿ");
}

TEST(XmcdText, TheRecordIsResetFirst) {
  CCDDBRecord record = Parsed(Entry("classical/3a0fbb16"));
  ASSERT_TRUE(ParseXmcd(Entry("rock/0b016602"), record));
  EXPECT_EQ(record, Parsed(Entry("rock/0b016602")));
}

TEST(CddbText, Utf8Validation) {
  EXPECT_TRUE(IsValidUtf8("plain"));
  EXPECT_TRUE(IsValidUtf8("\xf0\x9f\x8e\xb5"));   // U+1F3B5
  EXPECT_FALSE(IsValidUtf8("\xc0\xaf"));          // overlong
  EXPECT_FALSE(IsValidUtf8("\xed\xa0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xf4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xe2\x82"));          // cut short
  EXPECT_EQ(ToUtf8("\xe2\x82"), "\xc3\xa2\xc2\x82");
}

// What the end-to-end tests of servers' words cannot easily aim at: each byte of a broken sequence,
// C1 controls encoded as UTF-8, and a cut that would split a character.
TEST(ServerText, BrokenBytesControlsAndTheCut) {
  EXPECT_EQ(SanitizeServerText("a\xe2\x82z\xff\xc0\xaf"),
            "a\xef\xbf\xbd\xef\xbf\xbdz\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
  EXPECT_EQ(SanitizeServerText("\xc2\x9b"
                               "31m\x7f\t\xc2\xa0\xe2\x80\xa8"),
            " 31m  \xc2\xa0\xe2\x80\xa8");
  std::string text(100, 'x');  // then 3-byte characters: byte 200 falls inside the 34th
  for (int i = 0; i < 40; ++i) text += "\xe2\x82\xac";
  const std::string cut = SanitizeServerText(text);
  EXPECT_EQ(cut.size(), 199u);
  EXPECT_EQ(cut.substr(196), "\xe2\x82\xac");
  EXPECT_EQ(SanitizeServerText(std::string(5000, '\x1b')), std::string(kMaxServerTextBytes, ' '));
}

}  // namespace
}  // namespace korvi
