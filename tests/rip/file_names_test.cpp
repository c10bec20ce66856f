// Track titles become file names inside the output folder, never outside it, hidden or nameless.

#include "text/file_names.h"

#include <gtest/gtest.h>

namespace korvi {
namespace {

TEST(FileNames, FolderTitleAndExtension) {
  EXPECT_EQ(OutputPath("/music/", "Intro", 1, ".wav"), "/music/Intro.wav");
  EXPECT_EQ(OutputPath("/music", "Intro", 1, ".wav"), "/music/Intro.wav");
  EXPECT_EQ(OutputPath("/music", "What?*", 1, ".mp3"), "/music/What__.mp3");
  // The folder the user chose is used as it is: '?' and '*' are legal in Linux names.
  EXPECT_EQ(OutputPath("/tmp/aud-q?", "A", 1, ".wav"), "/tmp/aud-q?/A.wav");
  EXPECT_EQ(OutputPath("/m*/x?", "B?", 2, ".wav"), "/m*/x?/B_.wav");
  EXPECT_EQ(OutputPath("", "A", 1, ".wav"), "A.wav");
}

TEST(FileNames, TitlesCannotLeaveTheFolder) {
  EXPECT_EQ(OutputPath("/m", "AC/DC", 1, ".wav"), "/m/AC_DC.wav");
  EXPECT_EQ(OutputPath("/m", "../../etc/passwd", 1, ".wav"), "/m/_._.._etc_passwd.wav");
  EXPECT_EQ(OutputPath("/m", "/", 2, ".wav"), "/m/_.wav");
  EXPECT_EQ(OutputPath("/m", "Line\nbreak\ttab\x7f", 1, ".wav"), "/m/Line_break_tab_.wav");
}

TEST(FileNames, NoHiddenOrNamelessFiles) {
  EXPECT_EQ(OutputPath("/m", "", 3, ".wav"), "/m/Track 3.wav");
  EXPECT_EQ(OutputPath("/m", "..", 4, ".wav"), "/m/Track 4.wav");
  EXPECT_EQ(OutputPath("/m", ".", 5, ".wav"), "/m/Track 5.wav");
  EXPECT_EQ(OutputPath("/m", "   ", 6, ".wav"), "/m/Track 6.wav");
  EXPECT_EQ(OutputPath("/m", ".hidden", 1, ".wav"), "/m/_hidden.wav");
  EXPECT_EQ(OutputPath("/m", "...And more", 1, ".wav"), "/m/_..And more.wav");
}

TEST(FileNames, LongTitlesAreCutOnACharacterBoundary) {
  std::string title;
  for (int i = 0; i < 200; ++i) title += "\xC3\xA9";  // é, two bytes each
  const std::string name = TitleToFileName(title, 1, 4);
  EXPECT_LE(name.size() + 4, 255u);
  EXPECT_EQ(name.size() % 2, 0u);  // no half character
  EXPECT_EQ(name.substr(0, 2), "\xC3\xA9");
  EXPECT_EQ(TitleToFileName("Short", 1, 4), "Short");
}

}  // namespace
}  // namespace korvi
