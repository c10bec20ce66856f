// Library files: their layout byte by byte, round trips, and every file that must not load; the
// sidecar of extras beside them.

#include "library/disc_info.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <utility>
#include <vector>

#include "fixtures/temp_dir.h"

namespace korvi {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::set<std::string> Names(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

// The stamp a sidecar must carry for this library file: its disc id and CRC-32, in hex.
std::string StampText(const std::string& discId, const std::string& libraryFile) {
  char crc[12];
  std::snprintf(
      crc, sizeof crc, "%08X",
      unsigned(crc32(0, reinterpret_cast<const Bytef*>(libraryFile.data()), uInt(libraryFile.size()))));
  return "\"library_file\": {\n    \"disc_id\": \"" + discId + "\",\n    \"crc32\": \"" + crc + "\"\n  }";
}

CDiscInfo Sample(int tracks) {
  CDiscInfo info;
  info.albumTitle = "Blue Train";
  info.albumArtist = "A Quartet";
  info.discLength = 2565;
  info.discId = 0x0B016602;
  for (int i = 0; i < tracks; ++i) {
    CTrackInfo track(1000 * i, 1000 * i + 999, ("Song " + std::to_string(i + 1)).c_str());
    track.album = info.albumTitle;
    track.artist = "Player " + std::to_string(i);
    track.year = 1957 + i;
    track.comment = "take " + std::to_string(i);
    info.tracks.push_back(track);
  }
  return info;
}

DiscExtras SampleExtras() {
  DiscExtras extras;
  extras.source = "MusicBrainz";
  extras.genre = "Post-rock";
  extras.musicBrainzDiscId = "Uv7bSaF0x6Qm.JrWxj7b6Mwst0s-";
  extras.musicBrainzReleaseId = "b84ee12a-09ef-421b-82de-0441a926375b";
  extras.releaseDate = "1997-05";
  extras.releaseCountry = "IS";
  extras.label = "\xC3\x9Ej\xC3\xB3\xC3\xB0h\xC3\xA1t\xC3\xAD\xC3\xB0 Records";  // Þjóðhátíð
  extras.catalogNumber = "\xE6\x9D\xB1\xE4\xBA\xAC-0042";                        // 東京
  extras.discNumber = 2;
  extras.discCount = 3;
  extras.recordingIds = {"6a1e6a44-0b27-4fd3-9bdc-2d4a8b4f7e01", "", "0c3b1f5e-77d2-4c52-a7c4-96f0e2b8d313"};
  return extras;
}

TEST(Library, FileNames) {
  EXPECT_EQ(LibraryFileName("/lib", 0x0000ABCD), "/lib/ABCD.dci");
  EXPECT_EQ(LibraryFileName("/lib/", 0x0000ABCD), "/lib/ABCD.dci");
  EXPECT_EQ(LibraryFileName("/lib", 0x0B016602), "/lib/B016602.dci");
  EXPECT_EQ(ExtrasFileName("/lib/", 0x0B016602), "/lib/B016602.json");
}

TEST(Library, LayoutOfAThreeTrackFile) {
  fixtures::TempDir dir;
  const CDiscInfo info = Sample(3);
  EXPECT_EQ(info.SaveDiscInfo(dir.path().string()), 3644);
  const std::string bytes = ReadAll(LibraryFileName(dir.path().string(), info.discId));
  ASSERT_EQ(bytes.size(), 3644u);
  EXPECT_EQ(bytes.substr(0, 8), "KORVIRIP");
  EXPECT_EQ(bytes.substr(8, 4), std::string("\x01\0\0\0", 4));
  EXPECT_EQ(bytes.substr(12, 11), std::string("Blue Train\0", 11));
  EXPECT_EQ(bytes.find_first_not_of('\0', 22), 268u);  // zero padding up to the artist
  EXPECT_EQ(bytes.substr(524, 4), std::string("\x02\x66\x01\x0B", 4));
  EXPECT_EQ(bytes.substr(532, 4), std::string("\x03\0\0\0", 4));
  const std::string second = bytes.substr(536 + 1036, 1036);
  EXPECT_EQ(second.substr(0, 7), std::string("Song 2\0", 7));
  EXPECT_EQ(second.substr(256, 10), "Blue Train");
  EXPECT_EQ(second.substr(512, 8), "Player 1");
  EXPECT_EQ(second.substr(768, 4), std::string("\xA6\x07\0\0", 4));   // 1958
  EXPECT_EQ(second.substr(1028, 4), std::string("\xE8\x03\0\0", 4));  // begin 1000
  EXPECT_EQ(second.substr(1032, 4), std::string("\xCF\x07\0\0", 4));  // end 1999
}

TEST(Library, RoundTripIntoAnEmptyRecord) {
  fixtures::TempDir dir;
  const CDiscInfo saved = Sample(4);
  ASSERT_GT(saved.SaveDiscInfo(dir.path().string()), 0);
  CDiscInfo loaded;
  EXPECT_TRUE(FindInLibrary(saved.discId, dir.path().string(), loaded));
  EXPECT_EQ(loaded.albumTitle, saved.albumTitle);
  EXPECT_EQ(loaded.albumArtist, saved.albumArtist);
  EXPECT_EQ(loaded.discLength, saved.discLength);
  EXPECT_EQ(loaded.discId, saved.discId);
  ASSERT_EQ(loaded.tracks.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(loaded.tracks[i].title(), saved.tracks[i].title());
    EXPECT_EQ(loaded.tracks[i].album, saved.tracks[i].album);
    EXPECT_EQ(loaded.tracks[i].artist, saved.tracks[i].artist);
    EXPECT_EQ(loaded.tracks[i].year, saved.tracks[i].year);
    EXPECT_EQ(loaded.tracks[i].comment, saved.tracks[i].comment);
    EXPECT_EQ(loaded.tracks[i].begin(), 0);  // sectors come from the disc, not the file
    EXPECT_EQ(loaded.tracks[i].end(), 0);
  }
  CDiscInfo other;
  EXPECT_FALSE(FindInLibrary(0x12345678, dir.path().string(), other));
}

TEST(Library, LongTextsAreCutWithoutSplittingACharacter) {
  fixtures::TempDir dir;
  CDiscInfo info = Sample(1);
  info.albumTitle = std::string(300, 'x');
  info.albumArtist = "a" + std::string(200, '\0') + "b";
  std::string accents;
  for (int i = 0; i < 150; ++i) accents += "\xC3\xA9";  // 300 bytes of é
  info.tracks[0].setTitle(accents);
  ASSERT_GT(info.SaveDiscInfo(dir.path().string()), 0);
  CDiscInfo loaded;
  ASSERT_GT(loaded.LoadDiscInfo(dir.path().string(), info.discId), 0);
  EXPECT_EQ(loaded.albumTitle, std::string(255, 'x'));
  EXPECT_EQ(loaded.albumArtist, "a");
  EXPECT_EQ(loaded.tracks[0].title(), accents.substr(0, 254));
}

// A file written elsewhere may carry control characters: they load as blanks, so a title stays one
// line in the list, the status bar and korvi-cli's output, and cannot steer a terminal.
TEST(Library, ControlCharactersLoadAsBlanks) {
  fixtures::TempDir dir;
  CDiscInfo info = Sample(1);
  info.albumTitle = "Blue\x1b[2J\x7fTrain";
  info.tracks[0].setTitle("Side\nA\tone\xC2\x85two");  // U+0085 is a C1 line break
  info.tracks[0].comment = "caf\xC3\xA9\r";
  ASSERT_GT(info.SaveDiscInfo(dir.path().string()), 0);
  CDiscInfo loaded;
  ASSERT_GT(loaded.LoadDiscInfo(dir.path().string(), info.discId), 0);
  EXPECT_EQ(loaded.albumTitle, "Blue [2J Train");
  EXPECT_EQ(loaded.tracks[0].title(), "Side A one two");
  EXPECT_EQ(loaded.tracks[0].comment, "caf\xC3\xA9 ");
}

// CDDB ids collide: a file of the same id for a disc with another number of tracks (or a damaged
// file) cannot be loaded into this record, and saving this record keeps it as "<file>.bad".
TEST(Library, SavingOverAFileTheRecordCannotLoadKeepsItAsBad) {
  fixtures::TempDir dir;
  const std::string folder = dir.path().string();
  const std::string file = LibraryFileName(folder, 0x0B016602);
  ASSERT_GT(Sample(3).SaveDiscInfo(folder), 0);
  const std::string otherDisc = ReadAll(file);

  ASSERT_GT(Sample(2).SaveDiscInfo(folder), 0);
  EXPECT_EQ(ReadAll(file + ".bad"), otherDisc);
  CDiscInfo loaded;
  ASSERT_GT(loaded.LoadDiscInfo(folder, 0x0B016602), 0);
  EXPECT_EQ(loaded.tracks.size(), 2u);

  // A file the record can load is simply replaced; the kept copy stays as it was.
  CDiscInfo edited = Sample(2);
  edited.albumTitle = "Edited";
  ASSERT_GT(edited.SaveDiscInfo(folder), 0);
  EXPECT_EQ(ReadAll(file + ".bad"), otherDisc);

  std::ofstream(file, std::ios::binary | std::ios::trunc) << "damaged";
  ASSERT_GT(Sample(2).SaveDiscInfo(folder), 0);
  EXPECT_EQ(ReadAll(file + ".bad"), "damaged");
}

TEST(Library, FilesThatMustNotLoadChangeNothing) {
  fixtures::TempDir dir;
  const std::string folder = dir.path().string();
  const CDiscInfo twelve = Sample(12);
  ASSERT_GT(twelve.SaveDiscInfo(folder), 0);
  CDiscInfo ten = Sample(10);
  ten.albumTitle = "Mine";
  EXPECT_EQ(ten.LoadDiscInfo(folder, twelve.discId), -1);
  EXPECT_EQ(ten.albumTitle, "Mine");
  EXPECT_EQ(ten.tracks.size(), 10u);
  EXPECT_TRUE(FindInLibrary(twelve.discId, folder, ten));  // found, though it did not load

  const std::string path = LibraryFileName(folder, twelve.discId);
  std::string bytes = ReadAll(path);
  const auto load = [&](const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    CDiscInfo empty;
    const int32_t result = empty.LoadDiscInfo(folder, twelve.discId);
    if (result < 0) {
      EXPECT_TRUE(empty.tracks.empty());
      EXPECT_EQ(empty.discId, 0u);
    }
    return result;
  };
  std::string version2 = bytes;
  version2[8] = 2;
  EXPECT_GT(load(version2), 0);
  std::string version3 = bytes;
  version3[8] = 3;
  EXPECT_EQ(load(version3), -1);
  std::string magic = bytes;
  magic[0] = 'X';
  EXPECT_EQ(load(magic), -1);
  EXPECT_EQ(load(bytes.substr(0, 500)), -1);
  EXPECT_EQ(load(bytes.substr(0, 536 + 1036 * 11 + 100)), -1);  // shorter than it says
  std::string huge = bytes;
  huge[532] = '\xFF';
  huge[535] = '\x7F';
  EXPECT_EQ(load(huge), -1);
  EXPECT_EQ(load(""), -1);
  EXPECT_GT(load(bytes), 0);
}

TEST(Library, SavesReplaceTheFileWhole) {
  fixtures::TempDir dir;
  CDiscInfo info = Sample(5);
  ASSERT_GT(info.SaveDiscInfo(dir.path().string()), 0);
  info.tracks.erase(info.tracks.begin() + 2, info.tracks.end());
  EXPECT_EQ(info.SaveDiscInfo(dir.path().string()), 536 + 2 * 1036);
  EXPECT_EQ(std::filesystem::file_size(LibraryFileName(dir.path().string(), info.discId)), 536u + 2 * 1036u);
  // No temporary files are left behind: the file, the five-track one it replaced, which the
  // two-track record could not load, and the lock file of the disc's saves.
  EXPECT_EQ(Names(dir.path()), std::set<std::string>({"B016602.dci", "B016602.dci.bad", ".B016602.lock"}));
  EXPECT_EQ(std::filesystem::file_size(LibraryFileName(dir.path().string(), info.discId) + ".bad"),
            536u + 5 * 1036u);
  std::string error;
  EXPECT_EQ(info.SaveDiscInfo((dir.path() / "missing").string(), &error), -1);
  EXPECT_EQ(error, "the folder does not exist");
}

// What online sources told beyond the library file's fields goes into "<id>.json" beside it; the
// library file's bytes stay those of the same record without extras, and a save without extras
// takes the sidecar away, so that titles from another source never keep an old release's ids.
TEST(Library, ExtrasLiveInASidecarAndLeaveTheLibraryFileAsItWas) {
  fixtures::TempDir plainDir;
  fixtures::TempDir dir;
  const std::string plainFolder = plainDir.path().string();
  const std::string folder = dir.path().string();
  const CDiscInfo plain = Sample(3);
  ASSERT_EQ(plain.SaveDiscInfo(plainFolder), 3644);
  const std::string plainBytes = ReadAll(LibraryFileName(plainFolder, plain.discId));
  EXPECT_FALSE(std::filesystem::exists(ExtrasFileName(plainFolder, plain.discId)));

  CDiscInfo rich = Sample(3);
  rich.extras = SampleExtras();
  ASSERT_EQ(rich.SaveDiscInfo(folder), 3644);
  const std::string sidecar = ExtrasFileName(folder, rich.discId);
  EXPECT_EQ(ReadAll(LibraryFileName(folder, rich.discId)), plainBytes);
  // Readable by anyone: UTF-8 as it is, not escaped.
  const std::string json = ReadAll(sidecar);
  EXPECT_NE(json.find("\"label\": \"" + rich.extras.label + "\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"catalog_number\": \"" + rich.extras.catalogNumber + "\""), std::string::npos);
  EXPECT_EQ(json.find("\\u"), std::string::npos);
  EXPECT_EQ(Names(dir.path()), std::set<std::string>({"B016602.dci", "B016602.json", ".B016602.lock"}));

  CDiscInfo loaded;
  ASSERT_EQ(loaded.LoadDiscInfo(folder, rich.discId), 3644);
  EXPECT_EQ(loaded.extras, rich.extras);
  EXPECT_EQ(loaded.tracks[2].title(), "Song 3");

  // A library file that does not load leaves the record's extras alone; one without a sidecar
  // loads none.
  CDiscInfo fiveTracks = Sample(5);
  fiveTracks.extras = rich.extras;
  EXPECT_EQ(fiveTracks.LoadDiscInfo(folder, rich.discId), -1);
  EXPECT_EQ(fiveTracks.extras, rich.extras);
  CDiscInfo withoutSidecar;
  withoutSidecar.extras = rich.extras;
  ASSERT_EQ(withoutSidecar.LoadDiscInfo(plainFolder, plain.discId), 3644);
  EXPECT_TRUE(withoutSidecar.extras.empty());

  // Only where the titles came from: empty fields are left out.
  rich.extras = DiscExtras();
  rich.extras.source = "CDDB";
  ASSERT_EQ(rich.SaveDiscInfo(folder), 3644);
  EXPECT_EQ(ReadAll(sidecar),
            "{\n  \"format\": 1,\n  \"source\": \"CDDB\",\n  " + StampText("0B016602", plainBytes) + "\n}\n");
  ASSERT_EQ(loaded.LoadDiscInfo(folder, rich.discId), 3644);
  EXPECT_EQ(loaded.extras, rich.extras);

  rich.extras = DiscExtras();
  ASSERT_EQ(rich.SaveDiscInfo(folder), 3644);
  EXPECT_FALSE(std::filesystem::exists(sidecar));
  EXPECT_EQ(ReadAll(LibraryFileName(folder, rich.discId)), plainBytes);
  ASSERT_EQ(loaded.LoadDiscInfo(folder, rich.discId), 3644);
  EXPECT_TRUE(loaded.extras.empty());
}

// A sidecar that cannot be used (damaged, written by something else, or another disc's) loads no
// extras and never fails the library file; the sidecar next to each shows what is refused and what
// is not. One that cannot be written fails the save, the library file written all the same.
TEST(Library, SidecarsThatDoNotWork) {
  fixtures::TempDir dir;
  const std::string folder = dir.path().string();
  CDiscInfo saved = Sample(3);
  saved.extras = SampleExtras();
  ASSERT_EQ(saved.SaveDiscInfo(folder), 3644);
  const std::string sidecar = ExtrasFileName(folder, saved.discId);
  const std::string good = ReadAll(sidecar);
  const auto withMusicBrainz = [](const std::string& members) {
    return "{\"format\": 1, \"source\": \"MusicBrainz\", \"musicbrainz\": {" + members + "}}";
  };
  const auto padded = [](std::string text, size_t size) {
    text.resize(size, ' ');
    return text;
  };
  const std::vector<std::pair<std::string, bool>> sidecars = {
      {good, true},
      {good.substr(0, good.size() / 2), false},
      {good.substr(0, good.size() - 2), false},
      {"", false},
      {"[1]", false},
      {withMusicBrainz("\"disc_number\": 2"), true},
      {withMusicBrainz("\"disc_number\": \"2\""), false},
      {withMusicBrainz("\"disc_number\": -2"), false},
      {withMusicBrainz("\"disc_number\": 2.5"), false},
      {withMusicBrainz("\"label\": null"), false},
      {withMusicBrainz("\"recording_ids\": \"a\""), false},
      {withMusicBrainz("\"recording_ids\": [\"a\", 2]"), false},
      {withMusicBrainz("\"recording_ids\": [\"a\", \"b\", \"c\"]"), true},
      {withMusicBrainz("\"recording_ids\": [\"a\", \"b\", \"c\", \"d\"]"), false},  // another disc's
      {"{\"format\": 1, \"musicbrainz\": [\"x\"]}", false},
      {"{\"format\": 1, \"source\": 7}", false},
      {"{\"format\": 2, \"source\": \"CDDB\"}", false},
      {"{\"format\": \"1\", \"source\": \"CDDB\"}", false},
      {"{\"source\": \"CDDB\"}", false},
      {"{\"format\": 1, \"source\": \"CDDB\xFF\"}", false},  // not UTF-8
      {padded(good, 1 << 20), true},
      {padded(good, 2 << 20), false},
  };
  for (size_t i = 0; i < sidecars.size(); ++i) {
    const auto& [content, usable] = sidecars[i];
    std::ofstream(sidecar, std::ios::binary | std::ios::trunc) << content;
    CDiscInfo loaded;
    loaded.extras.source = "before";
    ASSERT_EQ(loaded.LoadDiscInfo(folder, saved.discId), 3644) << i;
    EXPECT_EQ(loaded.tracks[1].title(), "Song 2");
    EXPECT_EQ(loaded.extras.empty(), !usable) << i << ": " << content.substr(0, 200);
  }

  // A folder at the sidecar's path cannot be read, written or removed.
  std::filesystem::remove(sidecar);
  std::filesystem::create_directory(sidecar);
  CDiscInfo loaded;
  ASSERT_EQ(loaded.LoadDiscInfo(folder, saved.discId), 3644);
  EXPECT_TRUE(loaded.extras.empty());
  saved.albumTitle = "Written all the same";
  std::string error;
  EXPECT_EQ(saved.SaveDiscInfo(folder, &error), -1);
  EXPECT_EQ(
      error,
      "the titles were saved, but not the file of extras beside them: B016602.json: cannot move the "
      "finished file to its name: Is a directory");
  ASSERT_EQ(loaded.LoadDiscInfo(folder, saved.discId), 3644);
  EXPECT_EQ(loaded.albumTitle, "Written all the same");
  saved.extras = DiscExtras();
  saved.albumTitle = "Again";
  EXPECT_EQ(saved.SaveDiscInfo(folder, &error), -1);
  EXPECT_EQ(error,
            "the titles were saved, but not the file of extras beside them: cannot remove B016602.json: Is a "
            "directory");
  ASSERT_EQ(loaded.LoadDiscInfo(folder, saved.discId), 3644);
  EXPECT_EQ(loaded.albumTitle, "Again");
  EXPECT_TRUE(std::filesystem::is_directory(sidecar));
}

// The sidecar names the library file it was written with. Beside another answer's file (a save
// cut off between its two renames) it is ignored; one of an earlier version, which names none,
// loads as it always did, and a save stamps it before it changes the library file.
TEST(Library, ASidecarBelongsToTheLibraryFileItWasWrittenWith) {
  fixtures::TempDir dir;
  const std::string folder = dir.path().string();
  const std::string sidecar = ExtrasFileName(folder, 0x0B016602);
  CDiscInfo first = Sample(3);
  first.extras = SampleExtras();
  CDiscInfo second = Sample(3);
  second.albumTitle = "Another Pressing";
  second.extras = SampleExtras();
  second.extras.musicBrainzReleaseId = "0f1e2d3c-0000-4000-8000-000000000002";
  ASSERT_EQ(first.SaveDiscInfo(folder), 3644);
  const std::string firstSidecar = ReadAll(sidecar);
  ASSERT_EQ(second.SaveDiscInfo(folder), 3644);
  const std::string secondSidecar = ReadAll(sidecar);
  const std::string secondFile = ReadAll(LibraryFileName(folder, 0x0B016602));
  EXPECT_NE(secondSidecar.find(StampText("0B016602", secondFile)), std::string::npos) << secondSidecar;

  const auto extrasBeside = [&](const std::string& text) {
    WriteAll(sidecar, text);
    CDiscInfo loaded;
    EXPECT_EQ(loaded.LoadDiscInfo(folder, 0x0B016602), 3644);
    EXPECT_EQ(loaded.albumTitle, "Another Pressing");
    return loaded.extras;
  };
  EXPECT_EQ(extrasBeside(secondSidecar), second.extras);
  EXPECT_TRUE(extrasBeside(firstSidecar).empty());  // the first answer's ids beside the second's titles
  std::string otherDisc = secondSidecar;
  otherDisc.replace(otherDisc.find("\"0B016602\""), 10, "\"0B016603\"");
  EXPECT_TRUE(extrasBeside(otherDisc).empty());
  // Half a stamp is a damaged file.
  const std::string legacy =
      "{\"format\": 1, \"source\": \"MusicBrainz\", \"musicbrainz\": {\"release_id\": \"r-1\"}";
  EXPECT_TRUE(extrasBeside(legacy + ", \"library_file\": {\"disc_id\": \"0B016602\"}}").empty());
  // Unstamped, as earlier versions wrote it: trusted.
  EXPECT_EQ(extrasBeside(legacy + "}").musicBrainzReleaseId, "r-1");

  // A full disk (here a file size limit) stops a save at the library file: nothing changes but the
  // earlier sidecar's stamp, written first, which names the file it lay beside.
  WriteAll(sidecar, legacy + "}");
  CDiscInfo third = Sample(3);
  third.albumTitle = "A Third Answer";
  third.extras = SampleExtras();
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
  const rlimit small{2000, limit.rlim_max};
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string error;
  const int32_t saved = third.SaveDiscInfo(folder, &error);
  ::setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(saved, -1);
  EXPECT_EQ(error, "nothing was saved: B016602.dci: cannot write the file: File too large");
  EXPECT_EQ(ReadAll(LibraryFileName(folder, 0x0B016602)), secondFile);
  EXPECT_NE(ReadAll(sidecar).find(StampText("0B016602", secondFile)), std::string::npos) << ReadAll(sidecar);
  EXPECT_EQ(extrasBeside(ReadAll(sidecar)).musicBrainzReleaseId, "r-1");
  EXPECT_EQ(Names(dir.path()), std::set<std::string>({"B016602.dci", "B016602.json", ".B016602.lock"}));
}

}  // namespace
}  // namespace korvi
