// Titles from a hostile CDDB entry name the files of `korvi-cli rip --lookup`: every file lands in
// the output folder and nowhere else, with a name a file system and a terminal take as it is, and
// the record kept in the library loads back as the server gave it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

#include "hostile_disc.h"
#include "library/disc_info.h"
#include "text/file_names.h"

namespace korvi {
namespace {

namespace fs = std::filesystem;

// Everything under root.
std::set<fs::path> Walk(const fs::path& root) {
  std::set<fs::path> paths;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) paths.insert(entry.path());
  return paths;
}

bool IsInside(const fs::path& path, const fs::path& folder) {
  const fs::path relative = path.lexically_relative(folder);
  return !relative.empty() && *relative.begin() != "..";
}

// 10,000 characters of one, two and three bytes in UTF-8.
std::string LongTitle() {
  std::string title;
  for (int i = 0; i < 10000; ++i) title += i % 3 == 0 ? "a" : i % 3 == 1 ? "\xC3\xA9" : "\xE2\x82\xAC";
  return title;
}

// The TTITLEn lines of a title, cut into pieces as servers send long values.
std::vector<std::string> TitleLines(int track, const std::string& title, size_t piece = 250) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < title.size(); at += piece)
    lines.push_back("TTITLE" + std::to_string(track) + "=" + title.substr(at, piece));
  return lines;
}

TEST(HostileTitles, RipWithLookupWritesOnlyIntoTheOutputFolder) {
  using namespace std::string_literals;
  const std::vector<std::string> titles = {"AC/DC",
                                           "..",
                                           "../../x",
                                           "/etc/passwd",
                                           "c\x01o\x1bn[31m\x7ftrol\\tchars",
                                           ".",
                                           " . . ",
                                           "line\\nbreak",
                                           "Latin-1 \x9b"
                                           "control",
                                           "zero\0byte"s};
  std::vector<std::string> lines;
  for (size_t i = 0; i < titles.size(); ++i) lines.push_back("TTITLE" + std::to_string(i) + "=" + titles[i]);
  const std::vector<std::string> longLines = TitleLines(int(titles.size()), LongTitle());
  lines.insert(lines.end(), longLines.begin(), longLines.end());
  const int tracks = int(titles.size()) + 1;

  fixtures::HostileDisc disc;
  ASSERT_TRUE(disc.Make(tracks));
  disc.ServeEntry(disc.Entry("../Artist / ../../Album\x1b[0m", lines));
  const fs::path empty = disc.dir / "empty-library";
  fs::create_directory(empty);
  const fixtures::ChildResult fromServer =
      disc.Cli({"lookup", disc.Cue(), "--library", empty.string(), "--no-save"});
  ASSERT_EQ(fromServer.status, 0) << fromServer.err;

  const fs::path out = disc.dir / "work" / "out";
  fs::create_directories(out);
  const std::set<fs::path> before = Walk(disc.dir.path());
  const fixtures::ChildResult rip =
      disc.Cli({"rip", disc.Cue(), "--lookup", "--format", "wav", "--out", out.string(), "--on-exists",
                "overwrite", "--no-verify", "--no-log", "--no-cue"});
  ASSERT_TRUE(rip.exited) << "killed by signal " << rip.termSignal << "\n" << rip.err;
  ASSERT_EQ(rip.status, 0) << rip.err;

  // Nothing outside the output folder but the library the rip keeps its record in.
  const std::set<fs::path> after = Walk(disc.dir.path());
  const fs::path data = disc.dir / "data";
  std::vector<fs::path> files;
  for (const fs::path& path : after) {
    if (before.count(path)) continue;
    if (IsInside(path, data)) continue;
    ASSERT_TRUE(IsInside(path, out)) << "created outside the output folder: " << path;
    EXPECT_EQ(path.parent_path(), out) << "a subfolder in the output folder: " << path;
    EXPECT_TRUE(fs::is_regular_file(path)) << path;
    files.push_back(path);
  }
  ASSERT_EQ(files.size(), size_t(tracks));
  EXPECT_EQ(fixtures::Lines(rip.out).size(), size_t(tracks));
  for (const std::string& line : fixtures::Lines(rip.out))
    EXPECT_EQ(fs::path(line).parent_path(), out) << line;

  const long nameMax = pathconf(out.c_str(), _PC_NAME_MAX);
  for (const fs::path& file : files) {
    const std::string name = file.filename().string();
    EXPECT_TRUE(fixtures::IsCleanText(name)) << name;
    EXPECT_LE(long(name.size()), nameMax) << name;
    EXPECT_NE(name.front(), '.') << name;
    EXPECT_EQ(file.extension(), ".wav") << name;
    EXPECT_GT(fs::file_size(file), 44u) << name;
  }
  for (const char* expected :
       {"AC_DC.wav", "Track 2.wav", "_._.._x.wav", "_etc_passwd.wav", "Track 6.wav", "Track 7.wav"})
    EXPECT_TRUE(fs::exists(out / expected)) << expected;

  // The server's titles, as clean one-line texts of at most 255 bytes (the library's fields).
  const std::vector<std::string> shown = fixtures::Lines(fromServer.out);
  ASSERT_EQ(shown.size(), size_t(2 + tracks)) << fromServer.out;
  for (const std::string& text : shown) {
    EXPECT_TRUE(fixtures::IsCleanText(text)) << text;
    EXPECT_LE(text.size(), 255u);
  }
  EXPECT_EQ(shown[1], "../Artist");
  EXPECT_EQ(shown[2 + 7], "line break");
  EXPECT_EQ(LongTitle().rfind(shown.back(), 0), 0u);
  EXPECT_GT(shown.back().size(), 250u);

  // The rip kept the record in the default library; it loads back with the same titles, with no
  // server to ask.
  ASSERT_TRUE(fs::exists(LibraryFileName(disc.DefaultLibrary().string(), disc.discId)));
  disc.env["KORVI_CDDB_SERVER"] = "127.0.0.1:1";
  const fixtures::ChildResult fromLibrary =
      disc.Cli({"lookup", disc.Cue(), "--library", disc.DefaultLibrary().string()});
  ASSERT_EQ(fromLibrary.status, 0) << fromLibrary.err;
  EXPECT_EQ(fromLibrary.out, fromServer.out);
}

TEST(HostileTitles, EntriesWithMoreOrFewerTitlesThanTracksLoadBackFromTheLibrary) {
  fixtures::HostileDisc disc;
  ASSERT_TRUE(disc.Make(3));
  const fs::path library = disc.dir / "lib";
  fs::create_directory(library);
  const std::vector<std::string> lookup = {"lookup", disc.Cue(), "--library", library.string()};
  const std::string server = disc.env["KORVI_CDDB_SERVER"];
  // The parser takes an entry whose EXTT lines match its titles, whatever the disc.
  std::vector<std::string> titles;
  for (int i = 0; i < 99; ++i)
    titles.push_back("TTITLE" + std::to_string(i) + "=Song " + std::to_string(i + 1));
  std::string many = disc.Entry("A / B", titles);
  for (int i = 3; i < 99; ++i) many += "EXTT" + std::to_string(i) + "=\n";
  std::string one = disc.Entry("A / B", {"TTITLE0=Only"});
  for (const std::string line : {"EXTT1=\n", "EXTT2=\n"}) one.erase(one.find(line), line.size());
  struct Case {
    const char* name;
    std::string entry;
    const char* shown;
  };
  for (const Case& c : {Case{"99 titles", many, "B\nA\nSong 1\nSong 2\nSong 3\n"},
                        Case{"one title", one, "B\nA\nOnly\nTrack 2\nTrack 3\n"}}) {
    const std::string& entry = c.entry;
    disc.ServeEntry(entry);
    fs::remove(LibraryFileName(library.string(), disc.discId));
    disc.env["KORVI_CDDB_SERVER"] = server;
    const fixtures::ChildResult fromServer = disc.Cli(lookup);
    ASSERT_EQ(fromServer.status, 0) << c.name << ": " << fromServer.err;
    EXPECT_EQ(fromServer.out, c.shown) << c.name;

    CDiscInfo saved;
    EXPECT_GT(saved.LoadDiscInfo(library.string(), disc.discId), 0) << c.name;
    EXPECT_EQ(saved.tracks.size(), 3u) << c.name;
    disc.env["KORVI_CDDB_SERVER"] = "127.0.0.1:1";
    const fixtures::ChildResult fromLibrary = disc.Cli(lookup);
    ASSERT_EQ(fromLibrary.status, 0) << c.name << ": " << fromLibrary.err;
    EXPECT_EQ(fromLibrary.out, c.shown) << c.name;
  }
}

// Titles that give one name: "Interlude" twice, and two long titles that differ only past what a
// file name holds. In every --on-exists mode each track gets a file of its own with its own audio,
// and the cue sheet names each file once; nobody is asked about a file the rip made itself.
TEST(HostileTitles, TitlesThatGiveOneNameGetAFileEach) {
  const std::string longTitle(260, 'a');
  fixtures::HostileDisc disc;
  ASSERT_TRUE(disc.Make(5));
  disc.ServeEntry(
      disc.Entry("Artist / Album", {"TTITLE0=Intro", "TTITLE1=Interlude", "TTITLE2=" + longTitle + "1",
                                    "TTITLE3=Interlude", "TTITLE4=" + longTitle + "2"}));
  const std::vector<std::string> names = {"Intro.wav", "Interlude.wav", std::string(251, 'a') + ".wav",
                                          "Interlude (2).wav", std::string(247, 'a') + " (2).wav"};
  for (const char* mode : {"ask", "overwrite", "skip"}) {
    const fs::path out = disc.dir / mode;
    fs::create_directory(out);
    const fixtures::ChildResult rip = disc.Cli({"rip", disc.Cue(), "--lookup", "--format", "wav", "--out",
                                                out.string(), "--on-exists", mode, "--no-verify"});
    ASSERT_EQ(rip.status, 0) << mode << ": " << rip.err;
    EXPECT_EQ(rip.err.find("overwrite?"), std::string::npos) << rip.err;
    std::string listed;
    for (const std::string& name : names) listed += (out / name).string() + "\n";
    EXPECT_EQ(rip.out, listed) << mode;
    for (size_t i = 0; i < names.size(); ++i) {
      const int32_t last =
          i + 1 < disc.image.starts.size() ? disc.image.starts[i + 1] - 1 : disc.image.leadOut - 1;
      const std::vector<uint8_t> audio = fixtures::ReadBinSectors(disc.image.bin, disc.image.starts[i], last);
      std::ifstream in(out / names[i], std::ios::binary);
      const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      ASSERT_EQ(file.size(), 44 + audio.size()) << mode << ": " << names[i];
      EXPECT_EQ(std::memcmp(audio.data(), file.data() + 44, audio.size()), 0) << mode << ": " << names[i];
    }
    std::ifstream in(out / "Artist - Album.cue");
    const std::string cue{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (const std::string& name : names) {
      const size_t at = cue.find("FILE \"" + name + "\"");
      EXPECT_NE(at, std::string::npos) << cue;
      EXPECT_EQ(cue.find("FILE \"" + name + "\"", at + 1), std::string::npos) << cue;
    }
  }
}

TEST(HostileTitles, ControlCharactersOfEveryKindLeaveFileNames) {
  // C1 controls (U+0080..U+009F) are what Latin-1 bytes 0x80..0x9F become; some terminals act on
  // U+009B as on ESC [.
  EXPECT_EQ(TitleToFileName("a\xC2\x9B"
                            "31mb\xC2\x85"
                            "c\xC2\xA0"
                            "d",
                            1, 4),
            "a_31mb_c\xC2\xA0"
            "d");
  EXPECT_EQ(TitleToFileName("\xC2\x80", 2, 4), "_");
}

}  // namespace
}  // namespace korvi
